#include "SalvixRightView.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPointer>
#include <QResizeEvent>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "MainFrame.h"
#include "ModelExport.h"
#include "OutputWnd.h"
#include "PagePane.h"
#include "RecordDelegate.h"
#include "ResourceIds.h"
#include "TFColorListCtrl.h"
#include "driver/JobContext.h"
#include "driver/JobControl.h"
#include "driver/TimeColumns.h"

namespace {

struct MenuItem {
    UINT nID;
    const char16_t* text;
};
constexpr MenuItem kRecordMenu[] = {
    {ID_RECORD_CHECK_SELECTED, u"选择(打勾)"},
    {ID_RECORD_CHECK_ALL, u"全选(打勾)"},
    {ID_RECORD_UNCHECK_SELECTED, u"取消(打勾)"},
    {ID_RECORD_UNCHECK_ALL, u"全部取消"},
};

constexpr int kColumnWidth = 100;

}  // namespace

CSalvixRightView::CSalvixRightView(CMainFrame* frame, bool bTableWindow, QWidget* parent)
    : QWidget(parent), m_pMainFrame(frame)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (bTableWindow) {
        m_list = new QTableView(this);
        m_records = new CRecordListModel(m_list);
        m_list->setModel(m_records);
        m_list->setItemDelegate(new CRecordDelegate(m_list));
        m_list->setShowGrid(true);
        m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_list->setWordWrap(false);
        // Fixed row heights and per-pixel scrolling keep a million rows smooth.
        m_list->verticalHeader()->hide();
        m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
        m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
        m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_list->horizontalHeader()->setStretchLastSection(false);
        m_list->horizontalHeader()->setSectionsClickable(true);
        connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this,
                &CSalvixRightView::OnHeaderClicked);
        auto* copy = new QAction(m_list);
        copy->setShortcut(QKeySequence::Copy);
        copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(copy, &QAction::triggered, this, &CSalvixRightView::CopySelection);
        m_list->addAction(copy);
        // The page of the selected record follows the current row.
        connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex& current) {
                    if (current.isValid())
                        ShowRowPage(current.row());
                });
        m_list->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(m_list->horizontalHeader(), &QWidget::customContextMenuRequested, this,
                [this](const QPoint& pos) {
                    QHeaderView* header = m_list->horizontalHeader();
                    if (std::unique_ptr<QMenu> menu = CreateHeaderMenu(header->logicalIndexAt(pos)))
                        menu->exec(header->mapToGlobal(pos));
                });
        m_pagePane = new CPagePane(this);
        connect(m_pagePane, &CPagePane::ByteClicked, this, &CSalvixRightView::SelectRecordAt);
    } else {
        m_properties = new TFColorListCtrl(this);
        m_properties->InsertColumn(QString::fromUtf16(u"属性名称"));
        m_properties->InsertColumn(QString::fromUtf16(u"属性值"));
        m_properties->setColumnWidth(0, kColumnWidth);
        m_properties->setColumnWidth(1, kColumnWidth);
        m_list = m_properties;
    }
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CSalvixRightView::OnListRightClick);
    if (m_pagePane == nullptr) {
        layout->addWidget(m_list);
        return;
    }
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_list);
    split->addWidget(m_pagePane);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split);
}

HWND CSalvixRightView::LogWnd() const
{
    return m_pMainFrame != nullptr && m_pMainFrame->OutputWnd() != nullptr
               ? m_pMainFrame->OutputWnd()->GetLogWnd()
               : nullptr;
}

int CSalvixRightView::GetItemCount() const
{
    return m_records != nullptr ? m_records->GetItemCount() : m_properties->GetItemCount();
}

void CSalvixRightView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int w = event->size().width();
    if (m_list->model() != nullptr && m_list->model()->columnCount() == 2) {
        m_list->setColumnWidth(0, w / 2);
        m_list->setColumnWidth(1, w - w / 2);
    }
}

void CSalvixRightView::ShowProperties(const std::vector<PropertyRow>& rows)
{
    if (m_properties == nullptr)
        return;
    m_properties->DeleteAllRows();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        m_properties->InsertRow(i, QString::fromStdU16String(rows[i].first));
        m_properties->SetItemText(i, 1, QString::fromStdU16String(rows[i].second));
    }
}

