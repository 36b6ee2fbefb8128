#include "MainFrame.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <iterator>

#include "ChildCommandTarget.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "SplashDlg.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"

namespace {

struct ToolbarButton {
    UINT nID;
    const char16_t* text;
};

// The toolbar's buttons, in order.
constexpr ToolbarButton kToolbarButtons[] = {
    {ID_OPEN_DATABASE, u"打开文件"}, {ID_CLOSE_SOURCE, u"关闭文件"},
    {ID_SCAN_PICTURES, u"扫描图片"}, {ID_SCAN_MOVIES, u"扫描影片"},
    {ID_STOP, u"停止"},              {ID_UNCHECK_ALL, u"取消全选"},
    {ID_CHECK_ALL, u"全选"},
};

struct Accelerator {
    UINT nID;
    QKeyCombination key;
};

// The frame's own keys. The editing keys (copy, paste, undo...) are left to
// whichever widget has the focus, which handles them itself.
const Accelerator kAccelerators[] = {
    {ID_FILE_NEW, Qt::CTRL | Qt::Key_N},
    {ID_FILE_OPEN, Qt::CTRL | Qt::Key_O},
    {ID_NEXT_PANE, QKeyCombination(Qt::Key_F6)},
    {ID_PREV_PANE, Qt::SHIFT | Qt::Key_F6},
};

constexpr int kButtonWidth = 55;
constexpr int kButtonHeight = 48;
constexpr int kInitialLogHeight = 190;

QString Text(const char16_t* text)
{
    return QString::fromUtf16(text);
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainFrame"));
}

CMainFrame::~CMainFrame()
{
    // Child windows closing during destruction must not call back into a
    // frame that is no longer a CMainFrame.
    if (m_wndMdiArea != nullptr)
        disconnect(m_wndMdiArea, nullptr, this, nullptr);
    if (m_wndTabBar != nullptr)
        disconnect(m_wndTabBar, nullptr, this, nullptr);
}

bool CMainFrame::Create(bool bShowSplash)
{
    if (bShowSplash) {
        CSplashDlg splash;
        splash.exec();  // creation goes on once it has closed
    }

    m_wndMdiArea = new QMdiArea(this);
    m_wndMdiArea->setViewMode(QMdiArea::TabbedView);
    m_wndMdiArea->setTabPosition(QTabWidget::North);
    m_wndMdiArea->setTabShape(QTabWidget::Rounded);
    m_wndMdiArea->setTabsClosable(false);
    m_wndMdiArea->setTabsMovable(false);
    m_wndMdiArea->setDocumentMode(true);
    setCentralWidget(m_wndMdiArea);
    m_wndTabBar = m_wndMdiArea->findChild<QTabBar*>();
    if (m_wndTabBar == nullptr)
        return false;
    m_wndTabBar->setExpanding(false);
    m_wndTabBar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_wndTabBar, &QWidget::customContextMenuRequested, this,
            &CMainFrame::OnTabContextMenu);
    // The tab bar reports every change of the active tab, whether by click,
    // by keyboard or by a new window.
    connect(m_wndTabBar, &QTabBar::currentChanged, this, &CMainFrame::OnActiveTabChanged);
    connect(m_wndMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::UpdateFrameTitle);
    // Closing a tab moves the current tab without a tab-bar signal; the
    // activation of the next window tells it.
    connect(m_wndMdiArea, &QMdiArea::subWindowActivated, this,
            [this] { m_nActiveTab = m_wndTabBar->currentIndex(); });

    if (!CreateMenus() || !CreateToolBar() || !CreateStatusBar() || !CreateOutputWnd())
        return false;
    CreateAccelerators();

    setWindowIcon(QIcon(QStringLiteral(SALVIX_RES_APP_ICON)));
    UpdateFrameTitle();
    resize(1100, 720);
    return true;
}

QMenu* CMainFrame::AddPopup(QList<QMenu*>& menus, const QString& title)
{
    auto* popup = new QMenu(title, this);
    menus.append(popup);
    return popup;
}

