#include "recover/PageScanPool.h"

#include <algorithm>

#include "platform/ThreadStart.h"
#include "records/RowDecodePool.h"

namespace {

// Page bytes per batch: some tens of pages, enough that handing a batch
// over costs little beside scanning it.
constexpr std::size_t kBatchBytes = 128 * 1024;

}  // namespace

// Stands for the log window and the candidate list on one worker: keeps the
// lines and candidates of the batch being scanned instead of handing them on.
// Any other message goes on to the real window.
class CPageScanPool::CBatchCatcher : public CMessageTarget, public CCandidateSink {
public:
    explicit CBatchCatcher(HWND forward) : m_forward(forward) {}
    void SetBatch(Batch* batch) { m_batch = batch; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != WM_LOG_MESSAGE)
            return SendMessageW(m_forward, message, wParam, lParam);
        m_batch->lines.push_back(Line{m_batch->found.size(), *reinterpret_cast<const LogMessage*>(wParam)});
        return 0;
    }
    void Add(Candidate&& candidate) override { m_batch->found.push_back(std::move(candidate)); }

private:
    HWND m_forward;
    Batch* m_batch = nullptr;
};

CPageScanPool::CPageScanPool(RecoverContext& context, unsigned workers)
    : m_context(context), m_pageSize(context.parser.m_pageSource.PageSize()),
      m_pagesPerBatch(std::max<std::size_t>(1, kBatchBytes / std::max<std::uint32_t>(m_pageSize, 1)))
{
    const unsigned count = workers != 0 ? workers : CRowDecodePool::DefaultWorkers();
    if (count <= 1)
        return;
    for (unsigned i = 0; i < count; ++i)
        m_workers.push_back(StartThread([this] { Work(); }));
}

CPageScanPool::~CPageScanPool() { Finish(); }

void CPageScanPool::Scan(const std::uint8_t* page, const PageOrigin& origin, std::vector<int> order, ScanAs as)
{
    if (m_workers.empty()) {
        ScanPage(m_context, page, origin, std::move(order), as);
        return;
    }
    if (m_filling == nullptr)
        m_filling = NewBatch();
    Batch& batch = *m_filling;
    batch.pages.push_back(Page{batch.bytes.size(), origin, std::move(order), as});
    batch.bytes.insert(batch.bytes.end(), page, page + m_pageSize);
    if (batch.pages.size() >= m_pagesPerBatch)
        Submit();
}

std::unique_ptr<CPageScanPool::Batch> CPageScanPool::NewBatch()
{
    // Batches taken back are used again, their buffers with them.
    if (m_spare.empty())
        return std::make_unique<Batch>();
    std::unique_ptr<Batch> batch = std::move(m_spare.back());
    m_spare.pop_back();
    batch->bytes.clear();
    batch->pages.clear();
    batch->found.clear();
    batch->lines.clear();
    batch->done = false;
    return batch;
}

void CPageScanPool::Submit()
{
    if (m_filling == nullptr || m_filling->pages.empty())
        return;
    Batch* batch = m_filling.get();
    m_pending.push_back(std::move(m_filling));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(batch);
    }
    m_workReady.notify_one();
    // A few batches per worker in flight keep every worker busy; more would
    // only hold pages the walk has read ahead.
    TakeBackFinished(2 * m_workers.size() + 2);
}

void CPageScanPool::TakeBackFinished(std::size_t keepPending)
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
        TakeBack(front);
        m_spare.push_back(std::move(m_pending.front()));
        m_pending.pop_front();
    }
}

void CPageScanPool::TakeBack(Batch& batch)
{
    // Each line goes to the log after the candidates found before it.
    auto line = batch.lines.begin();
    for (std::size_t i = 0; i <= batch.found.size(); ++i) {
        for (; line != batch.lines.end() && line->before == i; ++line)
            PostLog(m_context.parser.m_hLogWnd, line->message.caption, line->message.text, line->message.type);
        if (i < batch.found.size())
            m_context.candidates.Add(std::move(batch.found[i]));
    }
}

void CPageScanPool::Work()
{
    CBatchCatcher catcher(m_context.parser.m_hLogWnd);
    for (;;) {
        Batch* batch = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_workReady.wait(lock, [this] { return !m_queue.empty() || m_closed; });
            if (m_queue.empty())
                return;
            batch = m_queue.front();
            m_queue.pop_front();
        }
        catcher.SetBatch(batch);
        for (Page& page : batch->pages)
            ScanPageInto(m_context, batch->bytes.data() + page.at, page.origin, std::move(page.order), page.as,
                         catcher, &catcher);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            batch->done = true;
        }
        m_batchDone.notify_all();
    }
}

void CPageScanPool::Finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_workers.empty())
        return;
    Submit();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_workReady.notify_all();
    TakeBackFinished(0);
    for (std::thread& worker : m_workers)
        worker.join();
}
