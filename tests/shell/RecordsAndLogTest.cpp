// What the desktop program shows beyond the live rows: a table window lists
// exactly the records `salvix-cli recover` reports for its table after the
// live rows, a dropped table opens as a window of its recovered rows, a
// database is reopened with and without its write-ahead log, and the
// "WAL帧" window sorts every frame into its state.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "DesktopFixture.h"
#include "ChildFrame.h"
#include "LogFramesWnd.h"
#include "MainFrame.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "SalvixRightView.h"
#include "ShellResources.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"

namespace {

// Runs `script` in the sqlite3 shell inside `dir`.
bool RunSqlite(const QString& dir, const QString& db, const QString& script)
{
    QProcess sqlite;
    sqlite.setWorkingDirectory(dir);
    sqlite.start(QStringLiteral("sqlite3"), {db});
    sqlite.write(script.toUtf8());
    sqlite.closeWriteChannel();
    return sqlite.waitForFinished(30000) && sqlite.exitCode() == 0;
}

// The records `salvix-cli recover --json [--wal] DB TABLE` reports.
QList<QJsonObject> CliRecover(const QString& db, const QString& table, bool wal)
{
    QProcess cli;
    QStringList args{QStringLiteral("recover"), QStringLiteral("--json")};
    if (wal)
        args << QStringLiteral("--wal");
    cli.start(QStringLiteral(SALVIX_CLI_PATH), args << db << table);
    cli.waitForFinished(30000);
    QList<QJsonObject> records;
    for (const QByteArray& line : cli.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            records << QJsonDocument::fromJson(line).object();
    return records;
}

}  // namespace

class RecordsAndLogTest : public CDesktopFixture {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void recoveredRowsFollowTheLiveOnes();
    void droppedTableOpensItsRecoveredRows();
    void logSwitchReopensTheDatabase();
    void frameWindowSortsEveryFrame();

private:
    CSalvixLeftTreeCtrl* DeviceTree() const { return Child(0)->LeftTree(); }
    CSalvixCtrlItem Item(const QString& text) const;
    CChildFrame* OpenTable(const QString& text);
    void DeviceCommand(UINT nID);
    // Compares the recovered rows of `window` with the records of `cli`.
    void CompareRecovered(CChildFrame* window, const QList<QJsonObject>& cli);

    QTemporaryDir m_dir;
    QString m_deleted;  // rows deleted into free space, a table dropped
    QString m_logged;   // a copy taken with its log open mid-transaction
};

void RecordsAndLogTest::initTestCase()
{
    InitShellResources();
    CSalvixLeftTreeCtrl::s_messageBox = [](QWidget*, const QString&) {};
    m_deleted = m_dir.filePath(QStringLiteral("deleted.db"));
    QVERIFY(RunSqlite(m_dir.path(), m_deleted, QStringLiteral(
        "PRAGMA page_size=1024; PRAGMA secure_delete=OFF;"
        "CREATE TABLE m(id INTEGER PRIMARY KEY, body TEXT, n REAL);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE x<60) "
        "INSERT INTO m SELECT x, printf('message number %d', x), x*1.5 FROM c;"
        "CREATE TABLE gone(a TEXT, b INTEGER);"
        "INSERT INTO gone VALUES('first gone row', 1),('second gone row', 2);"
        "DELETE FROM m WHERE id % 7 = 0; DROP TABLE gone;")));
    // A log restarted after a checkpoint, so frames of the earlier log lie
    // past its end (stale salts); a table only the log holds, its page
    // rewritten by three commits (superseded frames); and a transaction
    // whose pages spilled into the log before the copy (uncommitted).
    const QString live = m_dir.filePath(QStringLiteral("live.db"));
    m_logged = m_dir.filePath(QStringLiteral("logged.db"));
    QVERIFY(RunSqlite(m_dir.path(), live, QStringLiteral(
        "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;\n"
        "CREATE TABLE a(x TEXT);\n"
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i<120) "
        "INSERT INTO a SELECT printf('%0200d', i) FROM c;\n"
        "PRAGMA wal_checkpoint(RESTART);\n"
        "CREATE TABLE w(v TEXT); INSERT INTO w VALUES('log only one');\n"
        "INSERT INTO w VALUES('log only two'); DELETE FROM w WHERE v = 'log only one';\n"
        "PRAGMA cache_size=1; BEGIN;\n"
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i<40) "
        "INSERT INTO a SELECT printf('%0300d', i) FROM c;\n"
        ".shell cp live.db logged.db\n.shell cp live.db-wal logged.db-wal\nROLLBACK;\n")));
    QVERIFY(QFileInfo(m_logged + QStringLiteral("-wal")).size() > 0);
}

void RecordsAndLogTest::init()
{
    QVERIFY(StartFrame());
    m_frame->show();
}

void RecordsAndLogTest::cleanup()
{
    WaitIdle();
    m_frame.reset();
    g_dbList.clear();
    g_bStop = 0;
}

