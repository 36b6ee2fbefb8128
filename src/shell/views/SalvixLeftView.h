// The left half of a child window: hosts the tree and lays it out. In the
// device window the tree has four columns (two shown, the identifier and
// type columns hidden); in a table window one column, and the window takes
// the device tree's selected table and starts reading it.
#pragma once

#include <QWidget>

class CMainFrame;
class CSalvixLeftTreeCtrl;
class CSalvixRightView;

class CSalvixLeftView : public QWidget {
    Q_OBJECT
public:
    // `deviceTree` is the tree of the window active before this one (the
    // device window when a double click opens a table); unused for the
    // device window itself.
    CSalvixLeftView(CMainFrame* frame, CSalvixRightView* rightView, bool bDeviceWindow,
                    CSalvixLeftTreeCtrl* deviceTree, QWidget* parent = nullptr);

    CSalvixLeftTreeCtrl* Tree() const { return m_tree; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CSalvixLeftTreeCtrl* m_tree = nullptr;
};
