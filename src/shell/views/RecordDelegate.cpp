#include "RecordDelegate.h"

#include "AsciiGlyphs.h"
#include "PlainGlyphs.h"

#include <QApplication>
#include <QGlyphRun>
#include <QPainter>
#include <QPixmapCache>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <cmath>

namespace {

// Characters a colour emoji font may draw: everything outside the Basic
// Multilingual Plane, the emoji presentation selector and keycap mark, and
// the symbol blocks of the plane that hold emoji (☕, ⌚, ⭐, ✅ ...). A text
// font's symbol drawn this way looks the same, only cached.
bool IsEmojiUnit(char16_t c)
{
    return QChar::isSurrogate(c) || c == 0xFE0F || c == 0x20E3 || (c >= 0x2300 && c <= 0x23FF) ||
           (c >= 0x2600 && c <= 0x27BF) || (c >= 0x2B00 && c <= 0x2BFF) || c == 0x3030 ||
           c == 0x303D || c == 0x3297 || c == 0x3299;
}

bool IsEmojiCluster(QStringView cluster)
{
    for (const QChar c : cluster)
        if (IsEmojiUnit(c.unicode()))
            return true;
    return false;
}

// The picture of one emoji cluster at `font`, rendered once.
QPixmap EmojiPicture(QStringView cluster, const QFont& font, const QColor& color, qreal ratio)
{
    const QString key = QStringLiteral("salvix-emoji:%1:%2:%3:").arg(font.key()).arg(color.rgba()).arg(ratio) +
                        cluster.toString();
    QPixmap picture;
    if (QPixmapCache::find(key, &picture))
        return picture;
    const QFontMetrics metrics(font);
    const QSize size(std::max(1, metrics.horizontalAdvance(cluster.toString())), metrics.height());
    picture = QPixmap(size * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QPointF(0, metrics.ascent()), cluster.toString());
    painter.end();
    QPixmapCache::insert(key, picture);
    return picture;
}

}  // namespace

bool CRecordDelegate::HasEmoji(const QString& text)
{
    return IsEmojiCluster(text);
}

void CRecordDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    const bool emoji = HasEmoji(cell.text);
    if (!emoji && !IsOneLine(cell)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QString text = cell.text;
    if (IsPlain(cell)) {
        // Nothing of the style's but maybe a check box: the view has drawn
        // the row's background already.
        if (cell.features & QStyleOptionViewItem::HasCheckIndicator)
            PaintCheck(painter, cell);
    } else {
        // The style draws the cell without its text (background, check box,
        // focus); the text is drawn here.
        cell.text.clear();
        const QWidget* widget = cell.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        cell.text = text;
    }
    if (emoji)
        PaintRuns(painter, cell, text);
    else if (!text.isEmpty())
        PaintLine(painter, cell, text);
}

bool CRecordDelegate::IsOneLine(const QStyleOptionViewItem& cell)
{
    if ((cell.features & QStyleOptionViewItem::WrapText) || cell.direction != Qt::LeftToRight)
        return false;
    for (const QChar c : cell.text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            return false;
    return true;
}

bool CRecordDelegate::IsPlain(const QStyleOptionViewItem& cell)
{
    return !(cell.state & (QStyle::State_Selected | QStyle::State_HasFocus)) &&
           !(cell.features & QStyleOptionViewItem::HasDecoration) && cell.icon.isNull() &&
           cell.backgroundBrush.style() == Qt::NoBrush;
}

// The places of the cell's parts as the style lays them out. The style
// would lay out the text to find them, measuring every emoji, which decodes
// its picture: a one-letter stand-in gives the same rects.
static CRecordDelegate::CellParts LayOutParts(const QStyleOptionViewItem& cell)
{
    const QWidget* widget = cell.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    QStyleOptionViewItem layout(cell);
    layout.text = QStringLiteral("x");
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect text =
        style->subElementRect(QStyle::SE_ItemViewItemText, &layout, widget).adjusted(margin, 0, -margin, 0);
    CRecordDelegate::CellParts parts;
    parts.text = QMargins(text.left() - cell.rect.left(), text.top() - cell.rect.top(),
                          cell.rect.right() - text.right(), cell.rect.bottom() - text.bottom());
    if (cell.features & QStyleOptionViewItem::HasCheckIndicator)
        parts.check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &layout, widget)
                          .translated(-cell.rect.topLeft());
    return parts;
}

