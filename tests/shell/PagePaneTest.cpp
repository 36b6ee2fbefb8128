// The page behind a record and decoded times: selecting a live or a
// recovered row shows its page with its bytes highlighted, a click on a
// byte selects the row holding it, a frame of the log shows the page the
// log holds, and a column switched to times shows, copies and exports the
// decoded text.
#include <QDateTime>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProcess>
#include <QSignalBlocker>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "DesktopFixture.h"
#include "ChildFrame.h"
#include "LogFramesWnd.h"
#include "MainFrame.h"
#include "ModelExport.h"
#include "PageHexView.h"
#include "PagePane.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "SalvixRightView.h"
#include "ShellResources.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"

namespace {

// An Android message date (Unix ms) and an iPhone one (Mac absolute
// seconds) for row x, the same moment.
qint64 UnixMs(int x) { return 1578268800000LL + x * 60000LL; }

bool RunSqlite(const QString& dir, const QString& script)
{
    QProcess sqlite;
    sqlite.setWorkingDirectory(dir);
    sqlite.start(QStringLiteral("sqlite3"), {QStringLiteral("live.db")});
    sqlite.write(script.toUtf8());
    sqlite.closeWriteChannel();
    return sqlite.waitForFinished(30000) && sqlite.exitCode() == 0;
}

}  // namespace

class PagePaneTest : public CDesktopFixture {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void paneShowsTheSelectedRecordsPage();
    void clickOnAByteSelectsItsRecord();
    void frameShowsThePageTheLogHolds();
    void timeColumnChangesDisplayCopyAndExport();

private:
    CSalvixRightView* OpenSms();
    // The first live row, the first recovered row (free space of a page as
    // shown) and the last (a page version in a log frame).
    QList<int> LiveAndRecovered(CRecordListModel* model) const;
    // Picks encoding `encoding` (-1: "原值") in column's header menu.
    void ChooseTime(CSalvixRightView* view, int column, int encoding);

    QTemporaryDir m_dir;
    QString m_db;
};

void PagePaneTest::initTestCase()
{
    InitShellResources();
    CSalvixLeftTreeCtrl::s_messageBox = [](QWidget*, const QString&) {};
    // Rows deleted into free space, then the file and its log copied while
    // the log still holds every page.
    QVERIFY(RunSqlite(m_dir.path(), QStringLiteral(
        "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;\n"
        "PRAGMA secure_delete=OFF;\n"
        "CREATE TABLE sms(_id INTEGER PRIMARY KEY, body TEXT, date INTEGER, zdate REAL);\n"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE x<60) "
        "INSERT INTO sms SELECT x, printf('text message %d', x), 1578268800000 + x*60000, "
        "1578268800 - 978307200 + x*60 + 0.25 FROM c;\n"
        "DELETE FROM sms WHERE _id % 6 = 0;\n"
        ".shell cp live.db sms.db\n.shell cp live.db-wal sms.db-wal\n")));
    m_db = m_dir.filePath(QStringLiteral("sms.db"));
}

void PagePaneTest::init()
{
    QVERIFY(StartFrame());
    m_frame->resize(1400, 900);
    m_frame->show();
    CSalvixLeftTreeCtrl* device = Child(0)->LeftTree();
    QVERIFY(device->OpenDatabasePath(m_db));
    WaitIdle();
    device->SelectItem(device->GetChildItem(SCI_ROOT));
    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    m_frame->OnCommand(ID_APPLY_WAL);
    WaitIdle();
}

void PagePaneTest::cleanup()
{
    WaitIdle();
    m_frame.reset();
    g_dbList.clear();
    g_bStop = 0;
}

CSalvixRightView* PagePaneTest::OpenSms()
{
    CSalvixLeftTreeCtrl* device = Child(0)->LeftTree();
    CSalvixCtrlItem sms = nullptr;
    for (CSalvixCtrlItem item = device->GetChildItem(device->GetChildItem(SCI_ROOT)); item;
         item = device->GetNextItem(item))
        if (device->GetItemText(item, 0) == QStringLiteral("sms"))
            sms = item;
    device->SelectItem(sms);
    device->OpenTableWindow(sms);
    WaitIdle();
    CChildFrame* window = Child(1);
    if (window == nullptr || !window->LeftTree()->ShowRecords())
        return nullptr;
    WaitIdle();
    return window->RightView();
}

QList<int> PagePaneTest::LiveAndRecovered(CRecordListModel* model) const
{
    QList<int> rows{-1, -1};
    for (int row = 0; row < model->rowCount(); ++row) {
        int& first = rows[model->IsRecoveredRow(row) ? 1 : 0];
        if (first < 0)
            first = row;
    }
    return rows << model->rowCount() - 1;
}

void PagePaneTest::ChooseTime(CSalvixRightView* view, int column, int encoding)
{
    std::unique_ptr<QMenu> menu = view->CreateHeaderMenu(column);
    QVERIFY(menu != nullptr);
    for (QAction* action : menu->findChildren<QAction*>())
        if (action->isCheckable() && action->data().toInt() == encoding)
            action->trigger();
}