CSalvixCtrlItem RecordsAndLogTest::Item(const QString& text) const
{
    CSalvixLeftTreeCtrl* tree = DeviceTree();
    for (CSalvixCtrlItem top = tree->GetChildItem(SCI_ROOT); top; top = tree->GetNextItem(top)) {
        if (tree->GetItemText(top, 0).endsWith(text))
            return top;
        for (CSalvixCtrlItem item = tree->GetChildItem(top); item; item = tree->GetNextItem(item))
            if (tree->GetItemText(item, 0) == text)
                return item;
    }
    return nullptr;
}

CChildFrame* RecordsAndLogTest::OpenTable(const QString& text)
{
    const int before = static_cast<int>(m_frame->MdiArea()->subWindowList().size());
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    DeviceTree()->SelectItem(Item(text));
    DeviceTree()->OpenTableWindow(Item(text));
    WaitIdle();
    CChildFrame* window = Child(before);
    if (window == nullptr || !window->LeftTree()->ShowRecords())
        return nullptr;
    WaitIdle();
    return window;
}

void RecordsAndLogTest::DeviceCommand(UINT nID)
{
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    m_frame->OnCommand(nID);
    WaitIdle();
}

void RecordsAndLogTest::CompareRecovered(CChildFrame* window, const QList<QJsonObject>& cli)
{
    CRecordListModel* model = window->RightView()->Records();
    const int columns = model->TableColumnCount();
    const int live = static_cast<int>(model->LiveShown());
    QCOMPARE(model->rowCount(), live + cli.size());
    const QHash<QString, QString> states = {{QStringLiteral("freeblock"), QString::fromUtf16(u"空闲块")},
                                            {QStringLiteral("unallocated"), QString::fromUtf16(u"未分配空间")},
                                            {QStringLiteral("freelist"), QString::fromUtf16(u"空闲页")}};
    for (int r = 0; r < live; ++r) {
        QVERIFY(!model->IsRecoveredRow(r));
        QVERIFY(model->Text(r, columns).isEmpty());           // no state
        QVERIFY(model->Text(r, columns + 1).toInt() > 1);    // a page of the table
        QVERIFY(model->Text(r, columns + 2).toInt() > 0);    // a cell offset in it
    }
    for (int i = 0; i < cli.size(); ++i) {
        const int row = live + i;
        const QJsonObject& record = cli[i];
        QVERIFY(model->IsRecoveredRow(row));
        const QJsonArray values = record[QStringLiteral("values")].toArray();
        for (int c = 0; c < columns; ++c) {
            const QJsonValue value = values.at(c);
            QCOMPARE(model->IsLost(row, c), value.isNull());
            QCOMPARE(model->Text(row, c), value.isNull() ? QString() : value.toString());
        }
        QCOMPARE(model->Text(row, columns), states.value(record[QStringLiteral("source")].toString()));
        QCOMPARE(model->Text(row, columns + 1).toInt(), record[QStringLiteral("page")].toInt());
        QCOMPARE(model->Text(row, columns + 2).toInt(), record[QStringLiteral("offset")].toInt());
        QVERIFY(model->index(row, 0).data(Qt::ForegroundRole).isValid());
    }
}

void RecordsAndLogTest::recoveredRowsFollowTheLiveOnes()
{
    QVERIFY(DeviceTree()->OpenDatabasePath(m_deleted));
    WaitIdle();
    CChildFrame* window = OpenTable(QStringLiteral("m"));
    QVERIFY(window != nullptr);
    const QList<QJsonObject> cli = CliRecover(m_deleted, QStringLiteral("m"), false);
    QVERIFY(cli.size() >= 8);  // at least the eight rows deleted
    CompareRecovered(window, cli);
    CSalvixLeftTreeCtrl* tree = window->LeftTree();
    CSalvixCtrlItem second = tree->GetNextItem(tree->GetChildItem(SCI_ROOT));
    QCOMPARE(tree->GetItemText(second, 0), QString::fromUtf16(u"已删除记录: %1").arg(cli.size()));

    // Hidden and shown again by the record menu's command.
    CSalvixRightView* view = window->RightView();
    const int live = static_cast<int>(view->Records()->LiveShown());
    m_frame->OnCommand(ID_SHOW_RECOVERED);
    QCOMPARE(view->GetItemCount(), live);
    QVERIFY(!view->Records()->IsRecoveredRow(live - 1));
    view->OnCommand(ID_SHOW_RECOVERED);
    QCOMPARE(view->GetItemCount(), live + cli.size());

    // Checks, copying and sorting reach the recovered rows with their
    // four columns: by state, the live rows (empty) come first.
    view->SetAllChecked(true);
    QVERIFY(view->Records()->IsChecked(live + cli.size() - 1));
    QSignalSpy sorted(view, &CSalvixRightView::SortApplied);
    view->OnHeaderClicked(view->Records()->TableColumnCount());
    QTRY_COMPARE(sorted.size(), 1);
    QVERIFY(!view->Records()->IsRecoveredRow(live - 1) && view->Records()->IsRecoveredRow(live));
    const QString copied = view->Records()->RowsAsText({live});
    QCOMPARE(copied.count(u'\t'), view->Records()->columnCount() - 1);
    QVERIFY(copied.contains(view->Records()->Text(live, view->Records()->TableColumnCount())));
}

