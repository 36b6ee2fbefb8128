// Paints the record list's cells. A colour emoji font holds its glyphs as
// PNG pictures, and the font engine decodes and scales the picture again on
// every paint: a chat table full of emoji cost milliseconds per scroll step.
// Cells whose text holds such a character are painted here instead: the
// style draws the cell without its text, plain runs of text are drawn as
// usual (their glyphs are cached by the font engine), and each emoji is drawn
// from a picture rendered once per font and kept in QPixmapCache.
#pragma once

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
    void PaintRuns(QPainter* painter, const QStyleOptionViewItem& option, const QString& text) const;
};
