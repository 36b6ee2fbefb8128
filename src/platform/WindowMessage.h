// Synchronous window messages between threads.
//
// A message target stands for a window: it belongs to one thread (its owner)
// and handles messages there. SendMessageW runs the target's handler on the
// owner thread while the sending thread waits, so a record passed by address
// may live on the sender's stack. When the sender is the owner thread, the
// handler is called directly.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

class CMessageTarget;
using HWND = CMessageTarget*;

class CMessageTarget {
public:
    CMessageTarget();
    virtual ~CMessageTarget();
    CMessageTarget(const CMessageTarget&) = delete;
    CMessageTarget& operator=(const CMessageTarget&) = delete;

    // Handles one message on the owner thread.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Runs `call` on the owner thread and returns once it has run. Called only
    // from other threads. The default hands the call to the owner's
    // CMessageLoop; a toolkit binding overrides it.
    virtual void RunOnOwnerThread(const std::function<void()>& call);

    std::thread::id OwnerThread() const { return m_ownerThread; }

private:
    std::thread::id m_ownerThread;
};

LRESULT SendMessageW(HWND target, UINT message, WPARAM wParam, LPARAM lParam);
