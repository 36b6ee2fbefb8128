// The desktop road of a database: the open job fills the device tree and
// the property list, a double click opens a table window that reads the
// table, a click shows the records; the busy rule, check marks, the menu
// switch, a stopped fill and a window closed while its job runs.
#include <QAbstractItemModelTester>
#include <filesystem>
#include <QClipboard>
#include <QCryptographicHash>
#include <QFile>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "DesktopFixture.h"
#include "CaseReportDlg.h"
#include "ChildFrame.h"
#include "MainFrame.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "SalvixRightView.h"
#include "ShellResources.h"
#include "driver/DbEntries.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"

namespace {

const QString kSample = QStringLiteral(SALVIX_SOURCE_DIR "/samples/phone.db");

QString Log(COutputWnd* log, int row)
{
    return log->List()->GetItemText(row, 0) + u'|' + log->List()->GetItemText(row, 2);
}

}  // namespace

class DeviceJobsTest : public CDesktopFixture {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void documentTitles();
    void openFillsTreeAndProperties();
    void busyRefusalChangesNothing();
    void doubleClickRules();
    void recordListShowsRowsLastReadFirst();
    void checkAllThenUncheckSelected();
    void menuFollowsActiveTab();
    void stoppedFillKeepsWhatItShowed();
    void closingWindowWhileItsJobRuns();
    void headerClicksSortThenReverseThenRestore();
    void heldNumbersAndBlobsSortAsTheyShow();
    void longListsSortAsShortOnesDo();
    void walOpensWhatTheLogCommitted();
    void openByTheNameBytesGiven();
    void caseReportHoldsHashesCheckedRecordsAndLog();

private:
    CSalvixLeftTreeCtrl* DeviceTree() const { return Child(0)->LeftTree(); }
    void Open(const QString& path);
    CChildFrame* OpenTable(const QString& name);
    void Click(CSalvixLeftTreeCtrl* tree, CSalvixCtrlItem item);
    void DoubleClick(CSalvixLeftTreeCtrl* tree, CSalvixCtrlItem item);
    CSalvixCtrlItem TableItem(const QString& name) const;
    // Writes a database at `path` with sqlite3 from `sql`.
    static void WriteDb(const QString& path, const QString& sql);
    int LogCount() const { return m_frame->OutputWnd()->LogCount(); }

    QStringList m_boxes;
    QTemporaryDir m_dir;
    QString m_bigDb;  // 5000 rows, for jobs long enough to interrupt
};

void DeviceJobsTest::initTestCase()
{
    InitShellResources();
    CSalvixLeftTreeCtrl::s_messageBox = [this](QWidget*, const QString& text) { m_boxes << text; };
    m_bigDb = m_dir.filePath(QStringLiteral("big.db"));
    WriteDb(m_bigDb, QStringLiteral("PRAGMA page_size=1024; CREATE TABLE t(a INTEGER, b TEXT);"
                                    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 "
                                    "FROM c WHERE x<5000) INSERT INTO t SELECT x, "
                                    "printf('row %d', x) FROM c;"));
}

void DeviceJobsTest::WriteDb(const QString& path, const QString& sql)
{
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {path, sql});
    QVERIFY(sqlite.waitForFinished(30000));
    QCOMPARE(sqlite.exitCode(), 0);
}

void DeviceJobsTest::init()
{
    CreateFrame();
    QVERIFY(m_frame != nullptr);
    m_frame->m_strNewTableTitle = u"not the device";
    QVERIFY(CChildFrame::NewDocument(*m_frame, m_nDocCount) != nullptr);
    m_frame->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    m_boxes.clear();
}

void DeviceJobsTest::cleanup()
{
    WaitIdle();
    m_frame.reset();
    g_dbList.clear();
    g_bStop = 0;
    g_bBusy = 0;
}

void DeviceJobsTest::Open(const QString& path)
{
    QVERIFY(DeviceTree()->OpenDatabasePath(path));
    WaitIdle();
}

