// A child window (one tab of the main frame): a splitter with the left
// view (tree) and the right view (property or record list). The first is
// the device window, every later one a table window. The child also keeps
// the main menu and toolbar in step with the active tab.
#pragma once

#include <QWidget>
#include <cstdint>

#include "ChildCommandTarget.h"
#include "SalvixDoc.h"

class CMainFrame;
class CSalvixLeftTreeCtrl;
class CSalvixLeftView;
class CSalvixRightView;
class QMdiSubWindow;
class QSplitter;

class CChildFrame : public QWidget, public CChildCommandTarget {
    Q_OBJECT
public:
    // The new-document command: a document named by CSalvixDoc in a new
    // child window, added to `frame` as the active tab.
    static QMdiSubWindow* NewDocument(CMainFrame& frame, std::int32_t& nDocCount);
    // Shows the record menu and the check-mark buttons while a table window
    // is active, the device menu and its buttons otherwise.
    static void UpdateFrameMenu(CMainFrame& frame);

    CChildFrame(CMainFrame* frame, const CSalvixDoc& doc, bool bDeviceWindow,
                CSalvixLeftTreeCtrl* activeTree, QWidget* parent = nullptr);

    bool IsDeviceWindow() const { return m_bDeviceWindow; }
    const CSalvixDoc& Document() const { return m_doc; }
    CSalvixLeftView* LeftView() const { return m_leftView; }
    CSalvixLeftTreeCtrl* LeftTree() const;
    CSalvixRightView* RightView() const { return m_rightView; }

    bool OnChildCommand(UINT nID) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CMainFrame* m_pMainFrame = nullptr;
    CSalvixDoc m_doc;
    bool m_bDeviceWindow = false;
    QSplitter* m_splitter = nullptr;
    CSalvixLeftView* m_leftView = nullptr;
    CSalvixRightView* m_rightView = nullptr;
};
