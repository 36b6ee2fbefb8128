#include "SalvixApp.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "MainFrame.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "ScanFileDlg.h"
#include "ShellResources.h"

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

CSalvixApp::CommandLine CSalvixApp::ParseCommandLine(const QStringList& arguments)
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
        else if (!bOptionsEnded && argument == QStringLiteral("--scan"))
            ParseScanOption(arguments, i, line);
        else if (!bOptionsEnded && argument.startsWith(u'-') && argument.size() > 1)
            line.error = QStringLiteral("unknown option: ") + argument;
        else
            line.databases.append(argument);
    }
    return line;
}

QString CSalvixApp::HelpText()
{
    return QStringLiteral(
        "usage: salvix [--no-splash] [--scan pictures|movies|databases FILE] [DB...]\n"
        "  --no-splash  start without the start-up picture\n"
        "  --scan KIND FILE  open the scan dialog on FILE and start scanning it\n"
        "  DB           database files to open once the program is up\n");
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
    InitShellResources();
    setApplicationName(QString::fromUtf16(SALVIX_TEXT_APP_TITLE));
    setWindowIcon(QIcon(QStringLiteral(SALVIX_RES_APP_ICON)));
}

CSalvixApp::~CSalvixApp() = default;

bool CSalvixApp::InitInstance()
{
    const CommandLine line = ParseCommandLine(arguments());
    if (EndsBeforeStart(line, m_nExitCode))
        return false;
    m_pendingDatabases = line.databases;

    m_pMainWnd = std::make_unique<CMainFrame>();
    if (!m_pMainWnd->Create(line.bShowSplash)) {
        m_nExitCode = 1;
        return false;
    }
    m_pMainWnd->SetAppCommandHandler([this](UINT nID) {
        if (nID == ID_FILE_NEW)
            return OnFileNew() != nullptr;
        if (nID == ID_FILE_OPEN)
            return OnFileOpen() != nullptr;
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
        QTimer::singleShot(0, m_pMainWnd.get(), [this, path, mode] {
            CScanFileDlg::Run(m_pMainWnd->OutputWnd()->GetLogWnd(), m_pMainWnd.get(), path, mode, true);
        });
    }
    return true;
}

QMdiSubWindow* CSalvixApp::OnFileNew()
{
    if (m_pMainWnd == nullptr)
        return nullptr;
    auto* view = new QWidget;
    const bool bDevice = m_nDocCount == 0;
    view->setObjectName(bDevice ? QStringLiteral("DeviceView") : QStringLiteral("TableView"));
    const QString title = bDevice ? QString::fromUtf16(SALVIX_TEXT_DEVICE_TITLE)
                                  : QString::fromStdU16String(m_pMainWnd->m_strNewTableTitle);
    ++m_nDocCount;
    return m_pMainWnd->AddDocumentWindow(view, title);
}

QMdiSubWindow* CSalvixApp::OnFileOpen()
{
    if (m_pMainWnd == nullptr)
        return nullptr;
    // No file filter: any file may be chosen.
    const QString path = QFileDialog::getOpenFileName(m_pMainWnd.get());
    if (path.isEmpty())
        return nullptr;
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("OpenedView"));
    return m_pMainWnd->AddDocumentWindow(view, QFileInfo(path).fileName());
}

int CSalvixApp::ExitInstance(int code)
{
    // No settings are kept: nothing to save or clean up beyond the windows.
    m_pMainWnd.reset();
    return code;
}