CSalvixCtrlItem DeviceJobsTest::TableItem(const QString& name) const
{
    CSalvixLeftTreeCtrl* tree = DeviceTree();
    for (CSalvixCtrlItem top = tree->GetChildItem(SCI_ROOT); top; top = tree->GetNextItem(top))
        for (CSalvixCtrlItem item = tree->GetChildItem(top); item; item = tree->GetNextItem(item))
            if (tree->GetItemText(item, 0) == name)
                return item;
    return nullptr;
}

void DeviceJobsTest::Click(CSalvixLeftTreeCtrl* tree, CSalvixCtrlItem item)
{
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->ItemPoint(item));
}

void DeviceJobsTest::DoubleClick(CSalvixLeftTreeCtrl* tree, CSalvixCtrlItem item)
{
    // A widget's double click in QTest has no press of its own.
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->ItemPoint(item));
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->ItemPoint(item));
}

CChildFrame* DeviceJobsTest::OpenTable(const QString& name)
{
    const int before = static_cast<int>(m_frame->MdiArea()->subWindowList().size());
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    DoubleClick(DeviceTree(), TableItem(name));
    WaitIdle();
    return m_frame->MdiArea()->subWindowList().size() > before ? Child(before) : nullptr;
}

void DeviceJobsTest::documentTitles()
{
    // Device first whatever the next table title holds; later ones take it.
    QCOMPARE(Child(0)->Document().GetTitle(), QStringLiteral("Device"));
    std::int32_t count = 1;
    CSalvixDoc second;
    QVERIFY(second.OnNewDocument(count, u"messages"));
    QCOMPARE(second.GetTitle(), QStringLiteral("messages"));
    QCOMPARE(count, 2);
}

void DeviceJobsTest::openFillsTreeAndProperties()
{
    Open(kSample);
    QCOMPARE(g_dbList.size(), std::size_t{1});
    const DbInfo& db = g_dbList.front();
    CSalvixLeftTreeCtrl* tree = DeviceTree();
    CSalvixCtrlItem top = tree->GetChildItem(SCI_ROOT);
    QVERIFY(top != nullptr && tree->GetNextItem(top) == nullptr);
    QCOMPARE(tree->GetItemText(top, 0), QFileInfo(kSample).absoluteFilePath());
    QVERIFY(tree->GetItemText(top, 1).endsWith(QStringLiteral("--表数: %1").arg(db.tableCount)));
    QCOMPARE(tree->GetItemText(top, 2).toLongLong(), EntryId(db));
    QVERIFY(tree->isColumnHidden(2) && tree->isColumnHidden(3) && !tree->isColumnHidden(1));
    QVERIFY(tree->isExpanded(tree->Model()->IndexOf(top)));
    QStringList names;
    for (CSalvixCtrlItem item = tree->GetChildItem(top); item; item = tree->GetNextItem(item))
        names << tree->GetItemText(item, 0);
    QStringList expected;
    for (const TableInfo& table : db.tables)
        expected << QString::fromStdU16String(table.name);
    QCOMPARE(names, expected);
    // The stage lines, in order, then the property rows of a click.
    QStringList lines;
    for (int row = 1; row < LogCount(); ++row)
        lines << Log(m_frame->OutputWnd(), row);
    const QString path = QFileInfo(kSample).absoluteFilePath();
    QCOMPARE(lines.first(), QStringLiteral("Analysis|Analyse db: ") + path + QStringLiteral(",please wait..."));
    QVERIFY(lines.contains(QStringLiteral("View|View: ") + path + QStringLiteral(" ,please wait...")));
    QCOMPARE(lines.last(), QStringLiteral("Analysis and View|") + path + QStringLiteral(" Analyse db and View completed"));

    QTableView* list = Child(0)->RightView()->List();
    Click(tree, top);
    QCOMPARE(list->model()->rowCount(), 4 + 3);
    QCOMPARE(list->model()->index(0, 1).data().toString(), path);
    QCOMPARE(list->model()->index(2, 0).data().toString(), QString::fromUtf16(u"页大小"));
    // The hashes the open took, against Qt's own digests of the file.
    QFile file(kSample);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QCryptographicHash::Algorithm kinds[] = {QCryptographicHash::Md5, QCryptographicHash::Sha1,
                                                   QCryptographicHash::Sha256};
    for (int i = 0; i < 3; ++i)
        QCOMPARE(list->model()->index(4 + i, 1).data().toString(),
                 QString::fromLatin1(QCryptographicHash::hash(bytes, kinds[i]).toHex()));
    QVERIFY(lines.contains(QStringLiteral("Hash|") + path + QStringLiteral(": %1 bytes, MD5 ").arg(bytes.size()) +
                           list->model()->index(4, 1).data().toString() + QStringLiteral(", SHA-1 ") +
                           list->model()->index(5, 1).data().toString() + QStringLiteral(", SHA-256 ") +
                           list->model()->index(6, 1).data().toString()));
    Click(tree, TableItem(QStringLiteral("messages")));
    QCOMPARE(list->model()->index(0, 1).data().toString(), QStringLiteral("messages"));
    QVERIFY(list->model()->index(3, 1).data().toString().startsWith(QStringLiteral("_id  thread_id  ")));
}

