#include "ThreadStart.h"

std::thread StartThread(std::function<void()> body)
{
    return std::thread(std::move(body));
}

void StartDetachedThread(std::function<void()> body)
{
    std::thread(std::move(body)).detach();
}
