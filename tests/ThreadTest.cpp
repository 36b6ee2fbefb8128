// The engine on a worker thread, its log window on the main thread: log
// lines cross by synchronous message while the worker waits, they arrive in
// the order they were sent, and a stop request from the main thread ends a
// running walk. Built with -DSALVIX_TSAN=ON this is the data-race check.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "driver/JobControl.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "engine/SqliteParser.h"
#include "platform/MessageLoop.h"
#include "platform/TextConvert.h"
#include "platform/ThreadStart.h"

namespace {

constexpr int kRows = 400;

// A database of one table whose every row spills onto an overflow page, so
// that reading it logs one line per row.
std::string MakeOverflowDatabase()
{
    char pattern[] = "/tmp/salvix-thread-XXXXXX";
    const int fd = ::mkstemp(pattern);
    EXPECT_GE(fd, 0);
    ::close(fd);
    ::unlink(pattern);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(pattern, &db), SQLITE_OK);
    const std::string rows = std::to_string(kRows);
    const std::string sql =
        "PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;"
        "CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + rows + ")"
        "INSERT INTO notes(body) SELECT printf('%04d', i) || hex(zeroblob(1500)) FROM n;";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    return pattern;
}

struct Line {
    std::uint8_t type;
    std::u16string caption;
    std::u16string text;
    bool operator==(const Line&) const = default;
};

// The log window, owned by the thread that creates it. It checks that every
// line is handled on that thread while the sending worker is inside its
// SendMessageW, and can ask for a stop after a given number of lines.
class CMainThreadLog : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        if (message != WM_LOG_MESSAGE)
            return 0;
        if (std::this_thread::get_id() != OwnerThread())
            ++foreignThreadCalls;
        if (m_sendersWaiting.load() != 1)
            ++callsWithoutWaitingSender;
        // The record lives on the worker's stack; reading it is only valid
        // because the worker waits.
        const auto& log = *reinterpret_cast<const LogMessage*>(wParam);
        lines.push_back({log.type, log.caption, log.text});
        if (stopAfter != 0 && lines.size() == stopAfter)
            g_bStop.store(1);
        return 0;
    }

    void RunOnOwnerThread(const std::function<void()>& call) override
    {
        ++m_sendersWaiting;
        CMessageTarget::RunOnOwnerThread(call);
        --m_sendersWaiting;
    }

    std::vector<Line> lines;
    std::size_t stopAfter = 0;
    int foreignThreadCalls = 0;
    int callsWithoutWaitingSender = 0;

private:
    std::atomic<int> m_sendersWaiting{0};
};

struct ReadResult {
    std::size_t tables = 0;
    std::size_t rows = 0;
};

// Opens the database and reads its first table, logging to `log`.
ReadResult OpenAndRead(const std::string& path, HWND log)
{
    ReadResult result;
    CSqliteParser parser;
    parser.m_hLogWnd = log;
    parser.OpenDatabase(Widen(path));
    if (!g_dbList.empty() && !g_dbList.back().tables.empty()) {
        parser.m_pDb = &g_dbList.back();
        parser.m_pTable = &parser.m_pDb->tables.front();
        result.tables = parser.m_pDb->tables.size();
        parser.ReadTable();
        result.rows = parser.m_rows.size();
    }
    g_dbList.clear();
    return result;
}

// Runs OpenAndRead on a worker while this thread serves `log`'s messages.
ReadResult OpenAndReadOnWorker(const std::string& path, CMainThreadLog& log)
{
    ReadResult result;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread worker = StartThread([&] {
        result = OpenAndRead(path, &log);
        CMessageLoop::ForThread(mainThread).Quit();
    });
    CMessageLoop::ForThread(mainThread).Run();
    worker.join();
    return result;
}

class ThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_bStop.store(0);
        m_path = MakeOverflowDatabase();
    }
    void TearDown() override
    {
        g_bStop.store(0);
        ::unlink(m_path.c_str());
    }
    std::string m_path;
};

TEST_F(ThreadTest, LinesFromWorkerArriveInOrderOnOwnerThreadWhileWorkerWaits)
{
    // The same work on one thread gives the expected lines.
    CMainThreadLog direct;
    const ReadResult expected = OpenAndRead(m_path, &direct);
    ASSERT_EQ(expected.rows, static_cast<std::size_t>(kRows));
    ASSERT_GE(direct.lines.size(), static_cast<std::size_t>(kRows));  // one per overflowing row

    CMainThreadLog log;
    const ReadResult got = OpenAndReadOnWorker(m_path, log);
    EXPECT_EQ(got.tables, expected.tables);
    EXPECT_EQ(got.rows, expected.rows);
    EXPECT_EQ(log.foreignThreadCalls, 0);
    EXPECT_EQ(log.callsWithoutWaitingSender, 0);
    EXPECT_TRUE(log.lines == direct.lines) << log.lines.size() << " vs " << direct.lines.size();
}

