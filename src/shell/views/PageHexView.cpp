#include "PageHexView.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>

#include "driver/ViewTexts.h"

namespace {

constexpr int kMargin = 4;
constexpr int kOffsetChars = 6;  // four hex digits and two spaces
constexpr int kGapAfter = 8;     // an extra space after the eighth byte

char Printable(std::uint8_t byte)
{
    return byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '.';
}

}  // namespace

CPageHexView::CPageHexView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("PageHexView"));
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    viewport()->setMouseTracking(false);
    viewport()->setCursor(Qt::PointingHandCursor);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

int CPageHexView::LineHeight() const
{
    return fontMetrics().height() + 2;
}

int CPageHexView::CharWidth() const
{
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

int CPageHexView::HexX(int column) const
{
    return kMargin + (kOffsetChars + 3 * column + (column >= kGapAfter ? 1 : 0)) * CharWidth() -
           horizontalScrollBar()->value();
}

int CPageHexView::TextX(int column) const
{
    return kMargin + (kOffsetChars + 3 * kBytesPerLine + 2 + column) * CharWidth() -
           horizontalScrollBar()->value();
}

void CPageHexView::SetPage(const std::vector<std::uint8_t>& bytes, const std::vector<PageRegion>& regions)
{
    m_bytes = bytes;
    m_regions = regions;
    m_regionOf.assign(m_bytes.size(), 0);
    for (std::uint32_t i = 0; i < m_regions.size(); ++i) {
        const std::uint32_t end = std::min<std::uint32_t>(m_regions[i].end, ByteCount());
        for (std::uint32_t at = std::min(m_regions[i].start, end); at < end; ++at)
            m_regionOf[at] = i;
    }
    m_highlightStart = m_highlightEnd = 0;
    UpdateScrollBars();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void CPageHexView::Clear()
{
    SetPage({}, {});
}

const PageRegion* CPageHexView::RegionOf(std::uint32_t offset) const
{
    if (offset >= m_regionOf.size() || m_regions.empty())
        return nullptr;
    return &m_regions[m_regionOf[offset]];
}

void CPageHexView::SetHighlight(std::uint32_t start, std::uint32_t end)
{
    end = std::min(end, ByteCount());
    if (start >= end)
        start = end = 0;
    m_highlightStart = start;
    m_highlightEnd = end;
    if (end > start) {
        // The record's first line in view, and as much of it as fits.
        const int first = static_cast<int>(start / kBytesPerLine);
        const int last = static_cast<int>((end - 1) / kBytesPerLine);
        const int visible = std::max(1, viewport()->height() / LineHeight());
        QScrollBar* bar = verticalScrollBar();
        if (first < bar->value() || last >= bar->value() + visible)
            bar->setValue(last - first < visible ? std::max(0, first - (visible - (last - first) - 1) / 2)
                                                 : first);
    }
    viewport()->update();
}

void CPageHexView::UpdateScrollBars()
{
    const int lines = static_cast<int>((m_bytes.size() + kBytesPerLine - 1) / kBytesPerLine);
    const int visible = std::max(1, viewport()->height() / LineHeight());
    verticalScrollBar()->setRange(0, std::max(0, lines - visible));
    verticalScrollBar()->setPageStep(visible);
    const int width = kMargin * 2 + (kOffsetChars + 3 * kBytesPerLine + 2 + kBytesPerLine) * CharWidth();
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void CPageHexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

QColor CPageHexView::RegionColor(PageRegionKind kind, std::int32_t cell)
{
    switch (kind) {
    case PageRegionKind::kFileHeader: return QColor(214, 208, 255);
    case PageRegionKind::kPageHeader: return QColor(176, 204, 255);
    case PageRegionKind::kCellPointers: return QColor(190, 236, 250);
    case PageRegionKind::kReserved: return QColor(200, 200, 200);
    case PageRegionKind::kCell: return cell % 2 == 0 ? QColor(204, 242, 204) : QColor(170, 224, 170);
    case PageRegionKind::kFreeblock: return QColor(255, 200, 200);
    case PageRegionKind::kOverflowData: return QColor(232, 220, 255);
    case PageRegionKind::kFreelistData: return QColor(255, 228, 190);
    case PageRegionKind::kUnallocated: break;
    }
    return QColor(250, 250, 244);
}

void CPageHexView::PaintLine(QPainter& painter, int line, int y) const
{
    const int cw = CharWidth();
    const int lh = LineHeight();
    const int ascent = fontMetrics().ascent() + 1;
    const std::uint32_t first = static_cast<std::uint32_t>(line) * kBytesPerLine;
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(kMargin - horizontalScrollBar()->value(), y + ascent,
                     QStringLiteral("%1").arg(first, 4, 16, QLatin1Char('0')));
    char hex[3] = {};
    for (int column = 0; column < kBytesPerLine && first + column < ByteCount(); ++column) {
        const std::uint32_t at = first + static_cast<std::uint32_t>(column);
        const bool lit = at >= m_highlightStart && at < m_highlightEnd;
        const PageRegion* region = RegionOf(at);
        const QColor back = lit ? HighlightColor()
                                : RegionColor(region != nullptr ? region->kind : PageRegionKind::kUnallocated,
                                              region != nullptr ? region->cell : 0);
        // The hex cell takes its trailing space, so a region reads as one band.
        const bool joined = column + 1 < kBytesPerLine && column + 1 != kGapAfter;
        painter.fillRect(HexX(column), y, cw * (joined ? 3 : 2), lh, back);
        painter.fillRect(TextX(column), y, cw, lh, back);
        std::snprintf(hex, sizeof hex, "%02x", m_bytes[at]);
        painter.setPen(lit ? QColor(0, 0, 0) : palette().color(QPalette::Text));
        painter.drawText(HexX(column), y + ascent, QLatin1String(hex, 2));
        painter.drawText(TextX(column), y + ascent, QString(QLatin1Char(Printable(m_bytes[at]))));
    }
}

void CPageHexView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    painter.setFont(font());
    const int lh = LineHeight();
    const int lines = static_cast<int>((m_bytes.size() + kBytesPerLine - 1) / kBytesPerLine);
    const int top = verticalScrollBar()->value();
    const int firstDrawn = top + std::max(0, event->rect().top() / lh);
    const int lastDrawn = std::min(lines - 1, top + event->rect().bottom() / lh);
    for (int line = firstDrawn; line <= lastDrawn; ++line)
        PaintLine(painter, line, (line - top) * lh);
}

int CPageHexView::ByteAt(const QPoint& point) const
{
    const int line = verticalScrollBar()->value() + point.y() / LineHeight();
    if (point.y() < 0 || line < 0)
        return -1;
    const int cw = CharWidth();
    for (int column = 0; column < kBytesPerLine; ++column) {
        const std::int64_t at = static_cast<std::int64_t>(line) * kBytesPerLine + column;
        if (at >= ByteCount())
            break;
        const bool inHex = point.x() >= HexX(column) && point.x() < HexX(column) + 3 * cw;
        const bool inText = point.x() >= TextX(column) && point.x() < TextX(column) + cw;
        if (inHex || inText)
            return static_cast<int>(at);
    }
    return -1;
}

QRect CPageHexView::HexRect(std::uint32_t offset) const
{
    const int line = static_cast<int>(offset / kBytesPerLine) - verticalScrollBar()->value();
    return QRect(HexX(static_cast<int>(offset % kBytesPerLine)), line * LineHeight(), 2 * CharWidth(),
                 LineHeight());
}

void CPageHexView::mousePressEvent(QMouseEvent* event)
{
    const int at = ByteAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && at >= 0)
        emit ByteClicked(static_cast<quint32>(at));
    QAbstractScrollArea::mousePressEvent(event);
}

bool CPageHexView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QAbstractScrollArea::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const int at = ByteAt(help->pos());
    const PageRegion* region = at >= 0 ? RegionOf(static_cast<std::uint32_t>(at)) : nullptr;
    if (region == nullptr) {
        QToolTip::hideText();
        return true;
    }
    QString text = QString::fromUtf16(u"偏移 %1 (0x%2): %3")
                       .arg(at)
                       .arg(at, 0, 16)
                       .arg(QString::fromStdU16String(std::u16string(PageRegionText(region->kind))));
    if (region->cell >= 0)
        text += QStringLiteral(" #%1").arg(region->cell);
    text += QStringLiteral(" [%1, %2)").arg(region->start).arg(region->end);
    QToolTip::showText(help->globalPos(), text, viewport());
    return true;
}
