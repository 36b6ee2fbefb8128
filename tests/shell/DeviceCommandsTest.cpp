// Close, refresh and scan on the device tree: refusals, a closed database
// taking its table windows along, a refresh that keeps a collapsed item
// collapsed, and the scan dialog opened on the database's file.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>

#include "DesktopFixture.h"
#include "ChildFrame.h"
#include "DeviceCommands.h"
#include "MainFrame.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "ScanFileDlg.h"
#include "ShellResources.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"

namespace {

const QString kSample = QStringLiteral(SALVIX_SOURCE_DIR "/samples/phone.db");

}  // namespace

class DeviceCommandsTest : public CDesktopFixture {
    Q_OBJECT
private slots:
    void initTestCase() { InitShellResources(); }
    void init();
    void cleanup();
    void refusalsAndSelectionRules();
    void closeRemovesTheItemAndItsTableWindows();
    void refreshKeepsACollapsedItemCollapsed();
    void scanOpensTheDialogOnTheDatabaseFile();

private:
    CSalvixLeftTreeCtrl* Tree() const { return Child(0)->LeftTree(); }
    CSalvixCtrlItem Top() const { return Tree()->GetChildItem(SCI_ROOT); }
    QStringList LogTail(int from) const
    {
        QStringList lines;
        for (int row = from; row < m_frame->OutputWnd()->LogCount(); ++row)
            lines << m_frame->OutputWnd()->List()->GetItemText(row, 2);
        return lines;
    }
    // Texts of every column of the children of `item`.
    QStringList Children(CSalvixCtrlItem item) const
    {
        QStringList texts;
        for (CSalvixCtrlItem child = Tree()->GetChildItem(item); child; child = Tree()->GetNextItem(child))
            for (int column = 0; column < 4; ++column)
                texts << Tree()->GetItemText(child, column);
        return texts;
    }

};

void DeviceCommandsTest::init()
{
    QVERIFY(StartFrame());
    m_frame->show();
    QVERIFY(Tree()->OpenDatabasePath(kSample));
    WaitIdle();
    QVERIFY(Top() != nullptr);
}

void DeviceCommandsTest::cleanup()
{
    WaitIdle();
    m_frame.reset();
    g_dbList.clear();
    g_bBusy = 0;
    g_bStop = 0;
}

void DeviceCommandsTest::refusalsAndSelectionRules()
{
    const QStringList tree = Children(Top());
    int from = m_frame->OutputWnd()->LogCount();
    // Busy: one warning per command, nothing else (no dialog opens).
    g_bBusy = 1;
    Tree()->SelectItem(Top());
    for (UINT nID : {ID_CLOSE_SOURCE, ID_SCAN_PICTURES, ID_SCAN_MOVIES, CDeviceCommands::ID_REFRESH_SOURCE})
        Tree()->OnCommand(nID);
    g_bBusy = 0;
    QCOMPARE(LogTail(from), QStringList(4, QStringLiteral("The other threads is working,please wait...")));
    // A table item: close and the scans warn, refresh says nothing.
    from = m_frame->OutputWnd()->LogCount();
    Tree()->SelectItem(Tree()->GetChildItem(Top()));
    for (UINT nID : {ID_CLOSE_SOURCE, ID_SCAN_PICTURES, ID_SCAN_MOVIES, CDeviceCommands::ID_REFRESH_SOURCE})
        Tree()->OnCommand(nID);
    QCOMPARE(LogTail(from), (QStringList{QStringLiteral("Please select correct partition "),
                                         QStringLiteral("Please select correct device"),
                                         QStringLiteral("Please select correct device")}));
    QCOMPARE(Children(Top()), tree);
    QCOMPARE(g_dbList.size(), std::size_t{1});
}

void DeviceCommandsTest::closeRemovesTheItemAndItsTableWindows()
{
    // A table window of the database.
    Tree()->SelectItem(Tree()->GetChildItem(Top()));
    Tree()->OpenTableWindow(Tree()->GetChildItem(Top()));
    WaitIdle();
    QCOMPARE(m_frame->MdiArea()->subWindowList().size(), 2);
    QCOMPARE(m_frame->m_openTables.size(), std::size_t{1});

    m_frame->MdiArea()->setActiveSubWindow(m_frame->MdiArea()->subWindowList().first());
    Tree()->SelectItem(Top());
    m_frame->OnCommand(ID_CLOSE_SOURCE);  // the main menu's command
    QTRY_COMPARE(m_frame->MdiArea()->subWindowList().size(), 1);
    QVERIFY(m_frame->m_openTables.empty());
    QVERIFY(g_dbList.empty());
    QVERIFY(Top() == nullptr);
}

void DeviceCommandsTest::refreshKeepsACollapsedItemCollapsed()
{
    const QStringList before = Children(Top());
    QVERIFY(!before.isEmpty());
    Tree()->DeleteItem(Tree()->GetChildItem(Top()));  // the refresh must bring it back
    Tree()->collapse(Tree()->Model()->IndexOf(Top()));
    Tree()->SelectItem(Top());
    Tree()->OnCommand(CDeviceCommands::ID_REFRESH_SOURCE);
    QCOMPARE(Children(Top()), before);
    QVERIFY(!Tree()->isExpanded(Tree()->Model()->IndexOf(Top())));
}

void DeviceCommandsTest::scanOpensTheDialogOnTheDatabaseFile()
{
    Tree()->SelectItem(Top());
    QString source;
    int mode = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CScanFileDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        source = dialog->SourceEdit()->text();
        mode = dialog->KindBox()->currentIndex();
        dialog->OnCancel();
    });
    Tree()->OnCommand(CDeviceCommands::ID_CONTEXT_SCAN_MOVIES);  // the context menu's command
    QCOMPARE(source, Tree()->GetItemText(Top(), 0));
    QCOMPARE(mode, int(CScanFileDlg::kMovies));
}

QTEST_MAIN(DeviceCommandsTest)
#include "DeviceCommandsTest.moc"
