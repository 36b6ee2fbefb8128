// The log pane: rows and their colours, the 1500-row reset, clearing,
// saving, column widths, the popup rule, and log lines sent by a worker.
#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <thread>

#include "OutputWnd.h"
#include "engine/LogPost.h"

namespace {

QString Cell(COutputWnd& wnd, int row, int column)
{
    return wnd.List()->GetItemText(row, column);
}

void Log(COutputWnd& wnd, std::u16string_view caption, std::u16string_view text, std::uint8_t type)
{
    PostLog(wnd.GetLogWnd(), caption, text, type);
}

QByteArray Utf16Le(const QString& text)
{
    QByteArray bytes;
    for (const QChar unit : text) {
        bytes.append(static_cast<char>(unit.unicode() & 0xFF));
        bytes.append(static_cast<char>(unit.unicode() >> 8));
    }
    return bytes;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Counts handled messages and notes the thread each ran on.
class CountingOutputWnd : public COutputWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (QThread::currentThread() != thread())
            wrongThread = true;
        const LRESULT result = COutputWnd::WindowProc(message, wParam, lParam);
        handled.fetch_add(1);
        return result;
    }
    std::atomic<int> handled{0};
    std::atomic<bool> wrongThread{false};
};

const QRegularExpression kTimeStamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$"));

}  // namespace

class OutputWndTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithBannerRow();
    void rowTakesCaptionTimeTextAndTypeColour();
    void typeColoursInEveryCell();
    void resetsAtFifteenHundredRows();
    void resetCountsFromZeroAfterClear();
    void clearRemovesBannerToo();
    void savesEmptyLogAsByteOrderMarkOnly();
    void savesRowsAsUtf16Lines();
    void saveToUnwritablePathFailsQuietly();
    void columnsFollowPaneWidth();
    void popupOnlyWithSelection();
    void workerLinesArriveInOrderWhileWorkerWaits();
    void colourRequestsOutsideTheListAreIgnored();
};

