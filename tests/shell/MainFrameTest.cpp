// The main frame: menus, toolbar, status bar, title, command forwarding,
// Stop and Exit, the tab context-menu rule, and the command line.
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QToolBar>

#include "ChildCommandTarget.h"
#include "MainFrame.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "SalvixApp.h"
#include "ShellResources.h"
#include "engine/Globals.h"

namespace {

// A document window that records the commands it is given.
class RecordingView : public QWidget, public CChildCommandTarget {
public:
    bool OnChildCommand(UINT nID) override
    {
        received.append(nID);
        return true;
    }
    QList<UINT> received;
};

QStringList Texts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (QAction* action : actions)
        texts.append(action->text());
    return texts;
}

QList<UINT> Ids(const QList<QAction*>& actions)
{
    QList<UINT> ids;
    for (QAction* action : actions)
        ids.append(action->data().toUInt());
    return ids;
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitShellResources(); }
    void init();
    void cleanup();
    void menusCarryTheirCommands();
    void toolbarHasSevenButtonsInOrder();
    void statusBarHasTwoBluePanes();
    void titleStartsWithActiveDocument();
    void documentCommandsGoToActiveChild();
    void commandsWithoutChildAreIgnored();
    void stopOnlySetsTheFlag();
    void exitEmptiesDatabaseListAndCloses();
    void tabMenuNeverOnDevice();
    void tabsHaveNoCloseButtons();
    void acceleratorsCarryTheirCommands();
    void f6StepsThroughTabsBothWays();
    void newAndOpenGoToTheApplication();
    void commandLine();

private:
    std::unique_ptr<CMainFrame> m_frame;
    RecordingView* m_device = nullptr;
};

void MainFrameTest::init()
{
    m_frame = std::make_unique<CMainFrame>();
    QVERIFY(m_frame->Create(false));
    m_device = new RecordingView;
    m_frame->AddDocumentWindow(m_device, QStringLiteral("Device"));
    m_frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
}

void MainFrameTest::cleanup()
{
    m_frame.reset();
    g_bStop = 0;
}

void MainFrameTest::menusCarryTheirCommands()
{
    const QList<QAction*> bar = m_frame->menuBar()->actions();
    QCOMPARE(Texts(bar), QStringList({QString::fromUtf16(u"设备(&F)"), QString::fromUtf16(u"工具"),
                                      QString::fromUtf16(u"帮助(&H)")}));
    QCOMPARE(Ids(m_frame->MenuActions(IDR_DEVICE_MENU)),
             QList<UINT>({ID_OPEN_DATABASE, ID_CLOSE_SOURCE, ID_CASE_REPORT, ID_APP_QUIT, ID_SCAN_PICTURES,
                          ID_SCAN_MOVIES, ID_APPLY_WAL, ID_NO_WAL, ID_LOG_FRAMES, ID_DEVICE_HELP}));
    QCOMPARE(Ids(m_frame->MenuActions(IDR_RECORD_MENU)),
             QList<UINT>({ID_UNCHECK_ALL, ID_CHECK_ALL, ID_SHOW_RECOVERED, ID_RECORD_HELP}));
    m_frame->ShowMenu(IDR_RECORD_MENU);
    QCOMPARE(m_frame->menuBar()->actions().size(), 2);
    m_frame->ShowMenu(IDR_DEVICE_MENU);
    QCOMPARE(m_frame->menuBar()->actions().size(), 3);
    // Help is accepted and does nothing.
    m_frame->MenuActions(IDR_DEVICE_MENU).last()->trigger();
    QVERIFY(m_device->received.isEmpty());
    QVERIFY(m_frame->isVisible());
}

void MainFrameTest::toolbarHasSevenButtonsInOrder()
{
    QToolBar* bar = m_frame->ToolBar();
    QCOMPARE(Ids(bar->actions()), 
             QList<UINT>({ID_OPEN_DATABASE, ID_CLOSE_SOURCE, ID_SCAN_PICTURES, ID_SCAN_MOVIES, ID_STOP,
                          ID_UNCHECK_ALL, ID_CHECK_ALL}));
    QVERIFY(!bar->isMovable());
    for (QAction* action : bar->actions())
        QVERIFY(!action->icon().pixmap(bar->iconSize()).isNull());
}

