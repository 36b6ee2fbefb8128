// Runs the desktop program's road of one table offscreen and times it: the
// open job, then from the double click on the table to the filled record
// list (table read and recovery, table tree, record list with the live and
// the recovered rows), then a sort by one column, then the page pane: from
// selecting a record to its page painted, over live and recovered rows.
// Prints "name seconds" lines; the script measures the process's peak
// memory around it.
#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTableView>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ChildFrame.h"
#include "MainFrame.h"
#include "PageHexView.h"
#include "PagePane.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "SalvixRightView.h"
#include "ShellResources.h"
#include "driver/JobContext.h"
#include "driver/JobControl.h"
#include "platform/MemoryRelease.h"

namespace {

// Serves the window thread until `done` or ten minutes have passed.
bool WaitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 600000) {
        QCoreApplication::processEvents();
        if (!done())
            QThread::msleep(1);  // leave the processor to the worker
    }
    return done();
}

CChildFrame* Child(CMainFrame& frame, int index)
{
    QMdiSubWindow* window = frame.MdiArea()->subWindowList().value(index);
    return window != nullptr ? dynamic_cast<CChildFrame*>(window->widget()) : nullptr;
}

// A line of /proc/self/status in KiB: "VmHWM" the peak resident memory so
// far, "VmRSS" the resident memory now.
long StatusKiB(const char* field)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long value = -1;
    char line[256];
    const std::size_t length = std::strlen(field);
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, field, length) == 0 && line[length] == ':' &&
            std::sscanf(line + length + 1, "%ld", &value) == 1)
            break;
    if (status != nullptr)
        std::fclose(status);
    return value;
}

long PeakKiB() { return StatusKiB("VmHWM"); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: salvix-desktop-bench DB TABLE SORT-COLUMN\n");
        return 2;
    }
    ReleaseLargeBlocksOnFree();  // as the desktop program starts
    QApplication app(argc, argv);
    InitShellResources();
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString tableName = QString::fromLocal8Bit(argv[2]);
    const QString sortColumn = QString::fromLocal8Bit(argv[3]);

    CMainFrame frame;
    if (!frame.Create(false))
        return 1;
    std::int32_t docs = 0;
    frame.SetAppCommandHandler([&](UINT nID) {
        return nID == ID_FILE_NEW && CChildFrame::NewDocument(frame, docs) != nullptr;
    });
    CChildFrame::NewDocument(frame, docs);
    frame.show();
    CSalvixLeftTreeCtrl* device = Child(frame, 0)->LeftTree();
    const auto idle = [] { return CJobControl::RunningWorkers() == 0; };

    QElapsedTimer timer;
    timer.start();
    device->OpenDatabasePath(path);
    if (!WaitFor(idle))
        return 1;
    std::printf("open %.3f\n", timer.elapsed() / 1000.0);
    std::printf("rss-kib-after-open %ld\n", StatusKiB("VmRSS"));

    CSalvixCtrlItem item = nullptr;
    for (CSalvixCtrlItem top = device->GetChildItem(SCI_ROOT); top; top = device->GetNextItem(top))
        for (CSalvixCtrlItem child = device->GetChildItem(top); child; child = device->GetNextItem(child))
            if (device->GetItemText(child, 0) == tableName)
                item = child;
    if (item == nullptr)
        return 1;
    device->SelectItem(item);
    // From the double click to the filled list.
    timer.restart();
    device->OpenTableWindow(item);
    CChildFrame* window = Child(frame, 1);
    if (window == nullptr || !WaitFor(idle))
        return 1;
    const double read = timer.elapsed() / 1000.0;
    if (!window->LeftTree()->ShowRecords() || !WaitFor(idle))
        return 1;
    const double filled = timer.elapsed() / 1000.0;
    CSalvixRightView* view = window->RightView();
    std::printf("rows %zu\n", view->Records()->LiveShown());
    std::printf("recovered %zu\n", view->Records()->RecoveredShown());
    std::printf("read-table %.3f\n", read);
    std::printf("double-click-to-filled-list %.3f\n", filled);
    std::printf("peak-kib-after-fill %ld\n", PeakKiB());
    std::printf("rss-kib-after-fill %ld\n", StatusKiB("VmRSS"));

    // Scrolling: a thousand page steps through the list, each painted.
    QTableView* list = view->List();
    list->resize(900, 600);
    timer.restart();
    QScrollBar* bar = list->verticalScrollBar();
    for (int step = 0; step < 1000; ++step) {
        bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * step / 999));
        list->viewport()->repaint();
    }
    std::printf("scroll-1000-pages %.3f\n", timer.elapsed() / 1000.0);
    std::printf("peak-kib-after-scroll %ld\n", PeakKiB());

    int column = -1;
    for (int c = 0; c < list->model()->columnCount(); ++c)
        if (list->model()->headerData(c, Qt::Horizontal).toString() == sortColumn)
            column = c;
    if (column < 0)
        return 1;
    // The order alone, off the window, then the whole click.
    timer.restart();
    const std::vector<std::uint32_t> order = CRecordListModel::SortedOrder(
        *view->Records()->Job(), view->Records()->LiveShown(), view->Records()->RecoveredShown(),
        column, CRecordListModel::SortMode::kAscending);
    std::printf("sort-order-only %.3f\n", timer.elapsed() / 1000.0);
    timer.restart();
    view->Records()->ApplyOrder(order, static_cast<std::size_t>(view->GetItemCount()));
    QCoreApplication::processEvents();
    std::printf("apply-order-only %.3f\n", timer.elapsed() / 1000.0);
    view->Records()->ApplyOrder({}, static_cast<std::size_t>(view->GetItemCount()));
    bool sorted = false;
    QObject::connect(view, &CSalvixRightView::SortApplied, [&] { sorted = true; });
    timer.restart();
    view->OnHeaderClicked(column);
    if (!WaitFor([&] { return sorted; }))
        return 1;
    std::printf("sort-by-%s %.3f\n", qPrintable(sortColumn), timer.elapsed() / 1000.0);
    std::printf("peak-kib-after-sort %ld\n", PeakKiB());

    // The page pane: 200 selections spread over the list (live rows, then
    // recovered ones), each timed from the selection to the pane painted.
    CPageHexView* hex = view->PagePane()->HexView();
    std::vector<double> times;
    const int shown = view->GetItemCount();
    for (int step = 0; step < 200 && shown > 0; ++step) {
        const int row = static_cast<int>(static_cast<long long>(shown - 1) * step / 199);
        timer.restart();
        list->setCurrentIndex(list->model()->index(row, 0));
        hex->viewport()->repaint();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        std::printf("page-pane-median-ms %.3f\n", times[times.size() / 2]);
        std::printf("page-pane-max-ms %.3f\n", times.back());
    }
    return 0;
}