void DeviceJobsTest::busyRefusalChangesNothing()
{
    Open(kSample);
    CSalvixLeftTreeCtrl* tree = DeviceTree();
    CSalvixCtrlItem top = tree->GetChildItem(SCI_ROOT);
    g_bBusy = 1;
    const int before = LogCount();
    QVERIFY(!tree->OpenDatabasePath(kSample));
    QCOMPARE(LogCount(), before + 1);
    QCOMPARE(Log(m_frame->OutputWnd(), before),
             QStringLiteral("warning|The other threads is working,please wait..."));
    QCOMPARE(g_dbList.size(), std::size_t{1});
    QCOMPARE(tree->GetChildItem(SCI_ROOT), top);
    QVERIFY(tree->ProgressDlg() == nullptr || !tree->ProgressDlg()->isVisible());
    // The double click says it in a box, and opens nothing.
    DoubleClick(tree, TableItem(QStringLiteral("calls")));
    QCOMPARE(m_boxes, QStringList{QString::fromUtf16(u"其他作业正在进行，请稍等...")});
    QCOMPARE(m_frame->MdiArea()->subWindowList().size(), 1);
    g_bBusy = 0;
}

void DeviceJobsTest::doubleClickRules()
{
    Open(kSample);
    CChildFrame* window = OpenTable(QStringLiteral("calls"));
    QVERIFY(window != nullptr);
    QCOMPARE(m_frame->MdiArea()->subWindowList().last()->windowTitle(), QStringLiteral("calls"));
    QCOMPARE(m_frame->m_openTables.size(), std::size_t{1});
    QVERIFY(OpenTable(QStringLiteral("calls")) == nullptr);
    QCOMPARE(m_boxes, QStringList{QString::fromUtf16(u"此表已经被解析")});

    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().last());
    m_frame->OnCommand(ID_CLOSE_TAB);
    QTRY_COMPARE(m_frame->MdiArea()->subWindowList().size(), 1);
    QVERIFY(m_frame->m_openTables.empty());
    QCOMPARE(m_frame->m_nActiveTab, 0);
    QVERIFY(OpenTable(QStringLiteral("calls")) != nullptr);

    // A database item opens nothing but still names the next table window.
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    DoubleClick(DeviceTree(), DeviceTree()->GetChildItem(SCI_ROOT));
    QCOMPARE(m_frame->MdiArea()->subWindowList().size(), 2);
    QCOMPARE(m_frame->m_strNewTableTitle, QFileInfo(kSample).absoluteFilePath().toStdU16String());
}