QAction* CMainFrame::AddCommand(QMenu* menu, const QString& text, UINT nID)
{
    QAction* action = menu->addAction(text);
    action->setData(nID);
    connect(action, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
    return action;
}

bool CMainFrame::CreateMenus()
{
    QMenu* device = AddPopup(m_menuDevice, Text(u"设备(&F)"));
    AddCommand(device, Text(u"打开文件"), ID_OPEN_DATABASE);
    AddCommand(device, Text(u"关闭文件"), ID_CLOSE_SOURCE);
    AddCommand(device, Text(u"生成报告"), ID_CASE_REPORT);
    AddCommand(device, Text(u"退出"), ID_APP_QUIT);
    QMenu* tools = AddPopup(m_menuDevice, Text(u"工具"));
    AddCommand(tools, Text(u"扫描图片"), ID_SCAN_PICTURES);
    AddCommand(tools, Text(u"扫描影片"), ID_SCAN_MOVIES);
    // The selected database's write-ahead log.
    AddCommand(tools, Text(u"应用WAL日志"), ID_APPLY_WAL);
    AddCommand(tools, Text(u"不应用WAL日志"), ID_NO_WAL);
    AddCommand(tools, Text(u"WAL帧"), ID_LOG_FRAMES);
    QMenu* help = AddPopup(m_menuDevice, Text(u"帮助(&H)"));
    AddCommand(help, Text(u"帮助"), ID_DEVICE_HELP);

    QMenu* recordTools = AddPopup(m_menuRecord, Text(u"工具"));
    AddCommand(recordTools, Text(u"取消全选"), ID_UNCHECK_ALL);
    AddCommand(recordTools, Text(u"全选"), ID_CHECK_ALL);
    AddCommand(recordTools, Text(u"显示/隐藏已删除记录"), ID_SHOW_RECOVERED);
    QMenu* recordHelp = AddPopup(m_menuRecord, Text(u"帮助"));
    AddCommand(recordHelp, Text(u"帮助"), ID_RECORD_HELP);

    ShowMenu(IDR_DEVICE_MENU);
    return true;
}

void CMainFrame::ShowMenu(UINT nMenuId)
{
    const QList<QMenu*>& menus = nMenuId == IDR_RECORD_MENU ? m_menuRecord : m_menuDevice;
    // The popups belong to the frame, so clearing the bar does not delete them.
    menuBar()->clear();
    for (QMenu* popup : menus)
        menuBar()->addMenu(popup);
    m_nShownMenu = nMenuId == IDR_RECORD_MENU ? IDR_RECORD_MENU : IDR_DEVICE_MENU;
}

void CMainFrame::CreateAccelerators()
{
    // Added to the frame itself so the keys work whichever child has focus.
    for (const Accelerator& accelerator : kAccelerators) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(accelerator.key));
        action->setShortcutContext(Qt::WindowShortcut);
        action->setData(accelerator.nID);
        const UINT nID = accelerator.nID;
        connect(action, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
        addAction(action);
        m_accelerators.append(action);
    }
}

QList<QAction*> CMainFrame::MenuActions(UINT nMenuId) const
{
    QList<QAction*> actions;
    for (QMenu* popup : nMenuId == IDR_RECORD_MENU ? m_menuRecord : m_menuDevice)
        actions += popup->actions();
    return actions;
}

bool CMainFrame::CreateToolBar()
{
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("ToolBar%1").arg(IDR_TOOLBAR));
    m_wndToolBar->setMovable(false);  // locked
    m_wndToolBar->setFloatable(false);
    m_wndToolBar->setIconSize(QSize(kButtonWidth, kButtonHeight));
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const ToolbarButton& button : kToolbarButtons) {
        QAction* action = m_wndToolBar->addAction(
            QIcon(QStringLiteral(SALVIX_RES_TOOLBAR_PREFIX "%1").arg(button.nID)),
            Text(button.text));
        action->setData(button.nID);
        action->setToolTip(Text(button.text));
        const UINT nID = button.nID;
        connect(action, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
        m_toolbarActions.insert(button.nID, action);
    }
    m_wndToolBar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_wndToolBar, &QWidget::customContextMenuRequested, this,
            &CMainFrame::OnToolBarContextMenu);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
    return true;
}

