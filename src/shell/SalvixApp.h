// The application object: reads the command line, builds the main frame
// (splash first) and opens the first document, the device window.
#pragma once

#include <QApplication>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMainFrame;
class QMdiSubWindow;

class CSalvixApp : public QApplication {
    Q_OBJECT
public:
    struct CommandLine {
        bool bShowSplash = true;
        bool bHelp = false;
        bool bWal = false;      // --wal: open databases with their write-ahead logs
        QStringList databases;  // opened once the device window exists
        // Each database's name as the bytes given (empty when only the
        // text is known): a name that is not valid UTF-8 opens as given.
        std::vector<std::string> nativeDatabases;
        int scanMode = -1;      // --scan: 0 pictures, 1 movies, 2 databases
        QString scanPath;
        QString table;          // shown from the first database once opened
        QString error;          // non-empty when the line cannot be used
    };
    // arguments[0] is the program; `raw`, when it has one entry per
    // argument, holds their bytes as given.
    static CommandLine ParseCommandLine(const QStringList& arguments,
                                        const std::vector<std::string>& raw = {});
    static QString HelpText();
    // Prints the help text or the error of `line`; true (with the exit code)
    // when the program should end without a window.
    static bool EndsBeforeStart(const CommandLine& line, int& exitCode);

    CSalvixApp(int& argc, char** argv);
    ~CSalvixApp() override;

    // False when the program should end at once, with ExitCode().
    bool InitInstance();
    int ExitInstance(int code);
    int ExitCode() const { return m_nExitCode; }

    CMainFrame* MainFrame() { return m_pMainWnd.get(); }
    // New document (57600): the first is the device window, every later one
    // a table window titled with the frame's next table title.
    QMdiSubWindow* OnFileNew();
    // Open document (57601): the device window's open-file command.
    bool OnFileOpen();
    // Database paths from the command line, for the open job.
    const QStringList& PendingDatabases() const { return m_pendingDatabases; }

private:
    // Command line: opens the pending databases one job after the other,
    // then the table window of --table and its records.
    void OpenNextPending();
    void OpenPendingTable();
    void LoadTranslations();

    std::unique_ptr<CMainFrame> m_pMainWnd;
    QStringList m_pendingDatabases;
    std::vector<std::string> m_pendingNative;  // their bytes, as given
    std::vector<std::string> m_rawArguments;   // argv after the window system took its own
    QString m_strPendingTable;
    std::int64_t m_nFirstDbId = 0;  // entry of the first database opened
    bool m_bFirstOpen = true;
    int m_nExitCode = 0;
    std::int32_t m_nDocCount = 0;  // documents made so far
};