void DeviceJobsTest::recordListShowsRowsLastReadFirst()
{
    Open(kSample);
    CChildFrame* window = OpenTable(QStringLiteral("messages"));
    QVERIFY(window != nullptr);
    CSalvixLeftTreeCtrl* tree = window->LeftTree();
    const auto& rows = tree->Job()->m_parser.m_rows;
    const TableInfo& table = *tree->Job()->m_pSelTable;
    QCOMPARE(tree->GetItemText(tree->GetChildItem(SCI_ROOT), 0),
             QStringLiteral("messages: %1 条记录").arg(rows.size()));
    CRecordListModel* model = window->RightView()->Records();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    Click(tree, tree->GetChildItem(SCI_ROOT));
    WaitIdle();
    const int n = static_cast<int>(rows.size());
    QVERIFY(n > 1);
    // The live rows, then the recovered ones; the table's columns, then
    // state, page, offset and frame.
    QCOMPARE(model->rowCount(), n + static_cast<int>(tree->Job()->m_tableRows.RecoveredCount()));
    QCOMPARE(model->TableColumnCount(), static_cast<int>(table.columns.size()));
    QCOMPARE(model->columnCount(), static_cast<int>(table.columns.size()) + 4);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < model->TableColumnCount(); ++c)
            QCOMPARE(model->index(r, c).data().toString(),
                     QString::fromStdU16String(rows[n - 1 - r].Wide(c)));
    // A second click finds the list filled and starts nothing.
    const int lines = LogCount();
    Click(tree, tree->GetChildItem(SCI_ROOT));
    QCOMPARE(LogCount(), lines);
}