void RecordsAndLogTest::droppedTableOpensItsRecoveredRows()
{
    QVERIFY(DeviceTree()->OpenDatabasePath(m_deleted));
    WaitIdle();
    const QString name = QString::fromUtf16(u"gone(已删除)");
    CSalvixCtrlItem item = Item(name);
    QVERIFY(item != nullptr);
    // After the live tables.
    QCOMPARE(DeviceTree()->GetNextItem(item), nullptr);
    CChildFrame* window = OpenTable(name);
    QVERIFY(window != nullptr);
    QCOMPARE(window->RightView()->Records()->LiveShown(), std::size_t{0});
    const QList<QJsonObject> cli = CliRecover(m_deleted, QStringLiteral("gone"), false);
    QCOMPARE(cli.size(), 2);
    CompareRecovered(window, cli);
}

void RecordsAndLogTest::logSwitchReopensTheDatabase()
{
    QVERIFY(DeviceTree()->OpenDatabasePath(m_logged));
    WaitIdle();
    QVERIFY(Item(QStringLiteral("w")) == nullptr);
    QVERIFY(OpenTable(QStringLiteral("a")) != nullptr);
    for (bool withWal : {true, false}) {
        DeviceTree()->SelectItem(DeviceTree()->GetChildItem(SCI_ROOT));
        DeviceCommand(withWal ? ID_APPLY_WAL : ID_NO_WAL);
        // The table window went first; the database kept its place.
        QCOMPARE(m_frame->MdiArea()->subWindowList().size(), 1);
        QCOMPARE(g_dbList.size(), std::size_t{1});
        QCOMPARE(g_dbList.front().withWal, withWal);
        QCOMPARE(Item(QStringLiteral("w")) != nullptr, withWal);
    }
    DeviceTree()->SelectItem(DeviceTree()->GetChildItem(SCI_ROOT));
    DeviceCommand(ID_APPLY_WAL);
    CChildFrame* window = OpenTable(QStringLiteral("w"));
    QVERIFY(window != nullptr);
    QCOMPARE(window->RightView()->Records()->LiveShown(), std::size_t{1});
    // The live row was read from a frame of the log.
    CRecordListModel* model = window->RightView()->Records();
    QVERIFY(!model->Text(0, model->TableColumnCount() + 3).isEmpty());
}

void RecordsAndLogTest::frameWindowSortsEveryFrame()
{
    QVERIFY(DeviceTree()->OpenDatabasePath(m_logged));
    WaitIdle();
    DeviceTree()->SelectItem(DeviceTree()->GetChildItem(SCI_ROOT));
    DeviceCommand(ID_LOG_FRAMES);
    auto* window = m_frame->findChild<CLogFramesWnd*>();
    QVERIFY(window != nullptr);
    CLogFramesModel* model = window->Model();

    // The states as the file's bytes give them: a frame with other salts
    // than the header's ends the log; the frames up to the last commit
    // before that belong to the database, the newest of each page applied.
    QFile file(m_logged + QStringLiteral("-wal"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto word = [&](qsizetype at) { return qFromBigEndian<quint32>(bytes.constData() + at); };
    const quint32 pageSize = word(8);
    const int frames = static_cast<int>((bytes.size() - 32) / (24 + pageSize));
    QCOMPARE(model->rowCount(), frames);
    int end = frames;
    int lastCommit = 0;
    for (int i = 0; i < frames && end == frames; ++i) {
        const qsizetype at = 32 + i * qsizetype(24 + pageSize);
        if (word(at + 8) != word(16) || word(at + 12) != word(20))
            end = i;
        else if (word(at + 4) != 0)
            lastCommit = i + 1;
    }
    QStringList expected;
    for (int i = 0; i < frames; ++i) {
        const qsizetype at = 32 + i * qsizetype(24 + pageSize);
        bool newer = false;
        for (int j = i + 1; j < lastCommit; ++j)
            newer = newer || word(32 + j * qsizetype(24 + pageSize)) == word(at);
        expected << QString::fromUtf16(i >= end            ? u"盐值过期"
                                       : i >= lastCommit   ? u"最后提交之后"
                                       : newer             ? u"已被替代"
                                                           : u"已应用");
    }
    QStringList shown;
    for (int row = 0; row < frames; ++row)
        shown << model->index(row, CLogFramesModel::kState).data().toString();
    QCOMPARE(shown, expected);
    for (const char16_t* state : {u"盐值过期", u"最后提交之后", u"已被替代", u"已应用"})
        QVERIFY(shown.contains(QString::fromUtf16(state)));
    QCOMPARE(model->index(0, CLogFramesModel::kOwner).data().toString(), QStringLiteral("sqlite_master"));

    // Selecting a frame names the page it holds and where that lies.
    QSignalSpy selected(window, &CLogFramesWnd::FrameSelected);
    window->SelectFrame(3);
    QCOMPARE(selected.size(), 1);
    const quint64 offset = selected[0][2].toULongLong();
    QCOMPARE(word(static_cast<qsizetype>(offset) - 24), selected[0][1].toUInt());
}

QTEST_MAIN(RecordsAndLogTest)
#include "RecordsAndLogTest.moc"
