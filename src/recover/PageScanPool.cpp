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
    std::unique_ptr<Batch> batch = m_batches.Spare();
    if (batch == nullptr)
        return std::make_unique<Batch>();
    batch->bytes.clear();
    batch->pages.clear();
    batch->found.clear();
    batch->lines.clear();
    return batch;
}

void CPageScanPool::Submit()
{
    if (m_filling == nullptr || m_filling->pages.empty())
        return;
    // A few batches per worker in flight keep every worker busy; more would
    // only hold pages the walk has read ahead.
    m_batches.Submit(std::move(m_filling), 2 * m_workers.size() + 2,
                     [this](Batch& batch) { TakeBack(batch); });
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
    while (Batch* batch = m_batches.Next()) {
        catcher.SetBatch(batch);
        for (Page& page : batch->pages)
            ScanPageInto(m_context, batch->bytes.data() + page.at, page.origin, std::move(page.order), page.as,
                         catcher, &catcher);
        m_batches.Done(*batch);
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
    m_batches.Close();
    m_batches.TakeBackFinished(0, [this](Batch& batch) { TakeBack(batch); });
    for (std::thread& worker : m_workers)
        worker.join();
}