void DeviceJobsTest::checkAllThenUncheckSelected()
{
    Open(kSample);
    CChildFrame* window = OpenTable(QStringLiteral("messages"));
    QVERIFY(window != nullptr);
    QVERIFY(window->LeftTree()->ShowRecords());
    WaitIdle();
    CSalvixRightView* view = window->RightView();
    m_frame->OnCommand(ID_CHECK_ALL);  // main menu, through the active child's tree
    view->List()->selectRow(1);
    view->List()->selectionModel()->select(view->Records()->index(3, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(view->OnCommand(ID_RECORD_UNCHECK_SELECTED));
    for (int row = 0; row < view->GetItemCount(); ++row)
        QCOMPARE(view->Records()->IsChecked(row), row != 1 && row != 3);
    m_frame->OnCommand(ID_UNCHECK_ALL);
    for (int row = 0; row < view->GetItemCount(); ++row)
        QVERIFY(!view->Records()->IsChecked(row));
}

void DeviceJobsTest::menuFollowsActiveTab()
{
    Open(kSample);
    QVERIFY(OpenTable(QStringLiteral("calls")) != nullptr);
    QCOMPARE(m_frame->ShownMenu(), IDR_RECORD_MENU);
    QVERIFY(m_frame->ToolBarAction(ID_CHECK_ALL)->isVisible());
    QVERIFY(!m_frame->ToolBarAction(ID_OPEN_DATABASE)->isVisible());
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    QCOMPARE(m_frame->ShownMenu(), IDR_DEVICE_MENU);
    QVERIFY(m_frame->ToolBarAction(ID_STOP)->isVisible());
    QVERIFY(!m_frame->ToolBarAction(ID_UNCHECK_ALL)->isVisible());
}

void DeviceJobsTest::stoppedFillKeepsWhatItShowed()
{
    Open(m_bigDb);
    CChildFrame* window = OpenTable(QStringLiteral("t"));
    QVERIFY(window != nullptr);
    const auto& rows = window->LeftTree()->Job()->m_parser.m_rows;
    QCOMPARE(rows.size(), std::size_t{5000});
    CRecordListModel* model = window->RightView()->Records();
    // Stop pressed while the first batch is being shown.
    connect(model, &QAbstractItemModel::rowsInserted, this, [] { g_bStop = 1; });
    QVERIFY(window->LeftTree()->ShowRecords());
    WaitIdle();
    const int shown = model->rowCount();
    QVERIFY(shown > 0 && shown < 5000);
    QCOMPARE(model->Text(0, 1), QString::fromStdU16String(rows[shown - 1].Wide(1)));
    QVERIFY(Log(m_frame->OutputWnd(), LogCount() - 1).endsWith(QStringLiteral("t Show table record completed")));
    QCOMPARE(g_bBusy.load(), 0u);
}

void DeviceJobsTest::closingWindowWhileItsJobRuns()
{
    Open(m_bigDb);
    // Closed before its job could post its first line: the worker is still
    // running and finishes with the window gone.
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    DeviceTree()->SelectItem(TableItem(QStringLiteral("t")));
    DeviceTree()->OpenTableWindow(TableItem(QStringLiteral("t")));
    QCOMPARE(m_frame->MdiArea()->subWindowList().size(), 2);
    QCOMPARE(g_bBusy.load(), 1u);
    m_frame->OnCommand(ID_CLOSE_TAB);
    QTRY_COMPARE(m_frame->MdiArea()->subWindowList().size(), 1);
    QVERIFY(m_frame->m_openTables.empty());
    WaitIdle();
    QCOMPARE(g_bBusy.load(), 0u);
    QVERIFY(Log(m_frame->OutputWnd(), LogCount() - 1).endsWith(QStringLiteral("Analyse table and View completed")));

    // The same while the records are being shown.
    CChildFrame* window = OpenTable(QStringLiteral("t"));
    QVERIFY(window != nullptr);
    QVERIFY(window->LeftTree()->ShowRecords());
    m_frame->OnCommand(ID_CLOSE_TAB);
    QTRY_COMPARE(m_frame->MdiArea()->subWindowList().size(), 1);
    WaitIdle();
    QCOMPARE(g_bBusy.load(), 0u);
}

void DeviceJobsTest::headerClicksSortThenReverseThenRestore()
{
    // Rows as read; the list shows them last read first.
    const std::vector<std::string> keys = {"10", "9", "-1.5", "x", "", "9", "\U0001F600", "\uFF01",
                                           "abcdefghz", "abcdefgh", "abcdefghA"};
    auto job = std::make_shared<CJobContext>();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string id = std::to_string(i);
        job->m_parser.m_rows.emplace_back(keys[i] + id,
                                          std::vector<std::uint32_t>{std::uint32_t(keys[i].size()),
                                                                     std::uint32_t(keys[i].size() + id.size())});
    }
    TableInfo table;
    table.columns = {{u"key", u""}, {u"id", u""}};
    CSalvixRightView view(m_frame.get(), true);
    view.SetupRecordColumns(job, table);
    view.ShowRecordRows(keys.size());
    QSignalSpy applied(&view, &CSalvixRightView::SortApplied);
    const auto ids = [&] {
        QString order;
        for (int row = 0; row < view.GetItemCount(); ++row)
            order += view.Records()->Text(row, 1);
        return order;
    };
    QCOMPARE(ids(), QStringLiteral("109876543210"));
    // Empty first, numbers by value (equal ones in shown order), then text
    // by code point: U+FF01 before U+1F600, and texts sharing their first
    // eight bytes by what follows.
    const QString expected[] = {QStringLiteral("425109108376"), QStringLiteral("673810905124"),
                                QStringLiteral("109876543210")};
    for (int click = 0; click < 3; ++click) {
        view.OnHeaderClicked(0);
        QTRY_COMPARE(applied.size(), click + 1);
        QCOMPARE(ids(), expected[click]);
    }
    // Ctrl+C copies the selected rows, tab-separated, in the shown order.
    view.List()->selectRow(0);
    view.List()->selectionModel()->select(view.Records()->index(2, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view.CopySelection();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("abcdefghA\t10\t\t\t\t\nabcdefghz\t8\t\t\t\t\n"));
}

void DeviceJobsTest::heldNumbersAndBlobsSortAsTheyShow()
{
    // The window holds numbers and blobs packed: blobs sharing their first
    // four bytes (eight hexadecimal digits) are told apart by the rest, and
    // numbers sort by value whatever their storage.
    const QString db = m_dir.filePath(QStringLiteral("held.db"));
    WriteDb(db, QStringLiteral("CREATE TABLE h(b BLOB, x, n);"
                               "INSERT INTO h VALUES(x'AABBCCDD03', 1e300, 'a'),"
                               "(x'AABBCCDD01', -9007199254740993, 'b'),"
                               "(x'AABBCCDD0201', 12345, 'c'), (x'AABBCCDD02', -0.5, 'd');"));
    Open(db);
    CChildFrame* window = OpenTable(QStringLiteral("h"));
    QVERIFY(window != nullptr);
    QVERIFY(window->LeftTree()->ShowRecords());
    WaitIdle();
    CSalvixRightView* view = window->RightView();
    QSignalSpy applied(view, &CSalvixRightView::SortApplied);
    const auto column = [&](int c) {
        QStringList texts;
        for (int row = 0; row < view->GetItemCount(); ++row)
            texts << view->Records()->Text(row, c);
        return texts.join(u' ');
    };
    view->OnHeaderClicked(0);
    QTRY_COMPARE(applied.size(), 1);
    QCOMPARE(column(2), QStringLiteral("b d c a"));
    QCOMPARE(column(0), QStringLiteral("AABBCCDD01 AABBCCDD02 AABBCCDD0201 AABBCCDD03"));
    view->OnHeaderClicked(1);
    QTRY_COMPARE(applied.size(), 2);
    QCOMPARE(column(1), QStringLiteral("-9007199254740993 -0.5 12345 1e+300"));
}

void DeviceJobsTest::longListsSortAsShortOnesDo()
{
    // Enough rows to be sorted on two threads, with long runs of texts
    // sharing their first eight and sixteen bytes, a text that goes on past
    // another with a zero byte, equal texts, numbers and empties.
    const std::vector<std::string> words = {"on my way", "on my way home", "on my wax", "", "12", "-3.5",
                                            std::string("on my way\0", 10)};
    auto job = std::make_shared<CJobContext>();
    std::vector<std::string> values;
    for (std::uint32_t i = 0; i < 70000; ++i) {
        values.push_back(words[i % words.size()] + (i % 5 == 0 ? "" : std::string(i % 11, 'z')));
        job->m_parser.m_rows.emplace_back(values.back(), {std::uint32_t(values.back().size())});
    }
    job->m_tableRows.SetColumnCount(1);
    // The expected order: empty, numbers by value, texts by bytes, or the
    // other way round; equal values in the shown order (last read first).
    const auto rank = [&](std::uint32_t i) {
        return values[i].empty() ? 0 : (values[i] == "12" || values[i] == "-3.5" ? 1 : 2);
    };
    const auto number = [&](std::uint32_t i) { return rank(i) == 1 ? std::stod(values[i]) : 0.0; };
    for (const bool ascending : {true, false}) {
        std::vector<std::uint32_t> expected(values.size());
        for (std::uint32_t r = 0; r < expected.size(); ++r)
            expected[r] = std::uint32_t(values.size()) - 1 - r;
        std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
            if (!ascending)
                std::swap(a, b);
            if (rank(a) != rank(b))
                return rank(a) < rank(b);
            return rank(a) == 1 ? number(a) < number(b) : values[a] < values[b];
        });
        const auto mode = ascending ? CRecordListModel::SortMode::kAscending : CRecordListModel::SortMode::kDescending;
        QVERIFY(CRecordListModel::SortedOrder(*job, values.size(), 0, 0, mode) == expected);
    }
}

