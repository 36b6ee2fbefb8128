// Scans page versions on worker threads while a walk goes on, and hands
// what they find on in walk order.
//
// The walk hands over each page's bytes (copied: its page buffer is reused)
// with how to read it. Pages are cut into batches; one worker scans a whole
// batch, keeping its candidates and log lines in the order found. Batches
// are taken back in the order they were cut: their lines go to the log and
// their candidates to the recovery's list as a scan on the walk's own
// thread would have given them, so the list and the log come out the same
// whatever the number of threads.
//
// Only pages whose overflow chains are read from the database shown may be
// scanned so (no `state` or `chainPages` in their origin): those are read
// aside from the page source's window, which the walk keeps using.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "engine/BatchQueue.h"
#include "engine/LogPost.h"
#include "recover/PageScans.h"

class CPageScanPool {
public:
    // Scans for `context` on `workers` threads: 0 one per processor, 1 none
    // (each page is scanned when handed over, on the caller's thread).
    CPageScanPool(RecoverContext& context, unsigned workers);
    ~CPageScanPool();
    CPageScanPool(const CPageScanPool&) = delete;
    CPageScanPool& operator=(const CPageScanPool&) = delete;

    // Scans the page version at `page` (the source's page size of bytes) as
    // ScanPage does.
    void Scan(const std::uint8_t* page, const PageOrigin& origin, std::vector<int> order, ScanAs as);
    // Waits for every batch and takes each back in order.
    void Finish();

private:
    struct Page {
        std::size_t at = 0;  // in the batch's bytes
        PageOrigin origin;
        std::vector<int> order;
        ScanAs as;
    };
    // A log line a worker's scan wrote after `before` of its candidates.
    struct Line {
        std::size_t before = 0;
        LogMessage message;
    };
    struct Batch {
        std::vector<std::uint8_t> bytes;
        std::vector<Page> pages;
        // Filled by the worker.
        std::vector<Candidate> found;
        std::vector<Line> lines;
        bool done = false;
    };
    class CBatchCatcher;

    std::unique_ptr<Batch> NewBatch();
    void Submit();
    void TakeBack(Batch& batch);
    void Work();

    RecoverContext& m_context;
    std::uint32_t m_pageSize;
    std::size_t m_pagesPerBatch;
    std::unique_ptr<Batch> m_filling;
    CBatchQueue<Batch> m_batches;
    std::vector<std::thread> m_workers;
    bool m_finished = false;
};
