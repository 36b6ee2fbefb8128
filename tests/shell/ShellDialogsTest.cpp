// The splash window's timing and keys, and the progress dialog's Stop
// button and spinner.
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "MyProgressDlg.h"
#include "PictureEx.h"
#include "ShellResources.h"
#include "SplashDlg.h"
#include "engine/Globals.h"

class ShellDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { InitShellResources(); }
    void splashShowsItsPicture();
    void splashClosesAfterAboutThreeSecondsNotOnClick();
    void splashClosesAtOnceOnEscape();
    void progressDialogLooksAsDesigned();
    void progressStopSetsFlagAndKeepsDialogOpen();
    void progressCloseEndsAnimation();
};

void ShellDialogsTest::splashShowsItsPicture()
{
    CSplashDlg splash;
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    auto* picture = splash.findChild<QLabel*>();
    QVERIFY(picture != nullptr);
    // The window is the picture's size, whatever picture the resources hold.
    QVERIFY(!picture->pixmap().isNull());
    QCOMPARE(splash.size(), picture->pixmap().size());
}

void ShellDialogsTest::splashClosesAfterAboutThreeSecondsNotOnClick()
{
    CSplashDlg splash;
    bool visibleAfterClick = false;
    bool armedAtHalfTime = false;
    bool armedEarly = true;
    QTimer::singleShot(300, &splash, [&] { armedEarly = splash.IsArmed(); });
    QTimer::singleShot(1500, &splash, [&] {
        armedAtHalfTime = splash.IsArmed();
        QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseDClick(&splash, Qt::LeftButton, {}, QPoint(200, 50));
        visibleAfterClick = splash.isVisible();
    });
    QElapsedTimer clock;
    clock.start();
    const int result = splash.exec();
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(result, int(QDialog::Accepted));
    QVERIFY(!armedEarly);
    QVERIFY(armedAtHalfTime);
    QVERIFY(visibleAfterClick);
    // The first tick of the three-second timer closes it, not the arming.
    QVERIFY2(elapsed >= 2900 && elapsed < 5000, qPrintable(QString::number(elapsed)));
}

void ShellDialogsTest::splashClosesAtOnceOnEscape()
{
    qint64 elapsed = 0;
    int result = -1;
    {
        CSplashDlg splash;
        QTimer::singleShot(200, &splash, [&] { QTest::keyClick(&splash, Qt::Key_Escape); });
        QElapsedTimer clock;
        clock.start();
        result = splash.exec();
        elapsed = clock.elapsed();
    }
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
    // The arming thread still writes its flag after the dialog is gone; it
    // must find it alive (AddressSanitizer watches).
    QTest::qWait(1100);
}

void ShellDialogsTest::progressDialogLooksAsDesigned()
{
    CMyProgressDlg dialog;
    QVERIFY(!dialog.isModal());
    // Fixed size: closable, but neither minimised nor maximised.
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(0xE1, 0xE1, 0xE1));
    QCOMPARE(dialog.StopButton()->text(), QString::fromUtf16(u"停止"));
    QVERIFY(dialog.findChild<QProgressBar*>() != nullptr);
    dialog.setWindowTitle(QString::fromUtf16(u"解析数据库结构"));
    dialog.SetMessage(QString::fromUtf16(u"解析数据库结构,please wait..."));
    QCOMPARE(dialog.Message(), QString::fromUtf16(u"解析数据库结构,please wait..."));
}

void ShellDialogsTest::progressStopSetsFlagAndKeepsDialogOpen()
{
    g_bStop = 0;
    CMyProgressDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.StopButton(), Qt::LeftButton);
    QCOMPARE(g_bStop.load(), 1u);
    QVERIFY(dialog.isVisible());
    g_bStop = 0;
}

void ShellDialogsTest::progressCloseEndsAnimation()
{
    CMyProgressDlg dialog;
    dialog.show();
    QTRY_VERIFY(dialog.Picture()->IsPlaying());
    QCOMPARE(dialog.Picture()->Frames().size(), std::size_t{101});
    dialog.close();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.Picture()->IsThreadRunning());
    // The window comes back when the next job shows it, spinner included.
    dialog.show();
    QTRY_VERIFY(dialog.Picture()->IsPlaying());
}

QTEST_MAIN(ShellDialogsTest)
#include "ShellDialogsTest.moc"
