#include "ScanFileDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <optional>

#include "ModelExport.h"
#include "ScanResultModel.h"
#include "driver/EvidenceFiles.h"
#include "engine/Globals.h"
#include "engine/LogPost.h"
#include "platform/TextConvert.h"
#include "platform/ThreadStart.h"
#include "platform/WideFormat.h"
#include "records/CarvedFileWriter.h"
#include "records/Carver.h"
#include "records/CarverSqlite.h"

namespace {

// How often hits kept aside during a scan are added to the list.
constexpr int kFlushIntervalMs = 100;

const char16_t kBusyWarning[] = u"The other threads is working,please wait...";

}  // namespace

CScanFileDlg::CScanFileDlg(HWND hLogWnd, QWidget* parent)
    : QDialog(parent), CQtMessageTarget(this), m_hLogWnd(hLogWnd)
{
    setWindowTitle(QStringLiteral("扫描文件"));
    // 445 × 272 dialog units at 1.5 and 1.625 pixels per unit.
    resize(445 * 3 / 2, 272 * 13 / 8);
    m_logGuard = dynamic_cast<QObject*>(hLogWnd);
    m_bLogIsWindow = m_logGuard != nullptr;
    // The worker's log lines come here first, so none is sent to a log pane
    // that is already gone.
    m_parser.m_hLogWnd = this;
    m_parser.m_hProgressWnd = this;
    m_parser.m_hResultWnd = this;

    m_model = new CScanResultModel(this);
    m_wndResultList = new QTableView(this);
    m_wndResultList->setObjectName(QStringLiteral("ResultList"));
    m_wndResultList->setModel(m_model);
    m_wndResultList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_wndResultList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_wndResultList->setShowGrid(true);
    m_wndResultList->verticalHeader()->hide();
    m_wndResultList->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_wndResultList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_wndResultList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_wndResultList, &QWidget::customContextMenuRequested, this,
            &CScanFileDlg::OnResultListRightClick);
    connect(m_model, &QAbstractItemModel::modelReset, this, &CScanFileDlg::AdjustColumns);

    m_editSource = new QLineEdit(this);
    m_editTarget = new QLineEdit(this);
    m_editSize = new QLineEdit(QStringLiteral("1048576"), this);
    m_editSize->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    m_comboKind = new QComboBox(this);
    m_comboKind->addItems({QStringLiteral("图片 (jpg)"), QStringLiteral("影片 (mp4/mov)"),
                           QStringLiteral("数据库 (sqlite)")});
    auto* btnSource = new QPushButton(QStringLiteral("..."), this);
    auto* btnTarget = new QPushButton(QStringLiteral("..."), this);
    m_wndProgress = new QProgressBar(this);
    m_wndProgress->setTextVisible(false);
    m_wndProgress->setRange(0, 1);
    m_wndProgress->setValue(0);
    m_btnScan = new QPushButton(QStringLiteral("扫描"), this);
    m_btnStop = new QPushButton(QStringLiteral("停止"), this);
    m_btnCancel = new QPushButton(QStringLiteral("取消"), this);
    for (QPushButton* button : {btnSource, btnTarget, m_btnScan, m_btnStop, m_btnCancel})
        button->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_wndResultList, 0, 0, 1, 5);
    grid->setRowStretch(0, 1);
    grid->addWidget(new QLabel(QStringLiteral("源路径:"), this), 1, 0);
    grid->addWidget(m_editSource, 1, 1, 1, 3);
    grid->addWidget(btnSource, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("目标路径:"), this), 2, 0);
    grid->addWidget(m_editTarget, 2, 1, 1, 3);
    grid->addWidget(btnTarget, 2, 4);
    grid->addWidget(new QLabel(QStringLiteral("大小(字节)："), this), 3, 0);
    grid->addWidget(m_editSize, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("类型:"), this), 3, 2);
    grid->addWidget(m_comboKind, 3, 3, 1, 2);
    grid->addWidget(m_wndProgress, 4, 0, 1, 5);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnScan);
    buttons->addWidget(m_btnStop);
    buttons->addWidget(m_btnCancel);
    grid->addLayout(buttons, 5, 0, 1, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(btnSource, &QPushButton::clicked, this, &CScanFileDlg::OnChooseSource);
    connect(btnTarget, &QPushButton::clicked, this, &CScanFileDlg::OnChooseTarget);
    connect(m_btnScan, &QPushButton::clicked, this, &CScanFileDlg::OnScan);
    connect(m_btnStop, &QPushButton::clicked, this, &CScanFileDlg::OnStop);
    connect(m_btnCancel, &QPushButton::clicked, this, &CScanFileDlg::OnCancel);

    m_flushTimer = new QTimer(this);
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, m_model, &CScanResultModel::Flush);
}