const CRecordDelegate::CellParts& CRecordDelegate::PartsOf(const QStyleOptionViewItem& cell) const
{
    // The parts keep their places in every cell of one size, font and kind
    // (with or without check box and icon): the style is asked once.
    const std::size_t key = qHashMulti(0, cell.rect.width(), cell.rect.height(),
                                       int(cell.features & (QStyleOptionViewItem::HasCheckIndicator |
                                                            QStyleOptionViewItem::HasDecoration)),
                                       cell.decorationSize.width(), cell.font.pointSizeF(),
                                       cell.font.pixelSize(), cell.font.weight(), cell.font.family());
    auto found = m_parts.constFind(key);
    if (found == m_parts.constEnd()) {
        if (m_parts.size() > 1024)
            m_parts.clear();
        found = m_parts.insert(key, LayOutParts(cell));
    }
    return found.value();
}

QRect CRecordDelegate::CellTextArea(const QStyleOptionViewItem& cell) const
{
    return cell.rect.marginsRemoved(PartsOf(cell).text);
}

// The style's check box for the cell, drawn once per state, size and palette
// and kept in QPixmapCache: the style draws it with gradients, outline and
// mark on every paint, a good part of a scroll step.
void CRecordDelegate::PaintCheck(QPainter* painter, const QStyleOptionViewItem& cell) const
{
    const QRect place = PartsOf(cell).check.translated(cell.rect.topLeft());
    if (place.isEmpty())
        return;
    const QWidget* widget = cell.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    QStyleOptionViewItem check(cell);
    check.rect = QRect(QPoint(0, 0), place.size());
    check.state &= ~QStyle::State_HasFocus;
    switch (cell.checkState) {
    case Qt::Unchecked:
        check.state |= QStyle::State_Off;
        break;
    case Qt::PartiallyChecked:
        check.state |= QStyle::State_NoChange;
        break;
    case Qt::Checked:
        check.state |= QStyle::State_On;
        break;
    }
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QString key = QStringLiteral("salvix-check:%1:%2:%3:%4:%5:%6")
                            .arg(quintptr(style))
                            .arg(int(check.state))
                            .arg(place.width())
                            .arg(place.height())
                            .arg(cell.palette.cacheKey())
                            .arg(ratio);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QPixmap(place.size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter on(&picture);
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, &on, widget);
        on.end();
        QPixmapCache::insert(key, picture);
    }
    painter->drawPixmap(place.topLeft(), picture);
}

static QPalette::ColorGroup ColorGroup(const QStyleOptionViewItem& cell)
{
    return !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
           : (cell.state & QStyle::State_Active) ? QPalette::Normal
                                                  : QPalette::Inactive;
}

// The text's colour as the style picks it.
static QColor TextColor(const QStyleOptionViewItem& cell)
{
    const bool selected = cell.state & QStyle::State_Selected;
    return cell.palette.color(ColorGroup(cell), selected ? QPalette::HighlightedText : QPalette::Text);
}

// Draws one line of text as the style does (in the text rect, vertically
// centred, aligned as the cell asks, elided where it is too wide), shaping
// it once: the style shapes it three times, to size the cell's parts, to
// elide it and to draw it.
void CRecordDelegate::PaintLine(QPainter* painter, const QStyleOptionViewItem& cell, const QString& text) const
{
    const QRect area = CellTextArea(cell);
    const Qt::Alignment align = QStyle::visualAlignment(cell.direction, cell.displayAlignment);
    const CAsciiGlyphs* glyphs = nullptr;
    if (cell.textElideMode == Qt::ElideRight && CAsciiGlyphs::IsPrintableAscii(text))
        glyphs = CAsciiGlyphs::For(cell.font);
    if (glyphs != nullptr) {
        qreal width = 0;
        const QGlyphRun run = glyphs->Run(text, area.width(), width);
        qreal x = area.left();
        if (align & Qt::AlignRight)
            x = area.left() + area.width() - width;
        else if (align & Qt::AlignHCenter)
            x = area.left() + (area.width() - width) / 2.0;
        // Centred as the text layout centres a line: by its height rounded up.
        const qreal top = area.top() + (area.height() - std::ceil(glyphs->Ascent() + glyphs->Descent())) / 2.0;
        painter->save();
        painter->setClipRect(cell.rect);
        painter->setPen(TextColor(cell));
        painter->drawGlyphRun(QPointF(x, top + glyphs->Ascent()), run);
        painter->restore();
        return;
    }
    CPlainGlyphs::Line plain;
    if (cell.textElideMode == Qt::ElideRight && CPlainGlyphs::For(cell.font).Lay(text, area.width(), plain)) {
        qreal x = area.left();
        if (align & Qt::AlignRight)
            x = area.left() + area.width() - plain.width;
        else if (align & Qt::AlignHCenter)
            x = area.left() + (area.width() - plain.width) / 2.0;
        const qreal baseline =
            area.top() + (area.height() - std::ceil(plain.ascent + plain.descent)) / 2.0 + plain.ascent;
        painter->save();
        painter->setClipRect(cell.rect);
        painter->setPen(TextColor(cell));
        for (const QGlyphRun& run : plain.runs)
            painter->drawGlyphRun(QPointF(x, baseline), run);
        painter->restore();
        return;
    }
    QTextOption option;
    option.setWrapMode(QTextOption::ManualWrap);
    option.setTextDirection(cell.direction);
    option.setAlignment(align);
    QTextLayout layout(text, cell.font);
    const auto layOut = [&] {
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(area.width());
        layout.endLayout();
        return line;
    };
    QTextLine line = layOut();
    if (line.naturalTextWidth() > area.width()) {
        const QFontMetrics metrics(cell.font);
        layout.setText(metrics.elidedText(text, cell.textElideMode, area.width()));
        line = layOut();
    }
    const QPointF position(area.left(), area.top() + (area.height() - line.height()) / 2.0);
    painter->save();
    painter->setClipRect(cell.rect);
    painter->setPen(TextColor(cell));
    layout.draw(painter, position);
    painter->restore();
}

