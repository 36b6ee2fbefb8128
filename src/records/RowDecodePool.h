// Decodes the records of a table read on worker threads while the walk goes
// on, and puts the rows into the parser's m_rows in walk order.
//
// The walk hands over each record's bytes (copied: its page buffers are
// reused) and each log line it writes. They are cut into batches; one
// worker decodes a whole batch into rows of its own arena and keeps the
// lines its records give, in order, behind the walk's lines of that batch.
// Batches are taken back in the order they were cut: their rows join
// m_rows and m_rowCells (or go to the parser's row sink: laid out, for a
// sink that takes batches, or row by row) and their lines go to the log. Rows, row places and
// log lines thus come out exactly as a walk that decodes on its own thread
// gives them; only the decoding itself runs on several processors. A line
// of the walk waits for every record before it, so that it reaches the log
// when the walk writes it; a decoder's line may come a batch late.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/BatchQueue.h"
#include "engine/DbInfo.h"
#include "engine/LogPost.h"
#include "engine/RowArena.h"
#include "engine/RowSink.h"
#include "engine/SqliteParser.h"
#include "platform/WindowMessage.h"


class CRowDecodePool {
public:
    // Decodes for `parser` (its m_pTable, whose rows go to its m_rows) with
    // `workers` threads; the parser's log lines are held back from its
    // m_hLogWnd until Finish() hands them on in order.
    CRowDecodePool(CSqliteParser& parser, DbInfo& db, unsigned workers);
    ~CRowDecodePool();
    CRowDecodePool(const CRowDecodePool&) = delete;
    CRowDecodePool& operator=(const CRowDecodePool&) = delete;

    // Queues the record of `length` bytes of the cell at `cellOffset` of page
    // `pageNumber`, with the arguments the decoder takes.
    void AddRecord(const std::uint8_t* record, std::uint32_t length, std::uint32_t pageNumber,
                   std::uint16_t cellOffset, int sizeLength, int rowidLength, std::int64_t rowid);
    // Waits for every batch, takes each back in order, and gives the parser
    // its log window again.
    void Finish();

    // Processors worth decoding on: 1 means the walk decodes itself.
    static unsigned DefaultWorkers();
    // True when the rows of a read may go through a pool: into m_rows (no
    // sink), laid out for a sink that takes batches, or to a sink that takes
    // UTF-8 rows one by one (handed over in order as batches come back).
    static bool Serves(CRowSink* sink);

private:
    struct Item {
        std::uint32_t at = 0;  // in the batch's bytes
        std::uint32_t length = 0;
        std::uint32_t page = 0;
        std::uint16_t cellOffset = 0;
        std::int8_t sizeLength = 0;
        std::int8_t rowidLength = 0;
        std::int64_t rowid = 0;
        std::int32_t line = -1;  // >= 0: not a record, the walk's line of that index
    };
    struct Batch {
        std::vector<std::uint8_t> bytes;
        std::vector<Item> items;
        std::vector<LogMessage> walkLines;
        // Filled by the worker.
        std::vector<LogMessage> lines;
        std::vector<const std::byte*> rows;
        std::string text;  // laid out for the parser's row sink
        RowArena arena;    // the rows for a sink that takes them one by one
        std::vector<CSqliteParser::RowCell> cells;  // where each row was read
        bool done = false;
    };
    class CLineCatcher;
    class CTextCatcher;
    struct Worker;

    std::unique_ptr<Batch> NewBatch();
    void AddLine(const LogMessage& line);
    void Submit();
    void TakeBack(Batch& batch);
    void TakeBackFinished(std::size_t keepPending);
    void Work(Worker& worker);

    enum class Mode { kRows, kLaidOut, kRowsToSink };

    CSqliteParser& m_parser;
    DbInfo& m_db;
    Mode m_mode;
    HWND m_logWnd;  // the parser's own log window
    std::unique_ptr<CLineCatcher> m_walkCatcher;
    std::unique_ptr<Batch> m_filling;
    CBatchQueue<Batch> m_batches;
    std::vector<std::unique_ptr<Worker>> m_workers;
    bool m_finished = false;
};