bool CMainFrame::CreateStatusBar()
{
    const QString texts[2] = {Text(SALVIX_TEXT_MAKER), Text(SALVIX_TEXT_SERIES)};
    for (int pane = 0; pane < 2; ++pane) {
        auto* label = new QLabel(texts[pane], this);
        label->setObjectName(QStringLiteral("StatusPane%1").arg(pane == 0 ? IDS_MAKER : IDS_SERIES));
        QPalette blue = label->palette();
        blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
        label->setPalette(blue);
        label->setMinimumWidth(1);
        // Equal stretch keeps each pane at half the frame's width.
        statusBar()->addWidget(label, 1);
        m_wndStatusPanes[pane] = label;
    }
    return true;
}

QLabel* CMainFrame::StatusPane(int index) const
{
    return index == 0 || index == 1 ? m_wndStatusPanes[index] : nullptr;
}

bool CMainFrame::CreateOutputWnd()
{
    m_wndOutput = new COutputWnd(this);
    m_wndOutput->setWindowIcon(QIcon(QStringLiteral(SALVIX_RES_OUTPUT_ICON)));
    addDockWidget(Qt::BottomDockWidgetArea, m_wndOutput);
    resizeDocks({m_wndOutput}, {kInitialLogHeight}, Qt::Vertical);
    return true;
}

QMdiSubWindow* CMainFrame::AddDocumentWindow(QWidget* view, const QString& title)
{
    QMdiSubWindow* window = m_wndMdiArea->addSubWindow(view);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->setWindowIcon(QIcon(QStringLiteral(SALVIX_RES_APP_ICON)));
    window->showMaximized();
    m_wndMdiArea->setActiveSubWindow(window);
    connect(window, &QWidget::windowTitleChanged, this, &CMainFrame::UpdateFrameTitle);
    UpdateFrameTitle();
    return window;
}

void CMainFrame::OnActiveTabChanged(int index)
{
    m_nActiveTab = index;
    UpdateFrameTitle();
}

QMdiSubWindow* CMainFrame::ActiveChild() const
{
    // The window of the current tab: Qt reports no active child while the
    // frame itself is not the active window, but the tab stays current.
    if (m_wndMdiArea == nullptr || m_wndTabBar == nullptr)
        return nullptr;
    const QList<QMdiSubWindow*> windows = m_wndMdiArea->subWindowList();
    const int index = m_wndTabBar->currentIndex();
    return index >= 0 && index < windows.size() ? windows[index] : nullptr;
}

QString CMainFrame::FrameTitle() const
{
    const QString appTitle = Text(SALVIX_TEXT_MAINFRAME);
    QMdiSubWindow* active = ActiveChild();
    if (active == nullptr || active->windowTitle().isEmpty())
        return appTitle;
    return active->windowTitle() + QStringLiteral(" - ") + appTitle;
}

void CMainFrame::UpdateFrameTitle()
{
    setWindowTitle(FrameTitle());
}

void CMainFrame::OnCommand(UINT nID)
{
    switch (nID) {
    case ID_STOP:
        g_bStop = 1;  // the running job polls it; nothing else happens here
        break;
    case ID_APP_QUIT:
        OnExit();
        break;
    case ID_DEVICE_HELP:
    case ID_RECORD_HELP:
        break;  // accepted and ignored
    case ID_WINDOW_MANAGER:
        ShowWindowsDialog();
        break;
    case ID_VIEW_CUSTOMIZE:
        ShowToolbarCustomization();
        break;
    case ID_CLOSE_TAB:
        OnCloseTab();
        break;
    // "Pane" here is the document window: the tabs are stepped through in
    // order, wrapping at either end.
    case ID_NEXT_PANE:
        m_wndMdiArea->activateNextSubWindow();
        break;
    case ID_PREV_PANE:
        m_wndMdiArea->activatePreviousSubWindow();
        break;
    case ID_OPEN_DATABASE:
    case ID_CLOSE_SOURCE:
    case ID_SCAN_PICTURES:
    case ID_SCAN_MOVIES:
    case ID_CASE_REPORT:
    case ID_UNCHECK_ALL:
    case ID_CHECK_ALL:
    case ID_SHOW_RECOVERED:
    case ID_APPLY_WAL:
    case ID_NO_WAL:
    case ID_LOG_FRAMES:
        ForwardToActiveChild(nID);
        break;
    default:
        // New and open document belong to the application object.
        if (m_appCommands)
            m_appCommands(nID);
        break;
    }
}