// Draws `text` left-aligned and vertically centred in the cell's text rect,
// plain runs with the painter and emoji from their pictures, cut with "…"
// where the cell ends (as the style elides).
void CRecordDelegate::PaintRuns(QPainter* painter, const QStyleOptionViewItem& cell, const QString& text) const
{
    const QRect area = CellTextArea(cell);
    const QPalette::ColorGroup group = ColorGroup(cell);
    const bool selected = cell.state & QStyle::State_Selected;
    const QColor color = TextColor(cell);
    const QFontMetrics metrics(cell.font);
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const int baseline = area.top() + (area.height() - metrics.height()) / 2 + metrics.ascent();

    painter->save();
    painter->setClipRect(area);
    painter->setFont(cell.font);
    painter->setPen(color);
    // One line only, as the list shows it: line breaks are drawn as spaces.
    // No cell is wide enough to show more than its first few thousand
    // characters.
    QString line = text.left(4096);
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    const int right = area.right() + 1;
    int x = area.left();
    qsizetype runStart = 0;
    // Plain text between emoji goes to the painter in one piece.
    CPlainGlyphs& plainGlyphs = CPlainGlyphs::For(cell.font);
    CPlainGlyphs::Line plain;
    auto drawRun = [&](qsizetype from, qsizetype to) {
        if (to > from && x <= right) {
            const QStringView run = QStringView(line).mid(from, to - from);
            if (plainGlyphs.Lay(run, -1, plain)) {
                for (const QGlyphRun& glyphs : plain.runs)
                    painter->drawGlyphRun(QPointF(x, baseline), glyphs);
                x += qRound(plain.width);
            } else {
                painter->drawText(QPoint(x, baseline), run.toString());
                x += metrics.horizontalAdvance(run.toString());
            }
        }
    };
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, line);
    for (qsizetype start = 0; start < line.size() && x <= right;) {
        qsizetype end = clusters.toNextBoundary();
        if (end <= start)
            end = line.size();
        const QStringView cluster = QStringView(line).mid(start, end - start);
        if (IsEmojiCluster(cluster)) {
            drawRun(runStart, start);
            const QPixmap picture = EmojiPicture(cluster, cell.font, color, ratio);
            if (x <= right)
                painter->drawPixmap(QPoint(x, baseline - metrics.ascent()), picture);
            x += qRound(picture.width() / picture.devicePixelRatio());
            runStart = end;
        }
        start = end;
    }
    drawRun(runStart, line.size());
    if (x > right) {
        const int ellipsis = metrics.horizontalAdvance(QChar(0x2026));
        const QRect mark(right - ellipsis, area.top(), ellipsis, area.height());
        painter->fillRect(mark, selected ? cell.palette.brush(group, QPalette::Highlight)
                          : cell.backgroundBrush.style() != Qt::NoBrush ? cell.backgroundBrush
                                                                        : cell.palette.brush(group, QPalette::Base));
        painter->drawText(QPoint(mark.left(), baseline), QString(QChar(0x2026)));
    }
    painter->restore();
}