void MainFrameTest::statusBarHasTwoBluePanes()
{
    QLabel* maker = m_frame->StatusPane(0);
    QLabel* series = m_frame->StatusPane(1);
    QVERIFY(maker != nullptr && series != nullptr);
    QVERIFY(maker->text().contains(QStringLiteral("Quorvel")));
    QCOMPARE(series->text(), QString::fromUtf16(u"Salvix系列手机版本软件"));
    QCOMPARE(maker->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(series->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    m_frame->resize(1000, 700);
    QTRY_VERIFY(qAbs(maker->width() - series->width()) <= 12);
}

void MainFrameTest::titleStartsWithActiveDocument()
{
    const QString app = QString::fromUtf16(u"Quorvel软件科技SalvixForSqlite");
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("Device - ") + app);
    m_frame->AddDocumentWindow(new QWidget, QStringLiteral("message"));
    QCOMPARE(m_frame->windowTitle(), QStringLiteral("message - ") + app);
    QCOMPARE(m_frame->m_nActiveTab, 1);
}

void MainFrameTest::documentCommandsGoToActiveChild()
{
    for (UINT nID : {32818u, 32819u, 32826u, 32827u, 32802u, 32801u})
        m_frame->ToolBarAction(nID)->trigger();
    m_frame->MenuActions(IDR_DEVICE_MENU)[0]->trigger();
    QCOMPARE(m_device->received, QList<UINT>({ID_OPEN_DATABASE, ID_CLOSE_SOURCE, ID_SCAN_PICTURES, ID_SCAN_MOVIES,
                                              ID_UNCHECK_ALL, ID_CHECK_ALL, ID_OPEN_DATABASE}));
    // A second window takes the commands while it is active.
    auto* table = new RecordingView;
    m_frame->AddDocumentWindow(table, QStringLiteral("calls"));
    m_frame->OnCommand(ID_SCAN_PICTURES);
    QCOMPARE(table->received, QList<UINT>({ID_SCAN_PICTURES}));
    QCOMPARE(m_device->received.size(), 7);
    // Frame commands are not forwarded.
    m_frame->OnCommand(ID_DEVICE_HELP);
    m_frame->OnCommand(ID_STOP);
    QCOMPARE(table->received.size(), 1);
}

void MainFrameTest::commandsWithoutChildAreIgnored()
{
    m_frame->MdiArea()->closeAllSubWindows();
    QVERIFY(m_frame->ActiveChild() == nullptr);
    m_frame->OnCommand(ID_OPEN_DATABASE);  // nothing to forward to: no effect, no crash
    m_frame->OnCommand(ID_CHECK_ALL);
    QVERIFY(m_frame->isVisible());
    // A child that does not implement the interface gets nothing either.
    m_frame->AddDocumentWindow(new QWidget, QStringLiteral("plain"));
    m_frame->OnCommand(ID_CLOSE_SOURCE);
    QVERIFY(m_frame->isVisible());
}

void MainFrameTest::stopOnlySetsTheFlag()
{
    g_bStop = 0;
    m_frame->ToolBarAction(ID_STOP)->trigger();
    QCOMPARE(g_bStop.load(), 1u);
    QVERIFY(m_device->received.isEmpty());
    QVERIFY(m_frame->isVisible());
}

void MainFrameTest::exitEmptiesDatabaseListAndCloses()
{
    g_dbList.emplace_back();
    g_dbList.emplace_back();
    QAction* exit = m_frame->MenuActions(IDR_DEVICE_MENU)[3];
    QCOMPARE(exit->data().toUInt(), 32821u);
    exit->trigger();
    QVERIFY(g_dbList.empty());
    QVERIFY(!m_frame->isVisible());
}

void MainFrameTest::tabMenuNeverOnDevice()
{
    QMdiSubWindow* device = m_frame->MdiArea()->subWindowList().at(0);
    QMdiSubWindow* table = m_frame->AddDocumentWindow(new QWidget, QStringLiteral("sms"));
    QCOMPARE(m_frame->m_nActiveTab, 1);
    std::unique_ptr<QMenu> menu = m_frame->CreateTabMenu();
    QVERIFY(menu != nullptr);
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions()[0]->text(), QStringLiteral("&Close"));
    QCOMPARE(menu->actions()[0]->data().toUInt(), 32780u);

    m_frame->MdiArea()->setActiveSubWindow(device);
    QCOMPARE(m_frame->m_nActiveTab, 0);
    QVERIFY(m_frame->CreateTabMenu() == nullptr);

    // "&Close" closes the table window and only it.
    m_frame->MdiArea()->setActiveSubWindow(table);
    m_frame->CreateTabMenu()->actions()[0]->trigger();
    QTRY_COMPARE(m_frame->MdiArea()->subWindowList().size(), 1);
    QCOMPARE(m_frame->MdiArea()->subWindowList().at(0), device);
}

void MainFrameTest::tabsHaveNoCloseButtons()
{
    QTabBar* tabs = m_frame->TabBar();
    QVERIFY(tabs != nullptr);
    QCOMPARE(m_frame->MdiArea()->viewMode(), QMdiArea::TabbedView);
    QVERIFY(!tabs->tabsClosable());
    QCOMPARE(tabs->shape(), QTabBar::RoundedNorth);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Device"));
    QVERIFY(!tabs->tabIcon(0).isNull());
    // The log pane sits at the bottom and keeps its banner row.
    QCOMPARE(m_frame->dockWidgetArea(m_frame->OutputWnd()), Qt::BottomDockWidgetArea);
    QCOMPARE(m_frame->OutputWnd()->LogCount(), 1);
}

