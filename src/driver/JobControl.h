// One job at a time in the whole process: the busy rule and its warning,
// the start of a worker, the steps every worker takes in order, and the
// jobs of the desktop program (analyse a database, analyse a table, show a
// table's records, read a database's log frames).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "JobContext.h"
#include "platform/WindowMessage.h"

// Texts every command shares.
#define SALVIX_TEXT_BUSY_WARNING u"The other threads is working,please wait..."
#define SALVIX_TEXT_BUSY_BOX u"其他作业正在进行，请稍等..."

// The steps of one worker, in the order they run.
struct JobPlan {
    std::u16string startCaption, startText;
    std::function<void(CJobContext&)> engineStep;  // may be empty
    std::u16string viewCaption, viewText;          // empty: no view line
    std::function<void(CJobContext&)> viewStep;
    std::u16string doneCaption, doneText;
};

class CJobControl {
public:
    // When a job runs, sends the busy warning to `log` and returns true:
    // the command then changes nothing.
    static bool RefuseIfBusy(HWND log);
    // Sends a warning line ("warning", type 2).
    static void Warn(HWND log, std::u16string_view text);

    // Starts `worker` on a detached thread with shared ownership of `job`.
    // The job counts as running (g_bBusy) from here, before the thread
    // starts, so no command slips in between. The caller has checked the
    // busy rule and cleared g_bStop (ShowProgress).
    static void Start(std::shared_ptr<CJobContext> job, void (*worker)(CJobContext&));
    // The worker steps: start line, engine step, view line, view step,
    // completion line, g_bBusy cleared, close request to the progress dialog.
    static void RunSteps(CJobContext& job, const JobPlan& plan);

    // Starts `body` on a detached thread that is no job (it takes no part
    // in the busy rule) but is counted among the workers the exit waits for.
    static void StartBackground(std::function<void()> body);

    // Asks the job of `job` to stop, if it is the one running.
    static void RequestStop(const CJobContext& job);
    // Workers started and not yet ended (their contexts released).
    static int RunningWorkers();
    // Serves `pump` (the window thread's messages, which a worker may be
    // waiting on) until every worker has ended or `limit` has passed. True
    // when none is left.
    static bool WaitForWorkers(const std::function<void()>& pump, std::chrono::milliseconds limit);
    // At exit: asks the running job to stop, then waits as above.
    static bool DrainWorkers(const std::function<void()>& pump, std::chrono::milliseconds limit);
};

// The workers.
void AnalyseDbThread(CJobContext& job);
void AnalyseTableThread(CJobContext& job);
void ShowRecordsThread(CJobContext& job);
void LogFramesThread(CJobContext& job);
// Counts the rows and recovered records of every open database into
// m_report and writes it to m_strReportPath.
void CaseReportThread(CJobContext& job);

// The engine steps, as the workers and the command line run them.
// Opens m_strDbPath into g_dbList (or reopens m_nReopenDbId in its place)
// and lists the database's dropped tables.
void AnalyseDb(CJobContext& job);
// Reads m_pSelTable of m_pSelDb into m_rows (a dropped table has none),
// then recovers the table's deleted records into m_tableRows.
void AnalyseTable(CJobContext& job);
// Reads the frames of m_pSelDb's log into m_logFrames.
void ReadLogFrames(CJobContext& job);
// Hands the rows read to the record list, live ones first (last read at
// the top), then the recovered ones; ends early when g_bStop is set,
// keeping the rows shown so far.
void FillRecordList(CJobContext& job);
