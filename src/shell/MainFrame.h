// The main window: tabbed document area, device and record menus, the
// seven-button toolbar, a two-pane status bar and the docked log pane.
// Commands meant for the documents go to the active child window.
#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/WindowMessage.h"

class COutputWnd;
class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTabBar;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the window: optionally the modal splash first, then the bars
    // and the log pane. False if a part cannot be made.
    bool Create(bool bShowSplash);

    // Adds a document window with its tab and makes it active.
    QMdiSubWindow* AddDocumentWindow(QWidget* view, const QString& title);

    // Runs a command by its number, as a menu item or button would.
    void OnCommand(UINT nID);
    // Receives the commands that belong to the application rather than the
    // frame (new document, open document); true when one was handled.
    using AppCommandHandler = std::function<bool(UINT nID)>;
    void SetAppCommandHandler(AppCommandHandler handler) { m_appCommands = std::move(handler); }
    // Shows the device menu (130) or the record menu (134) in the menu bar.
    void ShowMenu(UINT nMenuId);
    UINT ShownMenu() const { return m_nShownMenu; }

    // Context menu of the active tab: null for the "Device" tab.
    std::unique_ptr<QMenu> CreateTabMenu();

    COutputWnd* OutputWnd() { return m_wndOutput; }
    QMdiArea* MdiArea() { return m_wndMdiArea; }
    QToolBar* ToolBar() { return m_wndToolBar; }
    QTabBar* TabBar() { return m_wndTabBar; }
    QAction* ToolBarAction(UINT nID) const { return m_toolbarActions.value(nID); }
    // The keyboard accelerators, each carrying its command number as data.
    const QList<QAction*>& Accelerators() const { return m_accelerators; }
    QList<QAction*> MenuActions(UINT nMenuId) const;
    QLabel* StatusPane(int index) const;
    // The document window that commands go to; null when there is none.
    QMdiSubWindow* ActiveChild() const;
    // The title shown in the caption: the active document's title first.
    QString FrameTitle() const;

    // State the document commands share (the active tab, the title of the
    // next table window, the tables that have a window).
    int m_nActiveTab = -1;
    std::u16string m_strNewTableTitle;
    std::map<std::int64_t, std::int32_t> m_openTables;

private:
    bool CreateMenus();
    void CreateAccelerators();
    bool CreateToolBar();
    bool CreateStatusBar();
    bool CreateOutputWnd();
    QMenu* AddPopup(QList<QMenu*>& menus, const QString& title);
    QAction* AddCommand(QMenu* menu, const QString& text, UINT nID);
    void OnActiveTabChanged(int index);
    void UpdateFrameTitle();
    bool ForwardToActiveChild(UINT nID);
    void OnExit();
    void OnCloseTab();
    void ShowWindowsDialog();
    void ShowToolbarCustomization();
    void OnToolBarContextMenu(const QPoint& pos);
    void OnTabContextMenu(const QPoint& pos);

    QMdiArea* m_wndMdiArea = nullptr;
    QTabBar* m_wndTabBar = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    COutputWnd* m_wndOutput = nullptr;
    QLabel* m_wndStatusPanes[2] = {nullptr, nullptr};
    QList<QMenu*> m_menuDevice;
    QList<QMenu*> m_menuRecord;
    UINT m_nShownMenu = 0;
    QHash<UINT, QAction*> m_toolbarActions;
    QList<QAction*> m_accelerators;
    AppCommandHandler m_appCommands;
};