void MainFrameTest::acceleratorsCarryTheirCommands()
{
    QMap<UINT, QKeySequence> keys;
    for (QAction* action : m_frame->Accelerators()) {
        // Each key belongs to the frame window, so it works from any child.
        QVERIFY(m_frame->actions().contains(action));
        QCOMPARE(action->shortcutContext(), Qt::WindowShortcut);
        keys.insert(action->data().toUInt(), action->shortcut());
    }
    QCOMPARE(keys.size(), 4);
    QCOMPARE(keys.value(ID_FILE_NEW), QKeySequence(Qt::CTRL | Qt::Key_N));
    QCOMPARE(keys.value(ID_FILE_OPEN), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(keys.value(ID_NEXT_PANE), QKeySequence(Qt::Key_F6));
    QCOMPARE(keys.value(ID_PREV_PANE), QKeySequence(Qt::SHIFT | Qt::Key_F6));
}

void MainFrameTest::f6StepsThroughTabsBothWays()
{
    m_frame->AddDocumentWindow(new QWidget, QStringLiteral("sms"));
    m_frame->AddDocumentWindow(new QWidget, QStringLiteral("calls"));
    QCOMPARE(m_frame->m_nActiveTab, 2);
    m_frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
    // F6 past the last tab wraps to the first; Shift+F6 before the first
    // wraps to the last.
    QTest::keyClick(m_frame.get(), Qt::Key_F6);
    QCOMPARE(m_frame->m_nActiveTab, 0);
    QCOMPARE(m_frame->ActiveChild()->windowTitle(), QStringLiteral("Device"));
    QTest::keyClick(m_frame.get(), Qt::Key_F6);
    QCOMPARE(m_frame->m_nActiveTab, 1);
    QTest::keyClick(m_frame.get(), Qt::Key_F6, Qt::ShiftModifier);
    QTest::keyClick(m_frame.get(), Qt::Key_F6, Qt::ShiftModifier);
    QCOMPARE(m_frame->m_nActiveTab, 2);
    QCOMPARE(m_frame->windowTitle().left(6), QStringLiteral("calls "));
}

void MainFrameTest::newAndOpenGoToTheApplication()
{
    // Without an application handler the commands are ignored.
    m_frame->OnCommand(ID_FILE_NEW);
    QCOMPARE(m_frame->MdiArea()->subWindowList().size(), 1);

    QList<UINT> received;
    m_frame->SetAppCommandHandler([&](UINT nID) {
        received.append(nID);
        return true;
    });
    m_frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
    QTest::keyClick(m_frame.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    // Frame and document commands never reach the application.
    m_frame->OnCommand(ID_STOP);
    m_frame->OnCommand(ID_OPEN_DATABASE);
    m_frame->OnCommand(ID_NEXT_PANE);
    QCOMPARE(received, QList<UINT>({ID_FILE_NEW, ID_FILE_OPEN}));
    QCOMPARE(m_device->received, QList<UINT>({ID_OPEN_DATABASE}));
    g_bStop = 0;
}

void MainFrameTest::commandLine()
{
    const auto plain = CSalvixApp::ParseCommandLine({QStringLiteral("salvix")});
    QVERIFY(plain.bShowSplash);
    QVERIFY(plain.databases.isEmpty());
    QVERIFY(plain.error.isEmpty());
    const auto full = CSalvixApp::ParseCommandLine(
        {QStringLiteral("salvix"), QStringLiteral("a.db"), QStringLiteral("--no-splash"),
         QStringLiteral("--"), QStringLiteral("--odd.db")});
    QVERIFY(!full.bShowSplash);
    QCOMPARE(full.databases, QStringList({QStringLiteral("a.db"), QStringLiteral("--odd.db")}));
    // The bytes given stay with each database name.
    const auto bytes = CSalvixApp::ParseCommandLine({QStringLiteral("salvix"), QStringLiteral("caf\uFFFD.db")},
                                                    {"salvix", "caf\xE9.db"});
    QCOMPARE(bytes.nativeDatabases, std::vector<std::string>{"caf\xE9.db"});
    const auto wrong =
        CSalvixApp::ParseCommandLine({QStringLiteral("salvix"), QStringLiteral("--splash=no")});
    QVERIFY(!wrong.error.isEmpty());
    QVERIFY(CSalvixApp::ParseCommandLine({QStringLiteral("salvix"), QStringLiteral("-h")}).bHelp);
    const auto table = CSalvixApp::ParseCommandLine(
        {QStringLiteral("salvix"), QStringLiteral("--table"), QStringLiteral("a.db"), QStringLiteral("b.db")});
    QCOMPARE(table.table, QStringLiteral("a.db"));  // the name, even one that looks like a file
    QCOMPARE(table.databases, QStringList{QStringLiteral("b.db")});
    QVERIFY(!CSalvixApp::ParseCommandLine({QStringLiteral("salvix"), QStringLiteral("--table")}).error.isEmpty());
}

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
