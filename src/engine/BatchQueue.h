// Batches of work cut on one thread (a walk), done on worker threads, and
// taken back on the cutting thread in the order they were cut, so that what
// the workers make comes out as if the walk had done it itself. A batch
// taken back is kept to be filled again, its buffers with it: fresh buffers
// of batch size come from the system and cost a page fault per page.
//
// `Batch` has a `bool done`, which the queue alone sets and reads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

template <typename Batch>
class CBatchQueue {
public:
    // A batch taken back before, to be emptied and filled again, or null.
    std::unique_ptr<Batch> Spare()
    {
        if (m_spare.empty())
            return nullptr;
        std::unique_ptr<Batch> batch = std::move(m_spare.back());
        m_spare.pop_back();
        batch->done = false;
        return batch;
    }

    // Hands `batch` to the workers, then takes back what is finished while
    // more than `keepPending` batches are in flight.
    template <typename TakeBack>
    void Submit(std::unique_ptr<Batch> batch, std::size_t keepPending, const TakeBack& takeBack)
    {
        Batch* cut = batch.get();
        m_pending.push_back(std::move(batch));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(cut);
        }
        m_workReady.notify_one();
        TakeBackFinished(keepPending, takeBack);
    }

    // Takes back the oldest batches in order through `takeBack`: each one
    // finished, and, while more than `keepPending` are in flight, the
    // oldest one waited for.
    template <typename TakeBack>
    void TakeBackFinished(std::size_t keepPending, const TakeBack& takeBack)
    {
        while (!m_pending.empty()) {
            Batch& front = *m_pending.front();
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (!front.done) {
                    if (m_pending.size() <= keepPending)
                        return;
                    m_batchDone.wait(lock, [&front] { return front.done; });
                }
            }
            takeBack(front);
            m_spare.push_back(std::move(m_pending.front()));
            m_pending.pop_front();
        }
    }

    // For a worker: the next batch to do; null once Close() was called and
    // every batch was handed out.
    Batch* Next()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_workReady.wait(lock, [this] { return !m_queue.empty() || m_closed; });
        if (m_queue.empty())
            return nullptr;
        Batch* batch = m_queue.front();
        m_queue.pop_front();
        return batch;
    }

    // For a worker: `batch` is done and may be taken back.
    void Done(Batch& batch)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            batch.done = true;
        }
        m_batchDone.notify_all();
    }

    // No batch comes after those submitted: the workers end when they are done.
    void Close()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        m_workReady.notify_all();
    }

private:
    std::deque<std::unique_ptr<Batch>> m_pending;  // cut, in order
    std::vector<std::unique_ptr<Batch>> m_spare;    // taken back, to be filled again
    std::mutex m_mutex;
    std::condition_variable m_workReady;
    std::condition_variable m_batchDone;
    std::deque<Batch*> m_queue;  // cut, not yet taken by a worker
    bool m_closed = false;
};
