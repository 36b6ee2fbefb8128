#include "SalvixApp.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QTranslator>
#include <cstdio>

#include "ChildFrame.h"
#include "MainFrame.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "ScanFileDlg.h"
#include "SalvixLeftTreeCtrl.h"
#include "ShellResources.h"
#include "driver/DbEntries.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"
#include "platform/WideFormat.h"

namespace {

// "--scan KIND FILE" at arguments[i]; moves i to FILE.
void ParseScanOption(const QStringList& arguments, qsizetype& i, CSalvixApp::CommandLine& line)
{
    static const QStringList kKinds = {QStringLiteral("pictures"), QStringLiteral("movies"),
                                       QStringLiteral("databases")};
    if (i + 2 >= arguments.size() || !kKinds.contains(arguments[i + 1])) {
        line.error = QStringLiteral("--scan needs pictures, movies or databases and a file");
        i = arguments.size();
        return;
    }
    line.scanMode = static_cast<int>(kKinds.indexOf(arguments[i + 1]));
    line.scanPath = arguments[i + 2];
    i += 2;
}

}  // namespace

CSalvixApp::CommandLine CSalvixApp::ParseCommandLine(const QStringList& arguments,
                                                     const std::vector<std::string>& raw)
{
    CommandLine line;
    bool bOptionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!bOptionsEnded && argument == QStringLiteral("--"))
            bOptionsEnded = true;
        else if (!bOptionsEnded && argument == QStringLiteral("--no-splash"))
            line.bShowSplash = false;
        else if (!bOptionsEnded && (argument == QStringLiteral("--help") ||
                                    argument == QStringLiteral("-h")))
            line.bHelp = true;
        else if (!bOptionsEnded && argument == QStringLiteral("--wal"))
            line.bWal = true;
        else if (!bOptionsEnded && argument == QStringLiteral("--scan"))
            ParseScanOption(arguments, i, line);
        else if (!bOptionsEnded && argument == QStringLiteral("--table")) {
            if (i + 1 >= arguments.size())
                line.error = QStringLiteral("--table needs a table name");
            else
                line.table = arguments[++i];
        } else if (!bOptionsEnded && argument.startsWith(u'-') && argument.size() > 1)
            line.error = QStringLiteral("unknown option: ") + argument;
        else {
            line.databases.append(argument);
            line.nativeDatabases.push_back(raw.size() == static_cast<std::size_t>(arguments.size())
                                               ? raw[static_cast<std::size_t>(i)]
                                               : std::string());
        }
    }
    return line;
}

QString CSalvixApp::HelpText()
{
    return QStringLiteral(
        "usage: salvix [--no-splash] [--wal] [--table NAME] [--scan pictures|movies|databases FILE] [DB...]\n"
        "  --no-splash       start without the start-up picture\n"
        "  --wal             show each database with the committed pages of its write-ahead\n"
        "                    log (DB-wal) laid over it; the log is only read, never written\n"
        "  --table NAME      open the table window of NAME in the first DB and show its records\n"
        "  --scan KIND FILE  open the scan dialog on FILE and start scanning it\n"
        "  DB                database files to open, one after the other, once the program is up\n");
}

bool CSalvixApp::EndsBeforeStart(const CommandLine& line, int& exitCode)
{
    if (!line.bHelp && line.error.isEmpty())
        return false;
    if (!line.error.isEmpty())
        std::fprintf(stderr, "salvix: %s\n", qUtf8Printable(line.error));
    std::fputs(qUtf8Printable(HelpText()), line.bHelp ? stdout : stderr);
    exitCode = line.bHelp ? 0 : 2;
    return true;
}

CSalvixApp::CSalvixApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // The window system has removed its own options from argv by now, so
    // these line up with arguments().
    for (int i = 0; i < argc; ++i)
        m_rawArguments.emplace_back(argv[i]);
    InitShellResources();
    LoadTranslations();
    setApplicationName(QString::fromUtf16(SALVIX_TEXT_APP_TITLE));
    setWindowIcon(QIcon(QStringLiteral(SALVIX_RES_APP_ICON)));
}

CSalvixApp::~CSalvixApp() = default;

void CSalvixApp::LoadTranslations()
{
    // Qt's own dialogs and buttons speak the program's language.
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_zh_CN", "qt_zh_CN"}) {
        auto* translator = new QTranslator(this);
        if (translator->load(QString::fromLatin1(name), directory)) {
            installTranslator(translator);
            return;
        }
        delete translator;
    }
}

bool CSalvixApp::InitInstance()
{
    const CommandLine line = ParseCommandLine(arguments(), m_rawArguments);
    if (EndsBeforeStart(line, m_nExitCode))
        return false;
    g_bOpenWithWal = line.bWal;
    m_pendingDatabases = line.databases;
    m_pendingNative = line.nativeDatabases;
    m_strPendingTable = line.table;

    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->Create(line.bShowSplash)) {
        m_nExitCode = 1;
        return false;
    }
    m_pMainWnd->SetAppCommandHandler([this](UINT nID) {
        if (nID == ID_FILE_NEW)
            return OnFileNew() != nullptr;
        if (nID == ID_FILE_OPEN)
            return OnFileOpen();
        return false;
    });
    // The first document is always the device window.
    QMdiSubWindow* window = OnFileNew();
    m_pMainWnd->show();
    // Activate again now that the frame is on screen, so the child has focus.
    m_pMainWnd->MdiArea()->setActiveSubWindow(window);
    if (line.scanMode >= 0) {
        const std::u16string path = line.scanPath.toStdU16String();
        const int mode = line.scanMode;
        auto* device = window != nullptr ? dynamic_cast<CChildFrame*>(window->widget()) : nullptr;
        QPointer<CSalvixLeftTreeCtrl> tree(device != nullptr ? device->LeftTree() : nullptr);
        QTimer::singleShot(0, m_pMainWnd.get(), [this, path, mode, tree] {
            // A carved database opens into the device tree.
            CScanFileDlg::Run(m_pMainWnd->OutputWnd()->GetLogWnd(), m_pMainWnd.get(), path, mode, true,
                              [tree](const QString& carved) {
                                  if (tree != nullptr)
                                      tree->OpenDatabasePath(carved);
                              });
        });
    }
    if (!m_pendingDatabases.isEmpty())
        QTimer::singleShot(0, this, &CSalvixApp::OpenNextPending);
    return true;
}

