#include "SalvixApp.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>
#include <cstdio>

#include "MainFrame.h"
#include "ResourceIds.h"
#include "ShellResources.h"

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
        "usage: salvix [--no-splash] [DB...]\n"
        "  --no-splash  start without the start-up picture\n"
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
