#include "ChildFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QTabBar>

#include "MainFrame.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "SalvixLeftView.h"
#include "SalvixRightView.h"
#include "driver/JobControl.h"

namespace {

constexpr UINT kDeviceButtons[] = {ID_OPEN_DATABASE, ID_CLOSE_SOURCE, ID_SCAN_PICTURES,
                                   ID_SCAN_MOVIES, ID_STOP};
constexpr UINT kRecordButtons[] = {ID_UNCHECK_ALL, ID_CHECK_ALL};

}  // namespace

QMdiSubWindow* CChildFrame::NewDocument(CMainFrame& frame, std::int32_t& nDocCount)
{
    CSalvixDoc doc;
    if (!doc.OnNewDocument(nDocCount, frame.m_strNewTableTitle))
        return nullptr;
    const bool bDevice = frame.TabBar() == nullptr || frame.TabBar()->count() == 0;
    QMdiSubWindow* active = frame.ActiveChild();
    auto* activeChild = active != nullptr ? dynamic_cast<CChildFrame*>(active->widget()) : nullptr;
    auto* child = new CChildFrame(&frame, doc, bDevice,
                                  activeChild != nullptr ? activeChild->LeftTree() : nullptr);
    QMdiSubWindow* window = frame.AddDocumentWindow(child, doc.GetTitle());
    // Once per frame, and owned by it, so its end ends the connections.
    if (!frame.property("salvixMenuFollowsTab").toBool()) {
        frame.setProperty("salvixMenuFollowsTab", true);
        CMainFrame* owner = &frame;
        if (frame.TabBar() != nullptr)
            connect(frame.TabBar(), &QTabBar::currentChanged, owner, [owner] { UpdateFrameMenu(*owner); });
        connect(frame.MdiArea(), &QMdiArea::subWindowActivated, owner,
                [owner] { UpdateFrameMenu(*owner); });
    }
    UpdateFrameMenu(frame);
    return window;
}

void CChildFrame::UpdateFrameMenu(CMainFrame& frame)
{
    const bool bTable = frame.TabBar() != nullptr && frame.TabBar()->currentIndex() > 0;
    if (frame.ShownMenu() != (bTable ? IDR_RECORD_MENU : IDR_DEVICE_MENU))
        frame.ShowMenu(bTable ? IDR_RECORD_MENU : IDR_DEVICE_MENU);
    for (UINT nID : kDeviceButtons) {
        if (QAction* button = frame.ToolBarAction(nID))
            button->setVisible(!bTable);
    }
    for (UINT nID : kRecordButtons) {
        if (QAction* button = frame.ToolBarAction(nID))
            button->setVisible(bTable);
    }
}

CChildFrame::CChildFrame(CMainFrame* frame, const CSalvixDoc& doc, bool bDeviceWindow,
                         CSalvixLeftTreeCtrl* activeTree, QWidget* parent)
    : QWidget(parent), m_pMainFrame(frame), m_doc(doc), m_bDeviceWindow(bDeviceWindow)
{
    setObjectName(bDeviceWindow ? QStringLiteral("DeviceView") : QStringLiteral("TableView"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_rightView = new CSalvixRightView(frame, !bDeviceWindow);
    m_leftView = new CSalvixLeftView(frame, m_rightView, bDeviceWindow, activeTree);
    m_splitter->addWidget(m_leftView);
    m_splitter->addWidget(m_rightView);
    // A table window's tree lists only columns: its record list and page
    // pane get the room.
    m_splitter->setSizes(bDeviceWindow ? QList<int>{400, 500} : QList<int>{240, 760});
    layout->addWidget(m_splitter);
}

CSalvixLeftTreeCtrl* CChildFrame::LeftTree() const
{
    return m_leftView->Tree();
}

bool CChildFrame::OnChildCommand(UINT nID)
{
    switch (nID) {
    case ID_CLOSE_TAB:
        if (m_bDeviceWindow)
            return false;
        if (QWidget* window = parentWidget())
            window->close();
        else
            close();
        return true;
    case ID_OPEN_DATABASE:
        // Only the device window lists databases.
        return m_bDeviceWindow && LeftTree()->OnCommand(nID);
    default:
        return LeftTree()->OnCommand(nID);
    }
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    // The device window lives as long as the program.
    if (m_bDeviceWindow) {
        event->ignore();
        return;
    }
    const std::int64_t tableId = LeftTree()->Job()->m_nTableId;
    if (m_pMainFrame != nullptr && tableId != 0)
        m_pMainFrame->m_openTables.erase(tableId);
    // A job of this window still running is asked to stop; it keeps its
    // context and its view steps find no window.
    CJobControl::RequestStop(*LeftTree()->Job());
    event->accept();
}