void CSalvixRightView::SetupRecordColumns(std::shared_ptr<CJobContext> job, const TableInfo& table)
{
    if (m_records == nullptr)
        return;
    QStringList captions;
    for (const ColumnInfo& column : table.columns)
        captions.append(QString::fromStdU16String(column.name));
    ++m_nSortGeneration;  // a sort still running is for the old rows
    m_nSortColumn = -1;
    m_sortMode = CRecordListModel::SortMode::kWalk;
    m_list->horizontalHeader()->setSortIndicatorShown(false);
    m_pagePane->SetDatabase(job != nullptr ? job->m_pSelDb : nullptr, LogWnd());
    m_records->Setup(std::move(job), captions);
    for (int column = 0; column < m_records->columnCount(); ++column)
        m_list->setColumnWidth(column, kColumnWidth);
}

void CSalvixRightView::ShowRecordRows(std::size_t count)
{
    if (m_records != nullptr)
        m_records->ShowRows(count);
}

bool CSalvixRightView::OnCommand(UINT nID)
{
    switch (nID) {
    case ID_RECORD_CHECK_SELECTED:
        SetSelectedChecked(true);
        return true;
    case ID_RECORD_CHECK_ALL:
        SetAllChecked(true);
        return true;
    case ID_RECORD_UNCHECK_SELECTED:
        SetSelectedChecked(false);
        return true;
    case ID_RECORD_UNCHECK_ALL:
        SetAllChecked(false);
        return true;
    case ID_SHOW_RECOVERED:
        SetShowRecovered(m_records != nullptr && !m_records->ShowsRecovered());
        return true;
    default:
        return false;
    }
}

void CSalvixRightView::SetShowRecovered(bool show)
{
    if (m_records == nullptr)
        return;
    // The list goes back to walk order; a sort still running is for the
    // rows as they were.
    ++m_nSortGeneration;
    m_nSortColumn = -1;
    m_sortMode = CRecordListModel::SortMode::kWalk;
    m_list->horizontalHeader()->setSortIndicatorShown(false);
    m_records->SetShowRecovered(show);
}

void CSalvixRightView::SetAllChecked(bool checked)
{
    if (m_records != nullptr)
        m_records->SetAllChecked(checked);
}

std::vector<int> CSalvixRightView::SelectedRows() const
{
    std::vector<int> rows;
    if (m_list->selectionModel() == nullptr)
        return rows;
    // Ranges, not one index per cell: a selection may hold a million rows.
    for (const QItemSelectionRange& range : m_list->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void CSalvixRightView::SetSelectedChecked(bool checked)
{
    if (m_records == nullptr)
        return;
    for (int row : SelectedRows())
        m_records->SetChecked(row, checked);
}

void CSalvixRightView::CopySelection()
{
    if (m_records == nullptr)
        return;
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty())
        QApplication::clipboard()->setText(m_records->RowsAsText(rows));
}

std::unique_ptr<QMenu> CSalvixRightView::CreateRecordMenu(const QPoint& pos)
{
    // Only a record list has the menu, and only over a row.
    if (m_records == nullptr || !m_list->indexAt(pos).isValid())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    for (const MenuItem& item : kRecordMenu) {
        QAction* action = menu->addAction(QString::fromUtf16(item.text));
        const UINT nID = item.nID;
        action->setData(nID);
        connect(action, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
    }
    // The recovered rows, shown after the live ones or hidden.
    menu->addSeparator();
    QAction* recovered = menu->addAction(QString::fromUtf16(u"显示已删除记录"));
    recovered->setCheckable(true);
    recovered->setChecked(m_records->ShowsRecovered());
    recovered->setData(ID_SHOW_RECOVERED);
    connect(recovered, &QAction::triggered, this, [this] { OnCommand(ID_SHOW_RECOVERED); });
    // The rows as the list shows them, all or the checked ones, saved as
    // CSV or JSON Lines.
    menu->addSeparator();
    CModelExport::AddMenuItems(*menu, this, *m_records, true, LogWnd());
    return menu;
}

void CSalvixRightView::OnListRightClick(const QPoint& pos)
{
    if (std::unique_ptr<QMenu> menu = CreateRecordMenu(pos))
        menu->exec(m_list->viewport()->mapToGlobal(pos));
}

void CSalvixRightView::OnHeaderClicked(int column)
{
    using Mode = CRecordListModel::SortMode;
    if (m_records == nullptr)
        return;
    Mode next = Mode::kAscending;
    if (column == m_nSortColumn)
        next = m_sortMode == Mode::kAscending
                   ? Mode::kDescending
                   : (m_sortMode == Mode::kDescending ? Mode::kWalk : Mode::kAscending);
    StartSort(column, next);
}

void CSalvixRightView::StartSort(int column, CRecordListModel::SortMode mode)
{
    using Mode = CRecordListModel::SortMode;
    const std::shared_ptr<CJobContext> job = m_records->Job();
    HWND log = LogWnd();
    if (job == nullptr || m_records->GetItemCount() == 0)
        return;
    if (job->m_bRunning) {
        CJobControl::Warn(log, u"The records are still being shown; sort once they are all in");
        return;
    }
    m_nSortColumn = mode == Mode::kWalk ? -1 : column;
    m_sortMode = mode;
    QHeaderView* header = m_list->horizontalHeader();
    header->setSortIndicatorShown(mode != Mode::kWalk);
    if (mode != Mode::kWalk)
        header->setSortIndicator(column, mode == Mode::kAscending ? Qt::AscendingOrder
                                                                  : Qt::DescendingOrder);
    const int generation = ++m_nSortGeneration;
    const std::size_t shown = static_cast<std::size_t>(m_records->GetItemCount());
    const std::size_t live = m_records->LiveShown();
    const std::size_t recovered = m_records->RecoveredShown();
    QPointer<CSalvixRightView> self(this);
    // The rows stay alive with the job context the sort holds; the result
    // comes back to this thread and is dropped if the list changed meanwhile.
    CJobControl::StartBackground([job, shown, live, recovered, column, mode, generation, self] {
        std::vector<std::uint32_t> order =
            CRecordListModel::SortedOrder(*job, live, recovered, column, mode);
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, shown, order = std::move(order)]() mutable {
                if (self == nullptr || generation != self->m_nSortGeneration)
                    return;
                self->m_records->ApplyOrder(std::move(order), shown);
                emit self->SortApplied();
            },
            Qt::QueuedConnection);
    });
}