void OutputWndTest::startsWithBannerRow()
{
    COutputWnd wnd;
    QCOMPARE(wnd.LogCount(), 1);
    QCOMPARE(wnd.List()->GetItemCount(), 1);
    QCOMPARE(wnd.windowTitle(), QString::fromUtf16(u"输出"));
    QCOMPARE(Cell(wnd, 0, 0), QStringLiteral("SalvixForSqlite"));
    QVERIFY(kTimeStamp.match(Cell(wnd, 0, 1)).hasMatch());
    QCOMPARE(Cell(wnd, 0, 2), QString::fromUtf16(u"Quorvel软件手机恢复版本"));
    QCOMPARE(wnd.List()->GetItemTextColor(0, 0), 0x000000u);
    // The pane can be neither closed nor floated.
    QVERIFY(!(wnd.features() & QDockWidget::DockWidgetClosable));
    QVERIFY(!(wnd.features() & QDockWidget::DockWidgetFloatable));
    const CColorListModel* model = wnd.List()->Model();
    QCOMPARE(model->columnCount(), 3);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString::fromUtf16(u"类型"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QString::fromUtf16(u"日期"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QString::fromUtf16(u"提示"));
}

void OutputWndTest::rowTakesCaptionTimeTextAndTypeColour()
{
    COutputWnd wnd;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    Log(wnd, u"error", u"打开/创建设备/x.db失败", kLogError);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    QCOMPARE(wnd.LogCount(), 2);
    QCOMPARE(Cell(wnd, 1, 0), QStringLiteral("error"));
    QCOMPARE(Cell(wnd, 1, 2), QString::fromUtf16(u"打开/创建设备/x.db失败"));
    const QDateTime stamp =
        QDateTime::fromString(Cell(wnd, 1, 1), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY(stamp.isValid());
    QVERIFY(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after);
}

void OutputWndTest::typeColoursInEveryCell()
{
    COutputWnd wnd;
    QAbstractItemModelTester tester(wnd.List()->Model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    const struct {
        std::uint8_t type;
        QColor color;
    } cases[] = {
        {0, QColor(0, 0, 0)},     {1, QColor(0, 255, 0)},   {2, QColor(200, 65, 20)},
        {3, QColor(255, 0, 0)},   {4, QColor(0, 0, 0)},     {255, QColor(0, 0, 0)},
    };
    for (const auto& c : cases)
        Log(wnd, u"caption", u"text", c.type);
    const CColorListModel* model = wnd.List()->Model();
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        for (int column = 0; column < 3; ++column) {
            const QColor shown = model->data(model->index(i + 1, column), Qt::ForegroundRole)
                                     .value<QColor>();
            QCOMPARE(shown, cases[i].color);
            QCOMPARE(model->data(model->index(i + 1, column), Qt::BackgroundRole).value<QColor>(),
                     QColor(Qt::white));
        }
    }
    QCOMPARE(wnd.List()->GetItemTextColor(3, 2), 0x1441C8u);
    QCOMPARE(wnd.List()->GetItemTextColor(4, 0), 0x0000FFu);
}

void OutputWndTest::resetsAtFifteenHundredRows()
{
    COutputWnd wnd;
    QAbstractItemModelTester tester(wnd.List()->Model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    // The banner is row 0, so the 1499th entry fills row 1499 and resets.
    for (int i = 1; i <= 1498; ++i)
        Log(wnd, u"Scan", u"line", kLogInfo);
    QCOMPARE(wnd.List()->GetItemCount(), 1499);
    QCOMPARE(wnd.LogCount(), 1499);
    Log(wnd, u"Scan", u"the 1499th", kLogInfo);
    QCOMPARE(wnd.List()->GetItemCount(), 0);
    QCOMPARE(wnd.LogCount(), 0);
    Log(wnd, u"warning", u"after the reset", kLogWarning);
    QCOMPARE(wnd.List()->GetItemCount(), 1);
    QCOMPARE(Cell(wnd, 0, 2), QStringLiteral("after the reset"));
    QCOMPARE(wnd.List()->GetItemTextColor(0, 1), 0x1441C8u);
}

void OutputWndTest::resetCountsFromZeroAfterClear()
{
    COutputWnd wnd;
    wnd.OnClearLog();
    for (int i = 1; i <= 1499; ++i)
        Log(wnd, u"Scan", u"line", kLogInfo);
    QCOMPARE(wnd.List()->GetItemCount(), 1499);
    Log(wnd, u"Scan", u"the 1500th", kLogInfo);
    QCOMPARE(wnd.List()->GetItemCount(), 0);
    QCOMPARE(wnd.LogCount(), 0);
}

void OutputWndTest::clearRemovesBannerToo()
{
    COutputWnd wnd;
    Log(wnd, u"normal", u"one", kLogInfo);
    wnd.OnClearLog();
    QCOMPARE(wnd.List()->GetItemCount(), 0);
    QCOMPARE(wnd.LogCount(), 0);
    Log(wnd, u"error", u"first after clear", kLogError);
    QCOMPARE(wnd.List()->GetItemCount(), 1);
    QCOMPARE(Cell(wnd, 0, 0), QStringLiteral("error"));
    QCOMPARE(wnd.List()->GetItemTextColor(0, 0), 0x0000FFu);
}

void OutputWndTest::savesEmptyLogAsByteOrderMarkOnly()
{
    QTemporaryDir dir;
    COutputWnd wnd;
    wnd.OnClearLog();
    const QString path = dir.filePath(QStringLiteral("empty.log"));
    QVERIFY(wnd.SaveLogTo(path));
    QCOMPARE(ReadAll(path), QByteArray("\xFF\xFE", 2));
}

void OutputWndTest::savesRowsAsUtf16Lines()
{
    QTemporaryDir dir;
    COutputWnd wnd;
    wnd.OnClearLog();
    TFColorListCtrl* list = wnd.List();
    list->InsertRow(0, QStringLiteral("error"));
    list->SetItemText(0, 1, QStringLiteral("2013-11-10 20:12:16"));
    list->SetItemText(0, 2, QStringLiteral("x"));
    const QString path = dir.filePath(QStringLiteral("one.log"));
    QVERIFY(wnd.SaveLogTo(path));
    QCOMPARE(ReadAll(path),
             QByteArray("\xFF\xFE", 2) + Utf16Le(QStringLiteral("error\t2013-11-10 20:12:16\tx\r\n")));

    // Overwriting truncates; the banner, when present, is the first line;
    // Chinese text is written as its UTF-16 code units.
    COutputWnd fresh;
    Log(fresh, u"warning", u"数据库", kLogWarning);
    QVERIFY(fresh.SaveLogTo(path));
    const QString expected = QStringLiteral("SalvixForSqlite\t") + Cell(fresh, 0, 1) +
                             QString::fromUtf16(u"\tQuorvel软件手机恢复版本\r\nwarning\t") +
                             Cell(fresh, 1, 1) + QString::fromUtf16(u"\t数据库\r\n");
    QCOMPARE(ReadAll(path), QByteArray("\xFF\xFE", 2) + Utf16Le(expected));
}

void OutputWndTest::saveToUnwritablePathFailsQuietly()
{
    COutputWnd wnd;
    QVERIFY(!wnd.SaveLogTo(QStringLiteral("/nonexistent-dir/x/salvix.log")));
    QCOMPARE(wnd.List()->GetItemCount(), 1);
}

void OutputWndTest::columnsFollowPaneWidth()
{
    COutputWnd wnd;
    wnd.resize(640, 300);
    wnd.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wnd));
    TFColorListCtrl* list = wnd.List();
    list->resize(800, 200);
    QCOMPARE(list->columnWidth(0), 200);
    QCOMPARE(list->columnWidth(1), 200);
    QCOMPARE(list->columnWidth(2), 400);
    list->resize(803, 200);  // truncated divisions
    QCOMPARE(list->columnWidth(0), 200);
    QCOMPARE(list->columnWidth(2), 401);
    // Through the pane itself: the list fills it and the columns follow.
    wnd.resize(1000, 300);
    QTRY_COMPARE(list->columnWidth(2), list->width() / 2);
    QCOMPARE(list->columnWidth(0), list->width() / 4);
    QVERIFY(list->width() > 803);
}

void OutputWndTest::popupOnlyWithSelection()
{
    COutputWnd wnd;
    QVERIFY(wnd.CreateLogMenu() == nullptr);
    wnd.List()->selectRow(0);
    std::unique_ptr<QMenu> menu = wnd.CreateLogMenu();
    QVERIFY(menu != nullptr);
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions[0]->text(), QString::fromUtf16(u"清除日志"));
    QCOMPARE(actions[0]->data().toUInt(), 32820u);
    QCOMPARE(actions[1]->text(), QString::fromUtf16(u"保存日志"));
    QCOMPARE(actions[1]->data().toUInt(), 32824u);
    actions[0]->trigger();
    QCOMPARE(wnd.List()->GetItemCount(), 0);
    QVERIFY(wnd.CreateLogMenu() == nullptr);
}

