#include "JobControl.h"

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

#include "DbEntries.h"
#include "EvidenceFiles.h"
#include "HeldLines.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/ThreadStart.h"
#include "platform/WideFormat.h"

namespace {

std::atomic<int> g_nWorkers{0};

void Stage(const CJobContext& job, const std::u16string& caption, const std::u16string& text)
{
    if (!text.empty())
        PostLog(job.m_parser.m_hLogWnd, caption, text, kLogInfo);
}

}  // namespace

bool CJobControl::RefuseIfBusy(HWND log)
{
    if (g_bBusy == 0)
        return false;
    Warn(log, SALVIX_TEXT_BUSY_WARNING);
    return true;
}

void CJobControl::Warn(HWND log, std::u16string_view text)
{
    PostLog(log, u"warning", text, kLogWarning);
}

void CJobControl::Start(std::shared_ptr<CJobContext> job, void (*worker)(CJobContext&))
{
    g_bBusy = 1;
    job->m_bRunning = true;
    g_nWorkers.fetch_add(1);
    StartDetachedThread([job = std::move(job), worker]() mutable {
        worker(*job);
        job->m_bRunning = false;
        // The context goes before the worker counts as ended, so whoever
        // waits for the workers may free what the context referred to.
        job.reset();
        g_nWorkers.fetch_sub(1);
    });
}

void CJobControl::StartBackground(std::function<void()> body)
{
    g_nWorkers.fetch_add(1);
    StartDetachedThread([body = std::move(body)]() mutable {
        body();
        body = nullptr;  // what it holds goes before it counts as ended
        g_nWorkers.fetch_sub(1);
    });
}

void CJobControl::RunSteps(CJobContext& job, const JobPlan& plan)
{
    // The stop flag was cleared when the job was set up; clearing it again
    // here would lose a stop pressed while the thread was starting.
    g_bBusy = 1;
    Stage(job, plan.startCaption, plan.startText);
    if (plan.engineStep)
        plan.engineStep(job);
    Stage(job, plan.viewCaption, plan.viewText);
    if (plan.viewStep)
        plan.viewStep(job);
    Stage(job, plan.doneCaption, plan.doneText);
    g_bBusy = 0;
    job.SendView(JobViewStep::kCloseProgress);
}

void CJobControl::RequestStop(const CJobContext& job)
{
    if (job.m_bRunning)
        g_bStop = 1;
}

int CJobControl::RunningWorkers()
{
    return g_nWorkers.load();
}

bool CJobControl::DrainWorkers(const std::function<void()>& pump, std::chrono::milliseconds limit)
{
    if (g_nWorkers.load() == 0)
        return true;
    g_bStop = 1;
    return WaitForWorkers(pump, limit);
}

