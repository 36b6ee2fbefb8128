// Paints the record list's cells. One line of text is laid out once, where
// the style lays it out three times; cells of several lines go to the style.
// A cell that is neither selected nor focused, with no icon or background of
// its own, is drawn without the style: the view has painted the row's
// background, and its check box is a picture the style drew once.
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
#include <QRect>
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

    // Where a cell's text and check box go, from the cell's corner.
    struct CellParts {
        QMargins text;  // the text rect, as insets of the cell
        QRect check;    // the check box, empty without one
    };

private:
    // True for a cell the style would draw nothing of but its text and check
    // box: not selected, without focus, icon or background of its own.
    static bool IsPlain(const QStyleOptionViewItem& cell);
    const CellParts& PartsOf(const QStyleOptionViewItem& cell) const;
    void PaintCheck(QPainter* painter, const QStyleOptionViewItem& cell) const;
    // The cell's text rect: its check box, icon and margins taken off.
    QRect CellTextArea(const QStyleOptionViewItem& cell) const;
    // True for a cell the style would draw as one line of text, left to right.
    static bool IsOneLine(const QStyleOptionViewItem& cell);
    void PaintLine(QPainter* painter, const QStyleOptionViewItem& cell, const QString& text) const;
    void PaintRuns(QPainter* painter, const QStyleOptionViewItem& option, const QString& text) const;

    mutable QHash<std::size_t, CellParts> m_parts;  // by size, font and kind of cell
};
