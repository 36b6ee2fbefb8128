#include "RowDecodePool.h"

#include <algorithm>
#include <functional>

#include "engine/SqliteParser.h"
#include "platform/ThreadStart.h"
#include "records/RecordDecoder.h"

namespace {

// Record bytes per batch: a few thousand records, enough that handing a
// batch over costs nothing beside decoding it.
constexpr std::size_t kBatchBytes = 256 * 1024;
// The most processors worth decoding on: the walk itself has to keep up.
constexpr unsigned kMostWorkers = 4;

}  // namespace

// Stands for the log window on one thread and keeps its lines instead of
// showing them; any other message goes on to the real window.
class CRowDecodePool::CLineCatcher : public CMessageTarget {
public:
    CLineCatcher(HWND forward, std::function<void(const LogMessage&)> keep)
        : m_forward(forward), m_keep(std::move(keep))
    {
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != WM_LOG_MESSAGE)
            return SendMessageW(m_forward, message, wParam, lParam);
        m_keep(*reinterpret_cast<const LogMessage*>(wParam));
        return 0;
    }

private:
    HWND m_forward;
    std::function<void(const LogMessage&)> m_keep;
};

// Stands for the parser's row sink on a worker: rows are laid out as the
// sink lays them out, into a buffer of the worker's own.
class CRowDecodePool::CTextCatcher : public CRowSink {
public:
    explicit CTextCatcher(const CRowSink* sink) : m_layout(sink ? sink->Utf8RowLayout() : nullptr) {}
    const Utf8Layout* Utf8RowLayout() const override { return m_layout; }

private:
    const Utf8Layout* m_layout;
};

struct CRowDecodePool::Worker {
    explicit Worker(const CRowSink* sink) : text(sink) {}
    CSqliteParser parser;  // its m_rows: the arena the worker's rows go to
    CTextCatcher text;     // or its buffer, for the parser's row sink
    std::thread thread;
};

CRowDecodePool::CRowDecodePool(CSqliteParser& parser, DbInfo& db, unsigned workers)
    : m_parser(parser), m_db(db),
      m_mode(parser.m_pRowSink == nullptr                 ? Mode::kRows
             : parser.m_pRowSink->Utf8RowLayout() != nullptr ? Mode::kLaidOut
                                                            : Mode::kRowsToSink),
      m_logWnd(parser.m_hLogWnd)
{
    m_walkCatcher = std::make_unique<CLineCatcher>(
        m_logWnd, [this](const LogMessage& line) { AddLine(line); });
    m_parser.m_hLogWnd = m_walkCatcher.get();
    for (unsigned i = 0; i < std::max(workers, 1u); ++i) {
        m_workers.push_back(std::make_unique<Worker>(parser.m_pRowSink));
        Worker& worker = *m_workers.back();
        if (m_mode == Mode::kLaidOut)
            worker.parser.m_pRowSink = &worker.text;
        if (m_mode == Mode::kRowsToSink)
            worker.parser.m_pRowFilter = parser.m_pRowSink;
        worker.parser.m_bSchemaMode = 0;
        worker.parser.m_bPackHeldValues = m_mode == Mode::kRows && parser.m_bPackHeldValues;
        worker.parser.m_pDb = parser.m_pDb;
        worker.parser.m_pTable = parser.m_pTable;
        worker.thread = StartThread([this, &worker] { Work(worker); });
    }
}

CRowDecodePool::~CRowDecodePool() { Finish(); }

bool CRowDecodePool::Serves(CRowSink* sink)
{
    if (sink == nullptr)
        return true;
    if (sink->Utf8RowLayout() != nullptr)
        return sink->TakesRowBatches();
    return sink->TakesUtf8();
}

unsigned CRowDecodePool::DefaultWorkers()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
}

void CRowDecodePool::AddRecord(const std::uint8_t* record, std::uint32_t length,
                               std::uint32_t pageNumber, std::uint16_t cellOffset, int sizeLength,
                               int rowidLength, std::int64_t rowid)
{
    if (m_filling == nullptr)
        m_filling = NewBatch();
    Item item;
    item.at = static_cast<std::uint32_t>(m_filling->bytes.size());
    item.length = length;
    item.page = pageNumber;
    item.cellOffset = cellOffset;
    item.sizeLength = static_cast<std::int8_t>(sizeLength);
    item.rowidLength = static_cast<std::int8_t>(rowidLength);
    item.rowid = rowid;
    m_filling->bytes.insert(m_filling->bytes.end(), record, record + length);
    m_filling->items.push_back(item);
    if (m_filling->bytes.size() >= kBatchBytes)
        Submit();
}