bool CMainFrame::ForwardToActiveChild(UINT nID)
{
    QMdiSubWindow* active = ActiveChild();
    if (active == nullptr)
        return false;  // no document window: the command is ignored
    auto* target = dynamic_cast<CChildCommandTarget*>(active->widget());
    return target != nullptr && target->OnChildCommand(nID);
}

void CMainFrame::OnExit()
{
    // A running job may still add to the list: it is stopped first, with
    // its messages served meanwhile.
    CJobControl::DrainWorkers([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); },
                              std::chrono::seconds(30));
    g_dbList.clear();
    close();
}

void CMainFrame::OnCloseTab()
{
    if (ForwardToActiveChild(ID_CLOSE_TAB))
        return;
    // Until the document windows handle it themselves, close the tab here.
    if (QMdiSubWindow* active = ActiveChild())
        active->close();
}

std::unique_ptr<QMenu> CMainFrame::CreateTabMenu()
{
    if (m_wndTabBar == nullptr || m_nActiveTab < 0 || m_nActiveTab >= m_wndTabBar->count())
        return nullptr;
    // The device window stays open as long as the program runs.
    if (m_wndTabBar->tabText(m_nActiveTab) == Text(SALVIX_TEXT_DEVICE_TITLE))
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QAction* close = menu->addAction(QStringLiteral("&Close"));
    close->setData(ID_CLOSE_TAB);
    connect(close, &QAction::triggered, this, [this] { OnCommand(ID_CLOSE_TAB); });
    return menu;
}

void CMainFrame::OnTabContextMenu(const QPoint& pos)
{
    const int index = m_wndTabBar->tabAt(pos);
    const QList<QMdiSubWindow*> windows = m_wndMdiArea->subWindowList();
    if (index < 0 || index >= windows.size())
        return;
    // A right click makes its tab the active one, then the rule applies to it.
    m_wndMdiArea->setActiveSubWindow(windows[index]);
    if (std::unique_ptr<QMenu> menu = CreateTabMenu())
        menu->exec(m_wndTabBar->mapToGlobal(pos));
}

void CMainFrame::OnToolBarContextMenu(const QPoint& pos)
{
    QMenu menu(this);
    QAction* customize = menu.addAction(Text(SALVIX_TEXT_CUSTOMIZE));
    customize->setData(ID_VIEW_CUSTOMIZE);
    if (menu.exec(m_wndToolBar->mapToGlobal(pos)) == customize)
        OnCommand(ID_VIEW_CUSTOMIZE);
}

void CMainFrame::ShowToolbarCustomization()
{
    // Customising here means choosing which buttons the toolbar shows.
    QMenu menu(this);
    for (const ToolbarButton& button : kToolbarButtons) {
        QAction* shown = menu.addAction(Text(button.text));
        shown->setCheckable(true);
        QAction* target = m_toolbarActions.value(button.nID);
        shown->setChecked(target->isVisible());
        connect(shown, &QAction::toggled, target, &QAction::setVisible);
    }
    menu.exec(QCursor::pos());
}

void CMainFrame::ShowWindowsDialog()
{
    QDialog dialog(this);
    dialog.setWindowTitle(Text(u"窗口"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    const QList<QMdiSubWindow*> windows = m_wndMdiArea->subWindowList();
    for (QMdiSubWindow* window : windows)
        list->addItem(window->windowTitle());
    if (QMdiSubWindow* active = ActiveChild())
        list->setCurrentRow(static_cast<int>(windows.indexOf(active)));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int row = list->currentRow();
    if (row >= 0 && row < windows.size())
        m_wndMdiArea->setActiveSubWindow(windows[row]);
}