std::unique_ptr<QMenu> CSalvixRightView::CreateHeaderMenu(int column)
{
    if (m_records == nullptr || column < 0 || column >= m_records->TableColumnCount())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QMenu* times = menu->addMenu(QString::fromUtf16(u"显示为时间"));
    auto* group = new QActionGroup(times);
    const std::optional<TimeEncoding> chosen = m_records->TimeEncodingOf(column);
    const auto add = [&](const QString& text, std::optional<TimeEncoding> encoding) {
        QAction* action = times->addAction(text);
        action->setCheckable(true);
        action->setChecked(chosen == encoding);
        action->setData(encoding ? static_cast<int>(*encoding) : -1);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, column, encoding] {
            m_records->SetTimeEncoding(column, encoding);
            // Room for a whole time: "2020-01-06T00:00:00.000Z".
            const int width = m_list->fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00T00:00:00.000Z")) + 16;
            if (encoding && m_list->columnWidth(column) < width)
                m_list->setColumnWidth(column, width);
        });
    };
    add(QString::fromUtf16(u"原值"), std::nullopt);
    times->addSeparator();
    for (int i = 0; i < kTimeEncodingCount; ++i) {
        const auto encoding = static_cast<TimeEncoding>(i);
        add(QString::fromStdU16String(std::u16string(CTimeColumns::Caption(encoding))), encoding);
    }
    return menu;
}

void CSalvixRightView::ShowRowPage(int row)
{
    const std::shared_ptr<CJobContext> job = m_records != nullptr ? m_records->Job() : nullptr;
    if (job == nullptr || row < 0 || row >= m_records->rowCount())
        return;
    const CTableRows& rows = job->m_tableRows;
    const std::size_t index = m_records->RowIndex(row);
    const PageRef ref = rows.PageOf(index);
    if (ref.page == 0 || !m_pagePane->ShowPage(ref))
        return;
    m_pagePane->Highlight(rows.Extent(index, m_pagePane->Reader().Map()));
}

int CSalvixRightView::PresentedRow(std::size_t index) const
{
    const int rows = m_records != nullptr ? m_records->rowCount() : 0;
    for (int row = 0; row < rows; ++row)
        if (m_records->RowIndex(row) == index)
            return row;
    return -1;
}

bool CSalvixRightView::SelectRecordAt(quint32 offset)
{
    const std::shared_ptr<CJobContext> job = m_records != nullptr ? m_records->Job() : nullptr;
    if (job == nullptr || !m_pagePane->HasPage())
        return false;
    const CPageReader& reader = m_pagePane->Reader();
    const std::optional<std::size_t> index = job->m_tableRows.RowAt(reader.Ref(), offset, reader.Map());
    const int row = index ? PresentedRow(*index) : -1;
    if (row < 0)
        return false;
    const QModelIndex cell = m_records->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(
        cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(cell);
    return true;
}
