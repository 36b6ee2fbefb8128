#include "MessageLoop.h"

#include <map>
#include <memory>

CMessageLoop& CMessageLoop::ForThread(std::thread::id owner)
{
    static std::mutex registryMutex;
    static std::map<std::thread::id, std::unique_ptr<CMessageLoop>> registry;
    std::lock_guard<std::mutex> guard(registryMutex);
    auto& slot = registry[owner];
    if (!slot)
        slot = std::make_unique<CMessageLoop>();
    return *slot;
}

void CMessageLoop::Invoke(const std::function<void()>& call)
{
    Pending pending{&call, false};
    std::unique_lock<std::mutex> lock(m_mutex);
    m_queue.push_back(&pending);
    m_wake.notify_one();
    m_finished.wait(lock, [&] { return pending.done; });
}

void CMessageLoop::RunOne(std::unique_lock<std::mutex>& lock)
{
    Pending* pending = m_queue.front();
    m_queue.pop_front();
    lock.unlock();
    (*pending->call)();
    lock.lock();
    pending->done = true;
    m_finished.notify_all();
}

void CMessageLoop::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_quit || !m_queue.empty(); });
        if (!m_queue.empty()) {
            RunOne(lock);
            continue;
        }
        m_quit = false;
        return;
    }
}

void CMessageLoop::ProcessPending()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_queue.empty())
        RunOne(lock);
}

void CMessageLoop::Quit()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_quit = true;
    m_wake.notify_one();
}
