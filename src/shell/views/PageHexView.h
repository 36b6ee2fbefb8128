// The bytes of one page, painted line by line: the offset, 16 bytes as hex
// and the same bytes as text (printable ASCII, '.' for the rest). Each
// byte's background is the colour of the page region holding it; the bytes
// of the selected record are painted over in the highlight colour. Only the
// lines in view are painted, so a 64 KiB page costs no more than a small
// one. A click on a byte tells ByteClicked; a pause over one shows its
// offset and region.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <cstdint>
#include <vector>

#include "records/PageMap.h"

class CPageHexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kBytesPerLine = 16;

    explicit CPageHexView(QWidget* parent = nullptr);

    // Shows `bytes` laid out by `regions` (which cover them in order); no
    // byte highlighted.
    void SetPage(const std::vector<std::uint8_t>& bytes, const std::vector<PageRegion>& regions);
    void Clear();
    // Highlights bytes [start, end) and scrolls them into view; an empty
    // range highlights nothing.
    void SetHighlight(std::uint32_t start, std::uint32_t end);
    std::uint32_t HighlightStart() const { return m_highlightStart; }
    std::uint32_t HighlightEnd() const { return m_highlightEnd; }
    std::uint32_t ByteCount() const { return static_cast<std::uint32_t>(m_bytes.size()); }

    // The byte under `point` of the viewport (hex or text column), or -1.
    int ByteAt(const QPoint& point) const;
    // The viewport rectangle of byte `offset` in the hex column.
    QRect HexRect(std::uint32_t offset) const;
    // The colour a region of `kind` is painted in; cells alternate between
    // two shades so neighbours stand apart.
    static QColor RegionColor(PageRegionKind kind, std::int32_t cell = 0);
    static QColor HighlightColor() { return QColor(255, 176, 0); }

signals:
    void ByteClicked(quint32 offset);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    int LineHeight() const;
    int CharWidth() const;
    int HexX(int column) const;
    int TextX(int column) const;
    void UpdateScrollBars();
    void PaintLine(QPainter& painter, int line, int y) const;
    const PageRegion* RegionOf(std::uint32_t offset) const;

    std::vector<std::uint8_t> m_bytes;
    std::vector<PageRegion> m_regions;
    // Per byte: the index of its region in m_regions.
    std::vector<std::uint32_t> m_regionOf;
    std::uint32_t m_highlightStart = 0;
    std::uint32_t m_highlightEnd = 0;
};
