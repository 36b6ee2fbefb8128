// The glyphs of characters that need no shaping, in one font and the
// fallback fonts it takes them from, each looked up once: Chinese, Japanese
// and Korean characters, Latin, Greek and Cyrillic letters, and the digits,
// spaces and signs the font itself draws. A chat message of such characters
// is then laid out by adding advances, with no itemising, fallback search or
// shaper, which cost tens of microseconds a cell. Each character is looked
// up once through the text layout, so it is drawn with the glyph of the font
// the layout picks for it. The layout picks fonts by script runs: a digit,
// space or sign joins the run of the letters before it (or, at the start,
// after it), so such a character is looked up once for each script it may
// follow. Pairs of letters are not kerned.
// Characters that join or combine (marks, Arabic, Indic scripts), controls,
// and characters outside the Basic Multilingual Plane are left to the
// shaper.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QRawFont>
#include <QStringView>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class CPlainGlyphs {
public:
    // The glyphs of `font`, made on first use and kept. Painting happens on
    // the window thread only.
    static CPlainGlyphs& For(const QFont& font);

    // A line laid out from x = 0 on its baseline.
    struct Line {
        QList<QGlyphRun> runs;  // one per font, left to right
        qreal width = 0;        // of what is laid out
        qreal ascent = 0;       // the largest of the fonts used
        qreal descent = 0;
    };
    // Lays out `text`, cut at the right with "…" where it is wider than
    // `width`, as QFontMetrics::elidedText cuts it (a negative width never
    // cuts). False, with nothing laid out, when a character of it needs the
    // shaper.
    bool Lay(QStringView text, qreal width, Line& line);

private:
    struct Glyph {
        quint32 index = 0;
        float advance = 0;
        std::uint8_t font = 0;  // in m_fonts
        std::uint8_t state = 0;  // kUnknown, kPlain or kShaped
    };
    static constexpr std::uint8_t kUnknown = 0;
    static constexpr std::uint8_t kPlain = 1;
    static constexpr std::uint8_t kShaped = 2;
    using Page = std::array<Glyph, 256>;

    // The scripts whose characters are taken, and kCommon for digits,
    // spaces and signs (which belong to none).
    enum Script : std::uint8_t {
        kCommon, kLatin, kGreek, kCyrillic, kHan, kHiragana, kKatakana, kBopomofo, kHangul, kScripts,
        kOther = kScripts
    };
    static Script ScriptOf(char16_t c);
    static Script FindScript(char16_t c);

    explicit CPlainGlyphs(const QFont& font);
    // The glyph of `c` in a run of `run` script.
    const Glyph& Lookup(char16_t c, Script run);
    Glyph Resolve(char16_t c, Script run);

    QFont m_font;
    QRawFont m_primary;             // the font's own, without fallback
    std::vector<QRawFont> m_fonts;  // where the glyphs come from
    // By the script of the run, then the character's high byte.
    std::array<std::array<std::unique_ptr<Page>, 256>, kScripts> m_pages;
};
