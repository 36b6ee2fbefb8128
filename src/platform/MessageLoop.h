// A queue of calls served by one thread: the stand-in for a window thread's
// message loop where no toolkit provides one (command line, tests).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CMessageLoop {
public:
    // The loop of a thread, created on first use and living until exit.
    static CMessageLoop& ForThread(std::thread::id owner);

    // Queues `call` for the owner thread and waits until it has run.
    void Invoke(const std::function<void()>& call);

    // Owner side: serves queued calls until Quit() is called.
    void Run();
    // Owner side: serves the calls queued so far and returns.
    void ProcessPending();
    void Quit();

private:
    struct Pending {
        const std::function<void()>* call;
        bool done;
    };
    void RunOne(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_wake;      // owner: a call was queued or quit
    std::condition_variable m_finished;  // senders: a call has run
    std::deque<Pending*> m_queue;
    bool m_quit = false;
};
