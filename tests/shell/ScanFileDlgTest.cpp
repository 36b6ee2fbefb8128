// The scan dialog: refusals, the result list of a real scan, and how it
// closes while its worker runs.
#include <QAbstractItemModelTester>
#include <QCryptographicHash>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <vector>

#include "ScanFileDlg.h"
#include "ScanResultModel.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"

namespace {

// The log pane: keeps "CAPTION|TEXT" of every line, and runs `onLine` on
// each (the worker waits meanwhile).
class CLogRecorder : public CMessageTarget {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override
    {
        if (message == WM_LOG_MESSAGE) {
            const auto& line = *reinterpret_cast<const LogMessage*>(wParam);
            lines.push_back(QString::fromStdU16String(line.caption + u"|" + line.text));
            if (onLine)
                onLine();
        }
        return 0;
    }
    QStringList lines;
    std::function<void()> onLine;
};

constexpr int kMiB = 1 << 20;

}  // namespace

class ScanFileDlgTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        g_bBusy = 0;
        g_bStop = 0;
        // Pictures at the first and last sector of a chunk, in the tail, and
        // one off the sector grid that must not be listed.
        std::vector<char> bytes(3 * kMiB + 4096, '\x5A');
        const char jpeg[] = "\xFF\xD8\xFF\xE0\x00\x10JFIF";  // with its zero
        for (int offset : {0, kMiB - 512, 2 * kMiB + 1, 3 * kMiB + 1024})
            std::copy(jpeg, jpeg + sizeof jpeg, bytes.begin() + offset);
        m_image = m_dir.filePath(QStringLiteral("image.img"));
        std::ofstream(m_image.toStdString(), std::ios::binary).write(bytes.data(), bytes.size());
    }
    void refusalsLogAWarningAndStartNothing();
    void scanListsEveryHitAndASecondScanStartsFromZero();
    void stopDuringAScan_data();
    void stopDuringAScan();

private:
    QTemporaryDir m_dir;
    QString m_image;
};

void ScanFileDlgTest::refusalsLogAWarningAndStartNothing()
{
    CLogRecorder log;
    CScanFileDlg dialog(&log);
    dialog.show();
    dialog.OnScan();  // empty source box
    g_bBusy = 1;      // another job runs
    dialog.SourceEdit()->setText(m_image);
    dialog.OnScan();
    g_bBusy = 0;
    QCOMPARE(log.lines, (QStringList{QStringLiteral("warning|Please select the source file"),
                                     QStringLiteral("warning|The other threads is working,please wait...")}));
    QVERIFY(!dialog.IsScanning());
    QVERIFY(dialog.ScanButton()->isEnabled());
}

void ScanFileDlgTest::scanListsEveryHitAndASecondScanStartsFromZero()
{
    CLogRecorder log;
    CScanFileDlg dialog(&log);
    dialog.m_strSourcePath = m_image.toStdU16String();
    QAbstractItemModelTester tester(dialog.ResultModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    dialog.show();
    for (int scan = 0; scan < 2; ++scan) {
        dialog.OnScan();
        QVERIFY(!dialog.ScanButton()->isEnabled());
        QTRY_VERIFY(!dialog.IsScanning());
        QVERIFY(dialog.ScanButton()->isEnabled());
        CScanResultModel* model = dialog.ResultModel();
        QStringList rows;
        for (int row = 0; row < model->rowCount(); ++row)
            rows << model->index(row, 0).data().toString() + ' ' + model->index(row, 1).data().toString() +
                        ' ' + model->index(row, 2).data().toString();
        QCOMPARE(rows, (QStringList{"0 jpg 0", "1 jpg 1048064", "2 jpg 3146752"}));
        QCOMPARE(dialog.ResultCount(), 3);
        QCOMPARE(dialog.Progress()->maximum(), 3);
    }
    // Export of the checked hits, in the list's order and texts.
    dialog.ResultModel()->SetChecked(1, true);
    const QString csv = m_dir.filePath(QStringLiteral("hits.csv"));
    QVERIFY(dialog.ExportResults(csv, true));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "\xEF\xBB\xBF" + QStringLiteral("索引,类型,pos\r\n1,jpg,1048064\r\n").toUtf8());
    QCOMPARE(log.lines.size(), 6);
    QCOMPARE(log.lines[0], "Scan|Scan: " + m_image + ",please wait...");
    QCOMPARE(log.lines[1], "Scan|" + m_image + " Scan completed");
    // The source is hashed once the scan has read it; the case report
    // takes the last scan with its hits.
    QFile image(m_image);
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QString sha256 = QString::fromLatin1(QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex());
    QVERIFY(log.lines[2].startsWith("Hash|" + m_image + ": ") && log.lines[2].endsWith(", SHA-256 " + sha256));
    const CCaseReport::Scan* last = CScanFileDlg::LastScan();
    QVERIFY(last != nullptr);
    QCOMPARE(QString::fromStdString(last->source.sha256), sha256);
    QCOMPARE(last->hits.rows.size(), std::size_t{3});
    QCOMPARE(g_bBusy.load(), 0u);
}

void ScanFileDlgTest::stopDuringAScan_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("取消 stops and keeps the dialog") << true;
    QTest::newRow("the close box closes once the worker ends") << false;
}

void ScanFileDlgTest::stopDuringAScan()
{
    QFETCH(bool, cancel);
    CLogRecorder log;
    CScanFileDlg dialog(&log);
    dialog.m_strSourcePath = m_image.toStdU16String();
    dialog.show();
    bool visibleAfterRequest = false;
    // The worker waits while its start line is handled: the request lands
    // before the first chunk is read.
    log.onLine = [&] {
        if (log.lines.size() == 1) {
            cancel ? dialog.OnCancel() : void(dialog.close());
            visibleAfterRequest = dialog.isVisible();
        }
    };
    dialog.OnScan();
    QTRY_VERIFY(!dialog.IsScanning());
    QVERIFY(visibleAfterRequest);
    QCOMPARE(dialog.ResultCount(), 2);  // the first chunk only
    QCOMPARE(log.lines.size(), 2);      // and the completion line
    if (cancel) {
        QVERIFY(dialog.isVisible());
        dialog.OnCancel();  // a second Cancel closes it
    }
    QTRY_VERIFY(!dialog.isVisible());
}

QTEST_MAIN(ScanFileDlgTest)
#include "ScanFileDlgTest.moc"