bool CJobControl::WaitForWorkers(const std::function<void()>& pump, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (g_nWorkers.load() != 0 && std::chrono::steady_clock::now() < deadline) {
        if (pump)
            pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return g_nWorkers.load() == 0;
}

void AnalyseDb(CJobContext& job)
{
    const std::int64_t reopen = std::exchange(job.m_nReopenDbId, 0);
    job.m_parser.m_bUseWal = reopen != 0 ? job.m_bReopenWithWal : g_bOpenWithWal;
    if (reopen != 0)
        job.m_pOpenedDb = ReopenDatabaseEntry(job.m_parser, reopen);
    else
        job.m_pOpenedDb = job.m_strNativePath.empty()
                              ? OpenDatabaseEntry(job.m_parser, job.m_strDbPath)
                              : OpenDatabaseEntry(job.m_parser, job.m_strNativePath);
    if (job.m_pOpenedDb == nullptr)
        return;
    FindDroppedTables(*job.m_pOpenedDb, job.m_parser.m_hLogWnd);
    // The evidence files are hashed as they were opened; the progress
    // dialog counts the bytes when they are many.
    HashProgress progress;
    int shown = -1;
    if (EvidenceBytes(*job.m_pOpenedDb) > kHashProgressBytes) {
        progress = [&job, &shown](std::uint64_t done, std::uint64_t total) {
            const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
            if (percent != shown)
                job.SendView(JobViewStep::kHashProgress, static_cast<std::size_t>(shown = percent));
        };
    }
    HashEvidenceFiles(*job.m_pOpenedDb, job.m_parser.m_hLogWnd, progress);
}

void AnalyseTable(CJobContext& job)
{
    job.m_parser.m_pDb = job.m_pSelDb;
    job.m_parser.m_pTable = job.m_pSelTable;
    job.m_tableRows.Clear();
    if (job.m_pSelTable == nullptr || job.m_pSelDb == nullptr)
        return;
    // A dropped table has no tree: its rows are the recovered ones alone.
    if (job.m_pSelTable->dropped) {
        job.m_parser.m_rows.clear();
        job.m_parser.m_rowCells.clear();
        if (g_bStop.load() == 0)
            job.m_tableRows.Recover(*job.m_pSelDb, *job.m_pSelTable, job.m_parser.m_hLogWnd);
        return;
    }
    // Recovery reads the file through a parser of its own and only reads
    // the database's record, so it runs beside the table read, on the
    // processor time the read leaves while it waits on its decoders. Its
    // log lines are held back and follow the read's, as if it had run
    // after it; a stop during the read drops it, as it would never have
    // started.
    const HWND logWnd = job.m_parser.m_hLogWnd;
    std::unique_ptr<CHeldLines> held;
    std::thread recovery = StartThread([&job, &held, logWnd] {
        held = std::make_unique<CHeldLines>(logWnd);
        job.m_tableRows.Recover(*job.m_pSelDb, *job.m_pSelTable, held.get());
    });
    // The window shows values one screen at a time: numbers and blobs
    // are held in their bytes and written out as they are shown.
    job.m_parser.m_bPackHeldValues = true;
    job.m_parser.ReadTable();
    const bool stoppedInRead = g_bStop.load() != 0;
    recovery.join();
    if (stoppedInRead)
        job.m_tableRows.Clear();
    else
        held->SendTo(logWnd);
}

void ReadLogFrames(CJobContext& job)
{
    job.m_logFrames.Clear();
    if (job.m_pSelDb != nullptr)
        job.m_logFrames.Read(*job.m_pSelDb, job.m_parser.m_hLogWnd);
}

void FillRecordList(CJobContext& job)
{
    // The list is a view over m_rows, every row read before this job
    // starts. It is handed over as two insertions at the top: a screenful
    // or so, shown at once, then the rest. Each hand-over is a wait for the
    // window thread and a new layout of the whole list there (its row
    // places, its scroll range), so more of them only make the list full
    // later: a million rows go over in tens of milliseconds.
    constexpr std::size_t kFirstRows = 1024;
    const std::size_t total = job.m_tableRows.LiveCount() + job.m_tableRows.RecoveredCount();
    const std::size_t first = std::min(total, kFirstRows);
    job.SendView(JobViewStep::kShowRecords, first);
    if (total > first && g_bStop == 0)
        job.SendView(JobViewStep::kShowRecords, total);
}

namespace {

// The lines of one job; every text takes the job's subject (a path or a
// table name) for its %s.
struct JobTexts {
    const char16_t* startCaption;
    const char16_t* startFormat;
    const char16_t* viewFormat;  // null: no view line
    const char16_t* doneCaption;
    const char16_t* doneFormat;
};

void RunJob(CJobContext& job, const JobTexts& texts, const std::u16string& subject,
            std::function<void(CJobContext&)> engineStep, std::function<void(CJobContext&)> viewStep)
{
    JobPlan plan;
    plan.startCaption = texts.startCaption;
    plan.startText = WideFormat(texts.startFormat, {subject});
    plan.engineStep = std::move(engineStep);
    if (texts.viewFormat != nullptr) {
        plan.viewCaption = u"View";
        plan.viewText = WideFormat(texts.viewFormat, {subject});
    }
    plan.viewStep = std::move(viewStep);
    plan.doneCaption = texts.doneCaption;
    plan.doneText = WideFormat(texts.doneFormat, {subject});
    CJobControl::RunSteps(job, plan);
}

std::u16string TableName(const CJobContext& job)
{
    return job.m_pSelTable != nullptr ? job.m_pSelTable->name : std::u16string();
}

}  // namespace

void AnalyseDbThread(CJobContext& job)
{
    RunJob(job,
           {u"Analysis", u"Analyse db: %s,please wait...", u"View: %s ,please wait...",
            u"Analysis and View", u"%s Analyse db and View completed"},
           job.m_strDbPath, AnalyseDb,
           [](CJobContext& j) { j.SendView(JobViewStep::kFillDeviceTree); });
}

void AnalyseTableThread(CJobContext& job)
{
    RunJob(job,
           {u"Analysis", u"Analyse table: %s,please wait...", u"View: %s ,please wait...",
            u"Analysis and View", u"%s Analyse table and View completed"},
           TableName(job), AnalyseTable,
           [](CJobContext& j) { j.SendView(JobViewStep::kFillTableTree); });
}

void LogFramesThread(CJobContext& job)
{
    RunJob(job,
           {u"Analysis", u"Read write-ahead log: %s-wal,please wait...", nullptr, u"Analysis",
            u"%s-wal Read write-ahead log completed"},
           job.m_pSelDb != nullptr ? job.m_pSelDb->path : std::u16string(), ReadLogFrames,
           [](CJobContext& j) { j.SendView(JobViewStep::kShowLogFrames); });
}

void ShowRecordsThread(CJobContext& job)
{
    // No engine step and no view line: the rows are those the table job read.
    RunJob(job,
           {u"Show", u"Show table record: %s,please wait...", nullptr, u"Show",
            u"%s Show table record completed"},
           TableName(job), nullptr, FillRecordList);
}

void CaseReportThread(CJobContext& job)
{
    RunJob(job,
           {u"Report", u"Report: %s,please wait...", nullptr, u"Report", u"%s Report written"},
           Widen(job.m_strReportPath),
           [](CJobContext& j) {
               for (DbInfo& db : g_dbList) {
                   // Each database read as it was opened.
                   j.m_parser.m_bUseWal = db.withWal;
                   j.m_parser.m_bUseJournal = db.withJournal;
                   j.m_report->AddDatabase(j.m_parser, db);
               }
               if (!j.m_report->Write(j.m_strReportPath, true))
                   PostOpenError(j.m_parser.m_hLogWnd, u"error", Widen(j.m_strReportPath), kLogError);
           },
           nullptr);
}
