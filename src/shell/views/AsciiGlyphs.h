// The glyphs of the printable ASCII characters in one font, looked up once,
// so that a line of such text is laid out by adding advances, with no
// shaping. Shaping a line (itemising it, finding fallback fonts, running the
// shaper) costs tens of microseconds; a record list paints hundreds of cells
// per scroll step, nearly all of them numbers, dates, addresses and
// hexadecimal. Pairs of letters are not kerned.
#pragma once

#include <QGlyphRun>
#include <QRawFont>
#include <QStringView>
#include <array>

class CAsciiGlyphs {
public:
    // The glyphs of `font`, made on first use and kept; null when the font
    // lacks one of them or the ellipsis.
    static const CAsciiGlyphs* For(const QFont& font);
    // True when every character of `text` is printable ASCII (space to '~').
    static bool IsPrintableAscii(QStringView text);

    // `text` (printable ASCII) laid out from x = 0 on the baseline, cut at
    // the right with "…" where it is wider than `width`, as QFontMetrics::
    // elidedText cuts it; `runWidth` receives the width of what is laid out.
    QGlyphRun Run(QStringView text, qreal width, qreal& runWidth) const;
    qreal Ascent() const { return m_ascent; }
    qreal Descent() const { return m_descent; }

private:
    static constexpr int kFirst = 0x20;
    static constexpr int kCount = 0x7F - kFirst;

    explicit CAsciiGlyphs(const QFont& font);

    QRawFont m_font;
    bool m_complete = false;
    std::array<quint32, kCount> m_glyphs{};
    std::array<qreal, kCount> m_advances{};
    quint32 m_ellipsis = 0;
    qreal m_ellipsisAdvance = 0;
    qreal m_ascent = 0;
    qreal m_descent = 0;
};
