#include "PagePane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "PageHexView.h"
#include "driver/ViewTexts.h"

namespace {

// The region kinds in the key, in the order a page lays them out.
constexpr PageRegionKind kLegend[] = {
    PageRegionKind::kFileHeader, PageRegionKind::kPageHeader,   PageRegionKind::kCellPointers,
    PageRegionKind::kCell,       PageRegionKind::kFreeblock,    PageRegionKind::kUnallocated,
    PageRegionKind::kReserved,   PageRegionKind::kOverflowData, PageRegionKind::kFreelistData,
};

QLabel* Swatch(const QString& text, const QColor& color, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("QLabel { background: %1; color: black; padding: 1px 4px; }")
                             .arg(color.name()));
    return label;
}

}  // namespace

CPagePane::CPagePane(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PagePane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("PageTitle"));
    layout->addWidget(m_title);
    layout->addWidget(CreateLegend());
    m_hex = new CPageHexView(this);
    layout->addWidget(m_hex, 1);
    connect(m_hex, &CPageHexView::ByteClicked, this, &CPagePane::ByteClicked);
    ShowNothing(QString::fromUtf16(u"选择一条记录或一个帧,显示它所在的页"));
}

QWidget* CPagePane::CreateLegend()
{
    auto* legend = new QWidget(this);
    auto* row = new QHBoxLayout(legend);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    for (PageRegionKind kind : kLegend)
        row->addWidget(Swatch(QString::fromStdU16String(std::u16string(PageRegionText(kind))),
                              CPageHexView::RegionColor(kind), legend));
    row->addWidget(Swatch(QString::fromUtf16(u"选中记录"), CPageHexView::HighlightColor(), legend));
    row->addStretch(1);
    return legend;
}

void CPagePane::ShowNothing(const QString& hint)
{
    m_title->setText(hint);
    m_hex->Clear();
}

void CPagePane::SetDatabase(const DbInfo* db, HWND logWnd)
{
    if (db != nullptr)
        m_reader.Attach(*db, logWnd);
    else
        m_reader.Detach();
    ShowNothing(QString::fromUtf16(u"选择一条记录或一个帧,显示它所在的页"));
}

bool CPagePane::ShowPage(const PageRef& ref)
{
    if (HasPage() && m_reader.Ref() == ref)
        return true;
    if (!m_reader.Read(ref)) {
        ShowNothing(QString::fromUtf16(u"无法读取页 %1").arg(ref.page));
        return false;
    }
    m_title->setText(QString::fromStdU16String(m_reader.Title()));
    m_hex->SetPage(m_reader.Bytes(), m_reader.Map().Regions());
    return true;
}

void CPagePane::Highlight(std::pair<std::uint32_t, std::uint32_t> range)
{
    m_hex->SetHighlight(range.first, range.second);
    QString title = QString::fromStdU16String(m_reader.Title());
    if (m_hex->HighlightEnd() > m_hex->HighlightStart())
        title += QString::fromUtf16(u" · 选中 %1–%2 (%3 字节)")
                     .arg(m_hex->HighlightStart())
                     .arg(m_hex->HighlightEnd() - 1)
                     .arg(m_hex->HighlightEnd() - m_hex->HighlightStart());
    m_title->setText(title);
}

QString CPagePane::Title() const
{
    return m_title->text();
}
