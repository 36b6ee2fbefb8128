#include "LogFramesWnd.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "MainFrame.h"
#include "OutputWnd.h"
#include "PagePane.h"

namespace {

QString Hex(std::uint32_t value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

}  // namespace

CLogFramesModel::CLogFramesModel(CLogFrames frames, QObject* parent)
    : QAbstractTableModel(parent), m_frames(std::move(frames))
{
}

int CLogFramesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_frames.Frames().size());
}

int CLogFramesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant CLogFramesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CWalLog::Frame& frame = m_frames.Frames()[static_cast<std::size_t>(index.row())];
    using State = CWalLog::FrameState;
    if (role == Qt::ForegroundRole) {
        // Frames the database shown does not use stand apart.
        switch (frame.state) {
        case State::kApplied: return {};
        case State::kSuperseded: return QColor(110, 110, 110);
        case State::kUncommitted: return QColor(0, 70, 200);
        case State::kStale: return QColor(180, 100, 0);
        case State::kInvalid: return QColor(180, 0, 0);
        }
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case kIndex: return frame.index;
    case kPage: return frame.pageNumber;
    case kOwner: return QString::fromStdU16String(std::u16string(m_frames.Owner(static_cast<std::size_t>(index.row()))));
    case kCommitSize: return frame.commitSize != 0 ? QVariant(frame.commitSize) : QVariant(QString());
    case kSalt1: return Hex(frame.salt1);
    case kSalt2: return Hex(frame.salt2);
    case kChecksum: return QString::fromUtf16(frame.checksumValid ? u"有效" : u"无效");
    case kState: return QString::fromStdU16String(std::u16string(CLogFrames::StateText(frame.state)));
    default: return {};
    }
}

QVariant CLogFramesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char16_t* const kCaptions[kColumns] = {u"帧", u"页", u"所属表", u"提交页数",
                                                         u"盐值1", u"盐值2", u"校验和", u"状态"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return QString::fromUtf16(kCaptions[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

CLogFramesWnd* CLogFramesWnd::Show(CMainFrame* frame, const CLogFrames& frames)
{
    const QString path = QString::fromStdU16String(frames.DbPath());
    for (CLogFramesWnd* open : frame->findChildren<CLogFramesWnd*>()) {
        if (open->DbPath() == path) {
            open->SetFrames(frames);
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto* window = new CLogFramesWnd(frames, frame,
                                     frame->OutputWnd() != nullptr ? frame->OutputWnd()->GetLogWnd() : nullptr);
    window->resize(820, 760);
    window->show();
    return window;
}

CLogFramesWnd::CLogFramesWnd(const CLogFrames& frames, QWidget* parent, HWND logWnd)
    : QWidget(parent, Qt::Window), m_logWnd(logWnd)
{
    setObjectName(QStringLiteral("LogFramesWnd"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new QTableView(this);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pagePane = new CPagePane(this);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_list);
    split->addWidget(m_pagePane);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    layout->addWidget(split);
    // A frame holds no rows of a list: a click highlights the region it hits.
    connect(m_pagePane, &CPagePane::ByteClicked, this, [this](quint32 offset) {
        if (const PageRegion* region = m_pagePane->Reader().Map().RegionAt(offset))
            m_pagePane->Highlight({region->start, region->end});
    });
    SetFrames(frames);
}

void CLogFramesWnd::SetFrames(const CLogFrames& frames)
{
    CLogFramesModel* old = m_model;
    m_model = new CLogFramesModel(frames, this);
    m_list->setModel(m_model);
    delete old;
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CLogFramesWnd::OnCurrentChanged);
    setWindowTitle(QString::fromUtf16(u"WAL帧 - ") + DbPath());
    m_pagePane->SetDatabase(&m_model->Frames().Database(), m_logWnd);
}

QString CLogFramesWnd::DbPath() const
{
    return QString::fromStdU16String(m_model->Frames().DbPath());
}

void CLogFramesWnd::SelectFrame(int row)
{
    m_list->setCurrentIndex(m_model->index(row, 0));
}

void CLogFramesWnd::OnCurrentChanged(const QModelIndex& current)
{
    if (!current.isValid() || current.row() >= m_model->rowCount())
        return;
    const CWalLog::Frame& frame = m_model->Frames().Frames()[static_cast<std::size_t>(current.row())];
    emit FrameSelected(frame.index, frame.pageNumber, frame.pageOffset);
    m_pagePane->ShowPage({frame.pageNumber, PageRef::Version::kLogFrame, frame.index});
}
