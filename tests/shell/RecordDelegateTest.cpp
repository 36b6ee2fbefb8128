// The record list's delegate draws a plain cell's check box from a picture
// the style drew once: every pixel of such a cell, checked, unchecked and
// partly checked, is the style's own.
#include <QApplication>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

#include "RecordDelegate.h"

class RecordDelegateTest : public QObject {
    Q_OBJECT
private slots:
    void plainCheckBoxesHaveTheStylesPixels();
};

void RecordDelegateTest::plainCheckBoxesHaveTheStylesPixels()
{
    const Qt::CheckState states[] = {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    QStandardItemModel model(3, 2);
    for (int row = 0; row < 3; ++row) {
        auto* check = new QStandardItem();
        check->setCheckable(true);
        check->setCheckState(states[row]);
        model.setItem(row, 0, check);
        model.setItem(row, 1, new QStandardItem(QStringLiteral("%1").arg(row)));
    }
    QTableView view;
    view.setModel(&model);
    view.setWordWrap(false);  // as the record list
    view.resize(300, 200);
    view.show();
    // No current cell: a focused cell would go to the style either way.
    view.setCurrentIndex(QModelIndex());
    QStyledItemDelegate styled;
    CRecordDelegate record;
    QList<QImage> cells[2];
    for (int pass = 0; pass < 2; ++pass) {
        view.setItemDelegate(pass == 0 ? static_cast<QAbstractItemDelegate*>(&styled) : &record);
        const QImage shot = view.viewport()->grab().toImage();
        for (int row = 0; row < 3; ++row)
            cells[pass].append(shot.copy(view.visualRect(model.index(row, 0))));
    }
    for (int row = 0; row < 3; ++row) {
        QVERIFY(!cells[0][row].isNull());
        QVERIFY2(cells[0][row] == cells[1][row], qPrintable(QStringLiteral("row %1").arg(row)));
    }
    // The three states do not look alike: the comparison sees the mark.
    QVERIFY(cells[0][0] != cells[0][1] && cells[0][1] != cells[0][2]);
}

QTEST_MAIN(RecordDelegateTest)
#include "RecordDelegateTest.moc"