void DeviceJobsTest::walOpensWhatTheLogCommitted()
{
    // A copy taken while the writer still holds its log: the table exists
    // only in the log.
    const QString db = m_dir.filePath(QStringLiteral("live.db"));
    const QString copy = m_dir.filePath(QStringLiteral("copy.db"));
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"), {db});
    sqlite.write(QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;\n"
                                "CREATE TABLE w(a); INSERT INTO w VALUES(1),(2),(3);\n"
                                ".shell cp '%1' '%2'\n.shell cp '%1-wal' '%2-wal'\n")
                     .arg(db, copy)
                     .toUtf8());
    sqlite.closeWriteChannel();
    QVERIFY(sqlite.waitForFinished(30000));
    QVERIFY(QFileInfo::exists(copy + QStringLiteral("-wal")));
    for (bool withWal : {false, true}) {
        g_bOpenWithWal = withWal;
        Open(copy);
        g_bOpenWithWal = false;
        QCOMPARE(TableItem(QStringLiteral("w")) != nullptr, withWal);
    }
    // The table window reads the table as it was opened, log and all.
    CChildFrame* window = OpenTable(QStringLiteral("w"));
    QVERIFY(window != nullptr);
    QCOMPARE(window->LeftTree()->Job()->m_parser.m_rows.size(), std::size_t{3});
    QVERIFY(!QFileInfo::exists(copy + QStringLiteral("-shm")));
}

