#include "WindowPrefetch.h"

CWindowPrefetch::~CWindowPrefetch() { Drop(); }

void CWindowPrefetch::WaitIdle(std::unique_lock<std::mutex>& lock)
{
    m_changed.wait(lock, [this] { return !m_pending; });
}

void CWindowPrefetch::Start(const CSourceFile& file, std::uint64_t position, std::size_t count)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        WaitIdle(lock);
        m_file = &file;
        m_position = position;
        m_bytes.resize(count);
        m_pending = true;
        m_started = true;
    }
    if (!m_worker.joinable())
        m_worker = std::thread([this] { Run(); });
    m_changed.notify_all();
}

bool CWindowPrefetch::Take(std::uint64_t position, ReadBuffer& window)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_started || m_position != position)
        return false;
    WaitIdle(lock);
    m_started = false;
    window.swap(m_bytes);
    return true;
}

void CWindowPrefetch::Drop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    // The worker ends only between reads: nothing is pending any more.
    m_stop = false;
    m_started = false;
    m_file = nullptr;
}

void CWindowPrefetch::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_pending; });
        if (m_stop && !m_pending)
            return;
        // The buffer is the worker's alone while the read is pending.
        const CSourceFile& file = *m_file;
        const std::uint64_t position = m_position;
        ReadBuffer& bytes = m_bytes;
        lock.unlock();
        const std::int64_t got = file.ReadAt(bytes.data(), bytes.size(), position);
        lock.lock();
        bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        m_pending = false;
        m_changed.notify_all();
    }
}