void PagePaneTest::paneShowsTheSelectedRecordsPage()
{
    CSalvixRightView* view = OpenSms();
    QVERIFY(view != nullptr);
    CRecordListModel* model = view->Records();
    const int columns = model->TableColumnCount();
    for (int row : LiveAndRecovered(model)) {
        QVERIFY(row >= 0);
        view->List()->setCurrentIndex(model->index(row, 1));
        const CPageReader& reader = view->PagePane()->Reader();
        QCOMPARE(reader.Ref().page, model->Text(row, columns + 1).toUInt());
        // A record of an older version: the page as its log frame holds it.
        if (model->IsRecoveredRow(row) && !model->Text(row, columns + 3).isEmpty())
            QCOMPARE(reader.Ref().frame, model->Text(row, columns + 3).toUInt());
        CPageHexView* hex = view->PagePane()->HexView();
        // The highlight starts where the row's cell or record does and
        // holds its text, as stored in the page.
        QCOMPARE(hex->HighlightStart(), model->Text(row, columns + 2).toUInt());
        const QByteArray lit(reinterpret_cast<const char*>(reader.Bytes().data()) + hex->HighlightStart(),
                             hex->HighlightEnd() - hex->HighlightStart());
        QVERIFY2(lit.contains(model->Text(row, 1).toUtf8()), qPrintable(model->Text(row, 1)));
        QVERIFY(!lit.contains(model->Text(row == 0 ? 1 : 0, 1).toUtf8()));
    }
}

void PagePaneTest::clickOnAByteSelectsItsRecord()
{
    CSalvixRightView* view = OpenSms();
    QVERIFY(view != nullptr);
    CRecordListModel* model = view->Records();
    CPageHexView* hex = view->PagePane()->HexView();
    const QList<int> rows = LiveAndRecovered(model);
    for (int row : rows) {
        view->List()->setCurrentIndex(model->index(row, 0));
        const quint32 middle = (hex->HighlightStart() + hex->HighlightEnd()) / 2;
        {
            // The list moves to another row while the pane keeps this page.
            const QSignalBlocker quiet(view->List()->selectionModel());
            view->List()->setCurrentIndex(model->index(row == rows[0] ? rows[1] : rows[0], 0));
        }
        QTest::mouseClick(hex->viewport(), Qt::LeftButton, {}, hex->HexRect(middle).center());
        QCOMPARE(view->List()->currentIndex().row(), row);
        QVERIFY(hex->HighlightStart() <= middle && middle < hex->HighlightEnd());
    }
    // A byte of the page header belongs to no record.
    QVERIFY(!view->SelectRecordAt(0));
}

void PagePaneTest::frameShowsThePageTheLogHolds()
{
    Child(0)->LeftTree()->SelectItem(Child(0)->LeftTree()->GetChildItem(SCI_ROOT));
    m_frame->OnCommand(ID_LOG_FRAMES);
    WaitIdle();
    auto* window = m_frame->findChild<CLogFramesWnd*>();
    QVERIFY(window != nullptr);
    QFile log(m_db + QStringLiteral("-wal"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray bytes = log.readAll();
    for (int row : {0, window->Model()->rowCount() - 1}) {
        window->SelectFrame(row);
        const CWalLog::Frame& frame = window->Model()->Frames().Frames()[static_cast<std::size_t>(row)];
        const CPageReader& reader = window->PagePane()->Reader();
        QCOMPARE(reader.Ref().page, frame.pageNumber);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(reader.Bytes().data()), qsizetype(reader.Bytes().size())),
                 bytes.mid(static_cast<qsizetype>(frame.pageOffset), qsizetype(reader.Bytes().size())));
    }
}

void PagePaneTest::timeColumnChangesDisplayCopyAndExport()
{
    CSalvixRightView* view = OpenSms();
    QVERIFY(view != nullptr);
    CRecordListModel* model = view->Records();
    const int row = LiveAndRecovered(model)[1];
    const int x = model->Text(row, 0).toInt();
    const QString time = QDateTime::fromMSecsSinceEpoch(UnixMs(x), Qt::UTC).toString(Qt::ISODateWithMs);
    // The same moment in both columns, the Mac one a quarter second later:
    // each is among its value's readings.
    const QString macTime = QString(time).replace(QStringLiteral(".000Z"), QStringLiteral(".250Z"));
    QVERIFY(model->index(row, 2).data(Qt::ToolTipRole).toString().contains(time));
    QVERIFY(model->index(row, 3).data(Qt::ToolTipRole).toString().contains(macTime));
    QVERIFY(model->index(row, 1).data(Qt::ToolTipRole).isNull());

    struct Case {
        int column;
        TimeEncoding encoding;
        QString shown;  // empty: the stored value
    };
    const Case cases[] = {{2, TimeEncoding::kUnixMs, time},
                          {3, TimeEncoding::kMac, macTime},
                          {2, TimeEncoding::kMac, QString()}};  // out of range: stays a number
    const QString path = m_dir.filePath(QStringLiteral("out.csv"));
    for (const Case& c : cases) {
        const QString stored = model->Text(row, c.column);
        ChooseTime(view, c.column, static_cast<int>(c.encoding));
        const QString expected = c.shown.isEmpty() ? stored : c.shown;
        QCOMPARE(model->Text(row, c.column), expected);
        QVERIFY(model->RowsAsText({row}).contains(expected));
        QCOMPARE(CModelExport::Write(*model, path, CRowExport::Format::kCsv, false), model->rowCount());
        QFile csv(path);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY(csv.readAll().contains(expected.toUtf8()));
        ChooseTime(view, c.column, -1);
        QCOMPARE(model->Text(row, c.column), stored);
    }
    QVERIFY(view->CreateHeaderMenu(model->TableColumnCount()) == nullptr);
}

QTEST_MAIN(PagePaneTest)
#include "PagePaneTest.moc"
