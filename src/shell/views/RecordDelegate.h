// Paints the record list's cells. One line of text is laid out once, where
// the style lays it out three times; cells of several lines go to the style.
// A colour emoji font holds its glyphs as
// PNG pictures, and the font engine decodes and scales the picture again on
// every paint: a chat table full of emoji cost milliseconds per scroll step.
// Cells whose text holds such a character are painted here instead: the
// style draws the cell without its text, plain runs of text are drawn as
// usual (their glyphs are cached by the font engine), and each emoji is drawn
// from a picture rendered once per font and kept in QPixmapCache.
#pragma once

#include <QHash>
#include <QMargins>
#include <QStyledItemDelegate>

class CRecordDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // True when `text` holds a character a colour emoji font may draw: one
    // outside the Basic Multilingual Plane, an emoji presentation selector,
    // or a symbol of the blocks that hold emoji.
    static bool HasEmoji(const QString& text);

private:
    // The cell's text rect: its check box, icon and margins taken off.
    QRect CellTextArea(const QStyleOptionViewItem& cell) const;
    // True for a cell the style would draw as one line of text, left to right.
    static bool IsOneLine(const QStyleOptionViewItem& cell);
    void PaintLine(QPainter* painter, const QStyleOptionViewItem& cell, const QString& text) const;
    void PaintRuns(QPainter* painter, const QStyleOptionViewItem& option, const QString& text) const;

    mutable QHash<std::size_t, QMargins> m_textInsets;  // by size, font and kind of cell
};