void CRowDecodePool::AddLine(const LogMessage& line)
{
    if (m_filling == nullptr)
        m_filling = NewBatch();
    Item item;
    item.line = static_cast<std::int32_t>(m_filling->walkLines.size());
    m_filling->walkLines.push_back(line);
    m_filling->items.push_back(item);
    // The line reaches the log before the walk goes on, as it would with no
    // pool: whoever reads the log (a stop pressed on seeing it) sees it in
    // time. Lines are rare where the file is sound.
    Submit();
    TakeBackFinished(0);
}

std::unique_ptr<CRowDecodePool::Batch> CRowDecodePool::NewBatch()
{
    // Batches taken back are used again, their buffers with them: a fresh
    // buffer of this size comes from the system and costs a page fault per
    // page each time.
    std::unique_ptr<Batch> batch = m_batches.Spare();
    if (batch == nullptr)
        return std::make_unique<Batch>();
    batch->bytes.clear();
    batch->items.clear();
    batch->walkLines.clear();
    batch->lines.clear();
    batch->rows.clear();
    batch->cells.clear();
    batch->text.clear();
    batch->arena.clear();
    return batch;
}

void CRowDecodePool::Submit()
{
    if (m_filling == nullptr || m_filling->items.empty())
        return;
    // A few batches per worker in flight keep every worker busy; more would
    // only hold record bytes the walk has read ahead.
    m_batches.Submit(std::move(m_filling), 2 * m_workers.size() + 2,
                     [this](Batch& batch) { TakeBack(batch); });
}

void CRowDecodePool::TakeBackFinished(std::size_t keepPending)
{
    m_batches.TakeBackFinished(keepPending, [this](Batch& batch) { TakeBack(batch); });
}

void CRowDecodePool::TakeBack(Batch& batch)
{
    switch (m_mode) {
    case Mode::kRows:
        m_parser.m_rows.AppendBlocks(batch.rows);
        m_parser.m_rowCells.append(batch.cells);
        break;
    case Mode::kLaidOut:
        if (!batch.text.empty()) {
            m_parser.m_pRowSink->Utf8Buffer().Append(batch.text);
            m_parser.m_pRowSink->OnUtf8Row();
        }
        break;
    case Mode::kRowsToSink: {
        std::vector<std::uint32_t> ends;
        for (const RowValues row : batch.arena) {
            row.Ends(ends);
            m_parser.m_pRowSink->OnRowUtf8(row.Joined(), ends);
        }
        break;
    }
    }
    for (const LogMessage& line : batch.lines)
        PostLog(m_logWnd, line.caption, line.text, line.type);
}

void CRowDecodePool::Work(Worker& worker)
{
    Batch* batch = nullptr;
    CLineCatcher catcher(m_logWnd, [&batch](const LogMessage& line) { batch->lines.push_back(line); });
    worker.parser.m_hLogWnd = &catcher;
    while ((batch = m_batches.Next()) != nullptr) {
        CSqliteParser& parser = worker.parser;
        // Rows for a sink that takes them one by one are decoded into the
        // batch's own arena, freed when the batch is used again.
        if (m_mode == Mode::kRowsToSink)
            parser.m_rows.swap(batch->arena);
        for (Item& item : batch->items) {
            if (item.line >= 0) {
                batch->lines.push_back(std::move(batch->walkLines[item.line]));
                continue;
            }
            const std::size_t before = parser.m_rows.size();
            DecodeRecord(batch->bytes.data() + item.at, parser, m_db, item.length, item.page,
                         item.sizeLength, item.rowidLength, item.rowid);
            if (m_mode == Mode::kRows)
                batch->cells.insert(batch->cells.end(), parser.m_rows.size() - before,
                                    CSqliteParser::RowCell{item.page, item.cellOffset});
        }
        if (m_mode == Mode::kRowsToSink)
            parser.m_rows.swap(batch->arena);
        else
            batch->rows = parser.m_rows.TakeBlocks();
        CTextBuffer& text = worker.text.Utf8Buffer();
        batch->text.assign(text.View());
        text.Clear();
        m_batches.Done(*batch);
    }
}

void CRowDecodePool::Finish()
{
    if (m_finished)
        return;
    m_finished = true;
    Submit();
    m_batches.Close();
    TakeBackFinished(0);
    for (const std::unique_ptr<Worker>& worker : m_workers) {
        worker->thread.join();
        // The rows taken back live in the worker's chunks.
        m_parser.m_rows.AdoptChunks(worker->parser.m_rows);
    }
    m_parser.m_hLogWnd = m_logWnd;
}