void CSalvixApp::OpenNextPending()
{
    QMdiSubWindow* first = m_pMainWnd->MdiArea()->subWindowList().value(0);
    auto* device = first != nullptr ? dynamic_cast<CChildFrame*>(first->widget()) : nullptr;
    if (device == nullptr)
        return;
    CSalvixLeftTreeCtrl* tree = device->LeftTree();
    if (m_pendingDatabases.isEmpty()) {
        if (!m_strPendingTable.isEmpty())
            OpenPendingTable();
        return;
    }
    const QString path = m_pendingDatabases.takeFirst();
    std::string nativePath;
    if (!m_pendingNative.empty()) {
        nativePath = std::move(m_pendingNative.front());
        m_pendingNative.erase(m_pendingNative.begin());
    }
    connect(tree, &CSalvixLeftTreeCtrl::JobFinished, this,
            [this, tree] {
                // Only the first database's entry is kept, for --table.
                if (m_bFirstOpen) {
                    m_bFirstOpen = false;
                    const DbInfo* opened = tree->Job()->m_pOpenedDb;
                    m_nFirstDbId = opened != nullptr ? EntryId(*opened) : 0;
                }
                OpenNextPending();
            },
            Qt::SingleShotConnection);
    tree->OpenDatabasePath(path, nativePath);
}

void CSalvixApp::OpenPendingTable()
{
    const QString name = m_strPendingTable;
    m_strPendingTable.clear();
    QMdiSubWindow* first = m_pMainWnd->MdiArea()->subWindowList().value(0);
    auto* device = first != nullptr ? dynamic_cast<CChildFrame*>(first->widget()) : nullptr;
    DbInfo* db = FindDbEntry(m_nFirstDbId);
    if (device == nullptr || db == nullptr) {
        CJobControl::Warn(m_pMainWnd->OutputWnd()->GetLogWnd(),
                          WideFormat(u"Table %s: the first database was not opened",
                                     {name.toStdU16String()}));
        return;
    }
    CSalvixLeftTreeCtrl* tree = device->LeftTree();
    const TableInfo* table = FindTableByName(*db, name.toStdU16String());
    // The table's item in the device tree, found by its identifier.
    CSalvixCtrlItem item = nullptr;
    const QString tableId = table != nullptr ? QString::fromStdU16String(EntryIdText(EntryId(*table)))
                                             : QString();
    for (CSalvixCtrlItem top = tree->GetChildItem(SCI_ROOT); top != nullptr && item == nullptr;
         top = tree->GetNextItem(top)) {
        for (CSalvixCtrlItem child = tree->GetChildItem(top); child != nullptr;
             child = tree->GetNextItem(child)) {
            if (tree->GetItemText(child, 2) == tableId) {
                item = child;
                break;
            }
        }
    }
    if (item == nullptr) {
        CJobControl::Warn(m_pMainWnd->OutputWnd()->GetLogWnd(),
                          WideFormat(u"%s has no table named %s",
                                     {db->path, name.toStdU16String()}));
        return;
    }
    // As a double click on the item, then a click in the new window's tree.
    m_pMainWnd->MdiArea()->setActiveSubWindow(first);
    tree->SelectItem(item);
    const int before = static_cast<int>(m_pMainWnd->MdiArea()->subWindowList().size());
    tree->OpenTableWindow(item);
    const QList<QMdiSubWindow*> windows = m_pMainWnd->MdiArea()->subWindowList();
    auto* tableWindow = windows.size() > before ? dynamic_cast<CChildFrame*>(windows.last()->widget())
                                                 : nullptr;
    if (tableWindow == nullptr)
        return;
    CSalvixLeftTreeCtrl* tableTree = tableWindow->LeftTree();
    connect(tableTree, &CSalvixLeftTreeCtrl::JobFinished, tableTree,
            [tableTree] { tableTree->ShowRecords(); }, Qt::SingleShotConnection);
}

QMdiSubWindow* CSalvixApp::OnFileNew()
{
    if (m_pMainWnd == nullptr)
        return nullptr;
    return CChildFrame::NewDocument(*m_pMainWnd, m_nDocCount);
}

bool CSalvixApp::OnFileOpen()
{
    // Documents are databases, and those are opened in the device window.
    QMdiSubWindow* first =
        m_pMainWnd != nullptr ? m_pMainWnd->MdiArea()->subWindowList().value(0) : nullptr;
    auto* device = first != nullptr ? dynamic_cast<CChildFrame*>(first->widget()) : nullptr;
    if (device == nullptr)
        return false;
    m_pMainWnd->MdiArea()->setActiveSubWindow(first);
    return device->OnChildCommand(ID_OPEN_DATABASE);
}

int CSalvixApp::ExitInstance(int code)
{
    // A job still running is stopped, and its view steps served, before
    // the windows and the database list go.
    CJobControl::DrainWorkers(
        [] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        },
        std::chrono::seconds(30));
    // No settings are kept: nothing to save or clean up beyond the windows.
    m_pMainWnd.reset();
    return code;
}