CScanFileDlg::~CScanFileDlg()
{
    // Reached while scanning only when the owner destroys the dialog (the
    // program ends): the worker still sends to this object, so it is
    // stopped and its last messages are handled before anything goes.
    if (m_bScanning) {
        g_bStop = 1;
        m_bCloseWhenDone = false;
        while (m_bScanning)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    JoinWorker();
}

void CScanFileDlg::Run(HWND hLogWnd, QWidget* parent, const std::u16string& path, std::int32_t mode,
                       bool startScan, std::function<void(const QString&)> openDatabase)
{
    CScanFileDlg dialog(hLogWnd, parent);
    dialog.m_strSourcePath = path;
    dialog.m_nMode = mode;
    dialog.m_openDatabase = std::move(openDatabase);
    if (startScan)
        QTimer::singleShot(0, &dialog, &CScanFileDlg::OnScan);
    dialog.exec();
}

void CScanFileDlg::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && !m_bShownOnce) {
        m_bShownOnce = true;
        m_editSource->setText(QString::fromStdU16String(m_strSourcePath));
        m_comboKind->setCurrentIndex(std::clamp<int>(m_nMode, kPictures, kDatabases));
    }
    QDialog::showEvent(event);
    AdjustColumns();
}

void CScanFileDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    AdjustColumns();
}

void CScanFileDlg::AdjustColumns()
{
    // Every column is half the list wide, so the list scrolls sideways.
    const int width = std::max(m_wndResultList->viewport()->width() / 2, 40);
    for (int column = 0; column < m_model->columnCount(); ++column)
        m_wndResultList->setColumnWidth(column, width);
}

void CScanFileDlg::OnScan()
{
    if (g_bBusy != 0 || m_bScanning) {
        PostLog(this, u"warning", kBusyWarning, kLogWarning);
        return;
    }
    m_strSourcePath = m_editSource->text().toStdU16String();
    if (m_strSourcePath.empty()) {
        PostLog(this, u"warning", u"Please select the source file", kLogWarning);
        return;
    }
    m_nScanMode = m_comboKind->currentIndex();
    m_strScannedPath = m_strSourcePath;
    m_model->Reset(m_nScanMode == kDatabases);
    m_nResultCount = 0;
    m_btnScan->setEnabled(false);
    // Busy from here, not only once the worker runs, so no other job can
    // start in between; a stop pressed from now on reaches this scan.
    g_bBusy = 1;
    g_bStop = 0;
    m_bScanning = true;
    m_flushTimer->start();
    m_worker = StartThread([this] { ScanThread(); });
}

void CScanFileDlg::ScanThread()
{
    g_bBusy = 1;
    const std::u16string path = m_strScannedPath;  // not changed while scanning
    PostLog(this, u"Scan", WideFormat(u"Scan: %s,please wait...", {path}), kLogInfo);
    switch (m_nScanMode) {
    case kPictures: CarveJpeg(m_parser, path); break;
    case kMovies: CarveMovie(path, m_parser); break;
    case kDatabases: CarveSqlite(m_parser, path); break;
    default: break;
    }
    PostLog(this, u"Scan", WideFormat(u"%s Scan completed", {path}), kLogInfo);
    // The source is hashed once the scan has read it (and not after a
    // stop); the bar counts the bytes of a large one.
    m_sourceHash = EvidenceHash{};
    if (g_bStop == 0) {
        const std::string source = WideToUtf8(path);
        const std::uint32_t hundred = 100;
        std::uint32_t shown = hundred + 1;
        HashProgress progress = [&](std::uint64_t done, std::uint64_t total) {
            const std::uint32_t now = total == 0 ? hundred : static_cast<std::uint32_t>(done * 100 / total);
            if (now == shown)
                return;
            if (shown > hundred)
                SendMessageW(this, WM_SCAN_RANGE, reinterpret_cast<WPARAM>(&hundred), 0);
            shown = now;
            SendMessageW(this, WM_SCAN_POS, reinterpret_cast<WPARAM>(&now), 0);
        };
        const bool large = EvidenceFileBytes(source) > kHashProgressBytes;
        m_sourceHash = HashEvidenceFile(source, this, large ? progress : HashProgress());
    }
    g_bBusy = 0;
    SendMessageW(this, WM_SCAN_DONE, 0, 0);
}