void OutputWndTest::workerLinesArriveInOrderWhileWorkerWaits()
{
    CountingOutputWnd wnd;
    constexpr int kLines = 300;
    std::atomic<bool> notYetHandled{false};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) {
            // The record and its texts live on this stack only during the send.
            const std::u16string text = u"line " + std::u16string(QString::number(i).toStdU16String());
            PostLog(wnd.GetLogWnd(), u"Analysis", text, kLogInfo);
            if (wnd.handled.load() != i + 1)
                notYetHandled = true;
        }
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
    worker.join();
    QVERIFY(!notYetHandled.load());
    QVERIFY(!wnd.wrongThread.load());
    QCOMPARE(wnd.List()->GetItemCount(), kLines + 1);
    for (int i = 0; i < kLines; ++i)
        QCOMPARE(Cell(wnd, i + 1, 2), QStringLiteral("line %1").arg(i));
}

void OutputWndTest::colourRequestsOutsideTheListAreIgnored()
{
    COutputWnd wnd;
    TFColorListCtrl* list = wnd.List();
    list->SetItemTextColor(-1, 0, 0x0000FF);
    list->SetItemTextColor(1, 0, 0x0000FF);
    list->SetItemTextColor(0, 3, 0x0000FF);
    QCOMPARE(list->GetItemTextColor(0, 0), 0x000000u);
    // Colouring column 2 alone leaves columns 0 and 1 black.
    list->SetItemTextColor(0, 2, 0x00FF00);
    QCOMPARE(list->GetItemTextColor(0, 0), 0x000000u);
    QCOMPARE(list->GetItemTextColor(0, 2), 0x00FF00u);
    QCOMPARE(list->InsertRow(99, QStringLiteral("end")), 1);  // clamped to the end
}

QTEST_MAIN(OutputWndTest)
#include "OutputWndTest.moc"
