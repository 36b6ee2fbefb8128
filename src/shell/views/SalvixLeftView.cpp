#include "SalvixLeftView.h"

#include <QResizeEvent>
#include <QVBoxLayout>

#include "SalvixLeftTreeCtrl.h"

namespace {

constexpr int kInitialWidth = 400;

}  // namespace

CSalvixLeftView::CSalvixLeftView(CMainFrame* frame, CSalvixRightView* rightView, bool bDeviceWindow,
                                 CSalvixLeftTreeCtrl* deviceTree, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tree = new CSalvixLeftTreeCtrl(frame, rightView, this);
    layout->addWidget(m_tree);
    const int width = kInitialWidth;
    if (bDeviceWindow) {
        m_tree->m_bDeviceTree = true;
        for (const char16_t* caption : {u"对象名称", u"对象属性", u"ADDR", u"type"})
            m_tree->InsertColumn(QString::fromUtf16(caption));
        m_tree->SetColumnWidth(0, width / 2);
        m_tree->SetColumnWidth(1, width / 2);
        m_tree->SetColumnWidth(2, 0);
        m_tree->SetColumnWidth(3, 0);
        return;  // empty until the first open
    }
    m_tree->InsertColumn(QString::fromUtf16(u"库表信息"));
    m_tree->SetColumnWidth(0, width);
    // Without a table selected in the device tree the window stays empty.
    m_tree->InitTableWindow(deviceTree);
}

void CSalvixLeftView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = event->size().width();
    if (m_tree->GetColumnCount() == 4) {
        m_tree->SetColumnWidth(0, w / 2);
        m_tree->SetColumnWidth(1, w - w / 2);
    } else if (m_tree->GetColumnCount() == 1) {
        m_tree->SetColumnWidth(0, w);
    }
}