LRESULT CScanFileDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LOG_MESSAGE:
        // Forwarded on this thread: the log pane is used only while it lives.
        if (!m_bLogIsWindow || m_logGuard != nullptr)
            SendMessageW(m_hLogWnd, message, wParam, lParam);
        break;
    case WM_SCAN_RANGE: {
        const std::uint32_t chunks = *reinterpret_cast<const std::uint32_t*>(wParam);
        m_nRangeScale = chunks / INT_MAX + 1;
        m_wndProgress->setRange(0, std::max<int>(static_cast<int>(chunks / m_nRangeScale), 1));
        m_wndProgress->setValue(0);
        break;
    }
    case WM_SCAN_POS:
        m_wndProgress->setValue(static_cast<int>(*reinterpret_cast<const std::uint32_t*>(wParam) / m_nRangeScale));
        break;
    case WM_SCAN_RESULT:
        m_model->Append(*reinterpret_cast<const ScanResult*>(wParam));
        ++m_nResultCount;
        break;
    case WM_SCAN_DONE:
        OnScanDone();
        break;
    default:
        break;
    }
    return 0;
}

namespace {

std::optional<CCaseReport::Scan> g_lastScan;

}  // namespace

const CCaseReport::Scan* CScanFileDlg::LastScan()
{
    return g_lastScan ? &*g_lastScan : nullptr;
}

void CScanFileDlg::OnScanDone()
{
    m_flushTimer->stop();
    m_model->Flush();
    if (m_sourceHash.complete) {
        ReportGrid hits{WideFormat(u"%s: %d", {m_strScannedPath, m_nResultCount}), {}, {}};
        for (int column = 0; column < m_model->columnCount(); ++column)
            hits.headings.push_back(m_model->headerData(column, Qt::Horizontal).toString().toStdU16String());
        for (int row = 0; row < m_model->rowCount(); ++row) {
            std::vector<std::u16string> values;
            for (int column = 0; column < m_model->columnCount(); ++column)
                values.push_back(m_model->index(row, column).data().toString().toStdU16String());
            hits.rows.push_back(std::move(values));
        }
        g_lastScan = CCaseReport::Scan{m_sourceHash, std::move(hits)};
    }
    m_bScanning = false;
    m_btnScan->setEnabled(true);
    // The worker is still inside SendMessageW; it is joined once it has
    // returned from it.
    QTimer::singleShot(0, this, [this] {
        JoinWorker();
        if (m_bCloseWhenDone) {
            m_bCloseWhenDone = false;
            QDialog::reject();
        }
    });
}

void CScanFileDlg::JoinWorker()
{
    if (m_worker.joinable())
        m_worker.join();
}

void CScanFileDlg::OnStop()
{
    g_bStop = 1;
}

void CScanFileDlg::OnCancel()
{
    g_bStop = 1;
    if (!m_bScanning)
        QDialog::reject();
}

void CScanFileDlg::reject()
{
    // Escape, or the close box through closeEvent: stop, and close once the
    // worker has ended.
    if (m_bScanning) {
        g_bStop = 1;
        m_bCloseWhenDone = true;
        return;
    }
    QDialog::reject();
}

void CScanFileDlg::closeEvent(QCloseEvent* event)
{
    if (m_bScanning) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

void CScanFileDlg::OnChooseSource()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QString(), QString(),
        QStringLiteral("Vmdk Files (*.vmdk);;IMG Files (*.img);;DSK Files (*.dsk);;All Files (*)"));
    if (!path.isEmpty())
        m_editSource->setText(path);
}