void DeviceJobsTest::openByTheNameBytesGiven()
{
    // A Latin-1 name is not UTF-8: its text shows U+FFFD, its bytes open it.
    const std::string native = m_dir.filePath(QStringLiteral("caf")).toStdString() + "\xE9.db";
    QVERIFY(std::filesystem::copy_file(kSample.toStdString(), std::filesystem::path(native)));
    QVERIFY(DeviceTree()->OpenDatabasePath(QString::fromLocal8Bit(native), native));
    WaitIdle();
    QCOMPARE(g_dbList.size(), std::size_t{1});
    QVERIFY(g_dbList.front().pageSize != 0 && !g_dbList.front().tables.empty());
    QVERIFY(TableItem(QStringLiteral("messages")) != nullptr);
}

QTEST_MAIN(DeviceJobsTest)
#include "DeviceJobsTest.moc"

void DeviceJobsTest::caseReportHoldsHashesCheckedRecordsAndLog()
{
    Open(kSample);
    CChildFrame* window = OpenTable(QStringLiteral("messages"));
    QVERIFY(window != nullptr && window->LeftTree()->ShowRecords());
    WaitIdle();
    CSalvixRightView* view = window->RightView();
    QVERIFY(view->GetItemCount() > 2);
    view->List()->selectRow(1);
    QVERIFY(view->OnCommand(ID_RECORD_CHECK_SELECTED));
    const QString checked = view->Records()->index(1, 1).data().toString();

    // The examiner is asked first; a report next to the evidence needs a yes.
    QString report = QFileInfo(kSample).absoluteDir().filePath(QStringLiteral("report.html"));
    QStringList folders;
    CCaseReportDlg::s_ask = [&](QWidget*, CCaseReportDlg::Request& request) {
        request = {u"张三", u"<case>", report};
        return true;
    };
    CCaseReportDlg::s_confirmEvidenceFolder = [&](QWidget*, const QString& folder) {
        folders << folder;
        return false;
    };
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    m_frame->OnCommand(ID_CASE_REPORT);
    WaitIdle();
    QCOMPARE(folders, QStringList{QFileInfo(kSample).absoluteDir().canonicalPath()});
    QVERIFY(!QFile::exists(report));

    report = m_dir.filePath(QStringLiteral("report.html"));
    m_frame->OnCommand(ID_CASE_REPORT);
    WaitIdle();
    QFile file(report);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QFile sample(kSample);
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray bytes = sample.readAll();
    for (const auto kind : {QCryptographicHash::Md5, QCryptographicHash::Sha1, QCryptographicHash::Sha256})
        QVERIFY(html.contains(QString::fromLatin1(QCryptographicHash::hash(bytes, kind).toHex())));
    QVERIFY(html.contains(QString::fromUtf16(u"张三")) && html.contains(QStringLiteral("&lt;case&gt;")));
    QString escaped = checked.toHtmlEscaped();
    QVERIFY(html.contains(escaped.replace(u'\'', QStringLiteral("&#39;"))));
    QVERIFY(html.contains(QStringLiteral("Analyse db: ")));  // the log
}
