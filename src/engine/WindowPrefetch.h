// Reads the next stretch of a file on a worker thread while the caller works
// through the stretch before it: sequential page reads then wait for the
// copy out of the system's file cache only when the worker has not finished
// it. The worker is started by the first read and stopped by Drop and by
// the destructor; it only ever reads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/CacheLineAllocator.h"
#include "engine/SourceFile.h"

class CWindowPrefetch {
public:
    CWindowPrefetch() = default;
    ~CWindowPrefetch();
    CWindowPrefetch(const CWindowPrefetch&) = delete;
    CWindowPrefetch& operator=(const CWindowPrefetch&) = delete;

    // Starts reading `count` bytes at `position` of `file` (which stays open
    // until the read is taken or dropped). A read still under way is
    // waited for and dropped first.
    void Start(const CSourceFile& file, std::uint64_t position, std::size_t count);
    // When the read started last is of `position`, waits for it and swaps
    // its bytes (as many as were read) into `window`; false, and nothing
    // changed, for any other position or when none was started.
    bool Take(std::uint64_t position, ReadBuffer& window);
    // Finishes a read under way, forgets it and stops the worker (before
    // the file closes).
    void Drop();

private:
    void Run();
    void WaitIdle(std::unique_lock<std::mutex>& lock);

    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_pending = false;  // a read waits for the worker or is under way
    bool m_started = false;  // a read was started and not yet taken or dropped
    const CSourceFile* m_file = nullptr;
    std::uint64_t m_position = 0;
    ReadBuffer m_bytes;
};