void CScanFileDlg::OnChooseTarget()
{
    QFileDialog browser(this, QStringLiteral("please select path"));
    browser.setFileMode(QFileDialog::Directory);
    browser.setOption(QFileDialog::ShowDirsOnly);
    const bool accepted = browser.exec() == QDialog::Accepted;
    ApplyChosenTarget(accepted, accepted ? browser.selectedUrls().value(0) : QUrl());
}

void CScanFileDlg::ApplyChosenTarget(bool accepted, const QUrl& folder)
{
    if (!accepted) {
        m_editTarget->clear();
        return;
    }
    if (!folder.isLocalFile()) {
        QMessageBox::critical(this, windowTitle(), QStringLiteral("Fail   to   get   directory!"));
        return;
    }
    QString path = folder.toLocalFile();
    if (path.isEmpty()) {
        QMessageBox::critical(this, windowTitle(), QStringLiteral("Fail   to   get   directory"));
        return;
    }
    if (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    m_editTarget->setText(path);
}

void CScanFileDlg::OnResultListRightClick(const QPoint& pos)
{
    const QModelIndex index = m_wndResultList->indexAt(pos);
    if (!index.isValid())
        return;
    std::unique_ptr<QMenu> menu = CreateResultMenu(index.row());
    if (menu)
        menu->exec(m_wndResultList->viewport()->mapToGlobal(pos));
}

std::unique_ptr<QMenu> CScanFileDlg::CreateResultMenu(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    const auto add = [this, &menu, row](const QString& text, UINT nID) {
        QAction* action = menu->addAction(text);
        action->setData(nID);
        connect(action, &QAction::triggered, this, [this, nID, row] {
            if (nID == ID_OPEN_DATABASE)
                OpenDatabaseAt(row);
            else
                OnCommand(nID);
        });
        return action;
    };
    add(QStringLiteral("选择(打勾)"), ID_CHECK_SELECTED);
    add(QStringLiteral("全选(打勾)"), ID_CHECK_ALL_ROWS);
    add(QStringLiteral("取消(打勾)"), ID_UNCHECK_SELECTED);
    add(QStringLiteral("全部取消"), ID_UNCHECK_ALL_ROWS);
    menu->addSeparator();
    m_model->Flush();
    CModelExport::AddMenuItems(*menu, this, *m_model, false, this);
    if (m_openDatabase && m_model->TypeText(row) == QStringLiteral("sqlite"))
        add(QStringLiteral("打开数据库"), ID_OPEN_DATABASE);
    return menu;
}

void CScanFileDlg::OnCommand(UINT nID)
{
    switch (nID) {
    case ID_CHECK_SELECTED:
    case ID_UNCHECK_SELECTED: {
        QModelIndexList rows = m_wndResultList->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end());  // ascending, as the list walks them
        for (const QModelIndex& index : rows)
            m_model->SetChecked(index.row(), nID == ID_CHECK_SELECTED);
        break;
    }
    case ID_CHECK_ALL_ROWS:
    case ID_UNCHECK_ALL_ROWS:
        m_model->SetAllChecked(nID == ID_CHECK_ALL_ROWS);
        break;
    default:
        break;
    }
}

bool CScanFileDlg::ExportResults(const QString& path, bool checkedOnly)
{
    m_model->Flush();
    return CModelExport::Write(*m_model, path, CRowExport::Format::kCsv, checkedOnly) >= 0;
}

void CScanFileDlg::OpenDatabaseAt(int row)
{
    if (row < 0 || row >= m_model->rowCount() || m_model->TypeText(row) != QStringLiteral("sqlite"))
        return;
    const std::u16string target = m_editTarget->text().toStdU16String();
    if (target.empty()) {
        PostLog(this, u"warning", u"Please select the target path", kLogWarning);
        return;
    }
    const CScanResultModel::Hit& hit = m_model->HitAt(row);
    const std::u16string written =
        CCarvedFileWriter(m_strScannedPath, target).Write(hit.offset, hit.size, this);
    if (!written.empty() && m_openDatabase)
        m_openDatabase(QString::fromStdU16String(written));
}
