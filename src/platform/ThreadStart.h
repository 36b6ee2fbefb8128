// Starting a worker thread. Workers run detached like the other system's
// CreateThread workers; whoever starts one keeps its own way of knowing when
// it has ended (a flag, an event or a final message).
#pragma once

#include <functional>
#include <thread>

// Starts `body` on a new thread and returns its handle for joining.
std::thread StartThread(std::function<void()> body);
// Starts `body` on a new detached thread.
void StartDetachedThread(std::function<void()> body);