TEST_F(ThreadTest, StopFromMainThreadEndsTheRunningWalk)
{
    CMainThreadLog log;
    log.stopAfter = 5;  // set by the main thread while the worker walks
    const ReadResult got = OpenAndReadOnWorker(m_path, log);
    ASSERT_EQ(got.tables, 1u);
    // The walk ended early: a stop line, and far fewer rows than the table has.
    std::size_t stopLines = 0;
    for (const Line& line : log.lines)
        stopLines += line.caption == u"stop" && line.text == u"当前操作被停止";
    EXPECT_GE(stopLines, 1u);
    EXPECT_LT(got.rows, static_cast<std::size_t>(kRows) / 2);
    EXPECT_EQ(log.foreignThreadCalls, 0);
}

TEST_F(ThreadTest, ConcurrentStopWhileWalking)
{
    // The stop request comes from the main thread at an arbitrary moment,
    // not from inside a message: only the flag is shared.
    CMainThreadLog log;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> done{false};
    ReadResult result;
    std::thread worker = StartThread([&] {
        result = OpenAndRead(m_path, &log);
        done.store(true);
        CMessageLoop::ForThread(mainThread).Quit();
    });
    CMessageLoop& loop = CMessageLoop::ForThread(mainThread);
    while (!done.load()) {
        loop.ProcessPending();
        if (log.lines.size() >= 3)
            g_bStop.store(1);
        std::this_thread::yield();
    }
    loop.Run();  // serves anything queued before Quit and returns
    worker.join();
    // Every row overflows and posts a line the worker waits on, so the walk
    // sees the flag within a few rows: it stops, well short of the table.
    std::size_t stopLines = 0;
    for (const Line& line : log.lines)
        stopLines += line.caption == u"stop";
    EXPECT_GE(stopLines, 1u);
    EXPECT_LT(result.rows, static_cast<std::size_t>(kRows) / 2);
    EXPECT_EQ(log.foreignThreadCalls, 0);
    EXPECT_EQ(log.callsWithoutWaitingSender, 0);
}

}  // namespace

namespace {

// A window's view target served by the main thread's loop: counts the view
// steps and the rows each record step showed.
class CMainThreadView : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        if (message != WM_JOB_VIEW || std::this_thread::get_id() != OwnerThread())
            return 0;
        const auto& call = *reinterpret_cast<const JobViewCall*>(wParam);
        if (call.step == JobViewStep::kShowRecords)
            shown = call.count;
        if (call.step == JobViewStep::kCloseProgress)
            ++closed;
        return 0;
    }
    std::size_t shown = 0;
    int closed = 0;
};

}  // namespace

TEST_F(ThreadTest, DesktopJobsOnWorkersWithViewStepsOnMainThread)
{
    // The device window's open job, then a table window's read and record
    // jobs, each on its own worker as the desktop program starts them.
    CMainThreadLog log;
    auto view = std::make_shared<CMainThreadView>();
    auto runJob = [&](const std::shared_ptr<CJobContext>& job, void (*worker)(CJobContext&)) {
        job->m_parser.m_hLogWnd = &log;
        job->m_viewTarget = view;
        CJobControl::Start(job, worker);
        const std::thread::id main = std::this_thread::get_id();
        ASSERT_TRUE(CJobControl::WaitForWorkers(
            [main] { CMessageLoop::ForThread(main).ProcessPending(); }, std::chrono::seconds(60)));
    };
    auto device = std::make_shared<CJobContext>();
    device->m_strDbPath = Widen(m_path);
    runJob(device, AnalyseDbThread);
    ASSERT_EQ(g_dbList.size(), 1u);
    auto table = std::make_shared<CJobContext>();
    table->AdoptTable(g_dbList.front(), g_dbList.front().tables.front());
    runJob(table, AnalyseTableThread);
    runJob(table, ShowRecordsThread);
    g_dbList.clear();
    EXPECT_EQ(view->closed, 3);
    EXPECT_EQ(view->shown, static_cast<std::size_t>(kRows));
    EXPECT_EQ(g_bBusy.load(), 0u);
    EXPECT_EQ(log.foreignThreadCalls, 0);
    EXPECT_EQ(log.callsWithoutWaitingSender, 0);
}
