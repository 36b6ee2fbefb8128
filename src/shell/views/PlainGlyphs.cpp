#include "PlainGlyphs.h"

#include <QHash>
#include <QPointF>
#include <QString>
#include <QTextLayout>
#include <QVarLengthArray>
#include <QVector>
#include <algorithm>

namespace {

bool IsDrawnAlone(QChar c)
{
    if (c.isSurrogate() || c.isNonCharacter())
        return false;
    switch (c.category()) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

}  // namespace

CPlainGlyphs::Script CPlainGlyphs::ScriptOf(char16_t c)
{
    // The script of every character of the plane, found once: a table of
    // 64 KiB read for every character painted.
    static const std::array<Script, 0x10000> kScriptOf = [] {
        std::array<Script, 0x10000> scripts{};
        for (std::size_t i = 0; i < scripts.size(); ++i)
            scripts[i] = FindScript(static_cast<char16_t>(i));
        return scripts;
    }();
    return kScriptOf[c];
}

// Scripts whose characters are drawn one glyph each, as they come: no
// joining, reordering or contextual forms (marks are turned away before).
CPlainGlyphs::Script CPlainGlyphs::FindScript(char16_t c)
{
    const QChar character(c);
    if (!IsDrawnAlone(character))
        return kOther;
    switch (character.script()) {
    case QChar::Script_Common:
        return kCommon;
    case QChar::Script_Latin:
        return kLatin;
    case QChar::Script_Greek:
        return kGreek;
    case QChar::Script_Cyrillic:
        return kCyrillic;
    case QChar::Script_Han:
        return kHan;
    case QChar::Script_Hiragana:
        return kHiragana;
    case QChar::Script_Katakana:
        return kKatakana;
    case QChar::Script_Bopomofo:
        return kBopomofo;
    case QChar::Script_Hangul:
        return c >= 0xAC00 && c <= 0xD7A3 ? kHangul : kOther;  // whole syllables; jamo combine
    default:
        return kOther;
    }
}

CPlainGlyphs& CPlainGlyphs::For(const QFont& font)
{
    // A list shows few fonts, and nearly always the one of the cell before:
    // that one is compared first, as a font's key is a text built afresh on
    // every call.
    static QHash<QString, std::shared_ptr<CPlainGlyphs>> fonts;
    static QFont lastFont;
    static CPlainGlyphs* last = nullptr;
    if (last != nullptr && font == lastFont)
        return *last;
    const QString key = font.key();
    auto found = fonts.constFind(key);
    if (found == fonts.constEnd())
        found = fonts.insert(key, std::shared_ptr<CPlainGlyphs>(new CPlainGlyphs(font)));
    lastFont = font;
    last = found.value().get();
    return *last;
}

CPlainGlyphs::CPlainGlyphs(const QFont& font) : m_font(font), m_primary(QRawFont::fromFont(font)) {}

const CPlainGlyphs::Glyph& CPlainGlyphs::Lookup(char16_t c, Script run)
{
    std::unique_ptr<Page>& page = m_pages[run][c >> 8];
    if (!page)
        page = std::make_unique<Page>();
    Glyph& glyph = (*page)[c & 0xFF];
    if (glyph.state == kUnknown)
        glyph = Resolve(c, run);
    return glyph;
}

CPlainGlyphs::Glyph CPlainGlyphs::Resolve(char16_t c, Script run)
{
    Glyph glyph;
    glyph.state = kShaped;
    const Script script = ScriptOf(c);
    if (script == kOther || (script != kCommon && script != run))
        return glyph;
    // A sign in a run of letters is laid out after a letter of that script,
    // as the layout would take it: in that run, with its font.
    static constexpr char16_t kLetters[kScripts] = {0,      u'a',   0x03B1, 0x0430, 0x4E00,
                                                    0x3042, 0x30A2, 0x3105, 0xAC00};
    QString text;
    if (script == kCommon && run != kCommon)
        text.append(QChar(kLetters[run]));
    const qsizetype target = text.size();
    text.append(QChar(c));
    QTextLayout layout(text, m_font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return glyph;
    // Every glyph of the line with its font and place, left to right.
    struct Placed {
        QRawFont font;
        quint32 index;
        qreal x;
    };
    std::vector<Placed> placed;
    for (const QGlyphRun& part : layout.glyphRuns()) {
        const QList<quint32> indexes = part.glyphIndexes();
        const QList<QPointF> positions = part.positions();
        for (qsizetype i = 0; i < indexes.size() && i < positions.size(); ++i)
            placed.push_back({part.rawFont(), indexes[i], positions[i].x()});
    }
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.x < b.x; });
    if (placed.size() != static_cast<std::size_t>(text.size()))
        return glyph;
    const Placed& mine = placed[static_cast<std::size_t>(target)];
    auto slot = std::find(m_fonts.begin(), m_fonts.end(), mine.font);
    if (slot == m_fonts.end()) {
        if (m_fonts.size() >= 255)
            return glyph;
        slot = m_fonts.insert(m_fonts.end(), mine.font);
    }
    glyph.index = mine.index;
    glyph.advance = static_cast<float>(line.horizontalAdvance() - mine.x);
    glyph.font = static_cast<std::uint8_t>(slot - m_fonts.begin());
    glyph.state = kPlain;
    return glyph;
}

bool CPlainGlyphs::Lay(QStringView text, qreal width, Line& line)
{
    line = Line{};
    // Signs join the script run before them; those at the start, the first
    // run after them.
    Script run = kCommon;
    for (const QChar c : text) {
        const Script script = ScriptOf(c.unicode());
        if (script == kOther)
            return false;
        if (script != kCommon) {
            run = script;
            break;
        }
    }
    QVarLengthArray<const Glyph*, 256> glyphs;
    QVarLengthArray<Script, 256> runs;
    qreal total = 0;
    for (const QChar c : text) {
        const Script script = ScriptOf(c.unicode());
        if (script == kOther)
            return false;
        if (script != kCommon)
            run = script;
        const Glyph& glyph = Lookup(c.unicode(), run);
        if (glyph.state != kPlain)
            return false;
        glyphs.append(&glyph);
        runs.append(run);
        total += glyph.advance;
    }
    // Cut as the font metrics cut: a single character stays whole; else the
    // characters whose right edge lies short of the room the ellipsis
    // leaves, or nothing when not even the ellipsis fits.
    qsizetype shown = glyphs.size();
    const Glyph* ellipsis = nullptr;
    if (width >= 0 && total > width && glyphs.size() > 1) {
        // The cut leaves room for the ellipsis as the font itself draws it;
        // drawn, it joins the run of the last character kept.
        const Glyph& mark = Lookup(0x2026, kCommon);
        if (mark.state != kPlain)
            return false;
        const qreal room = width - mark.advance;
        total = 0;
        shown = 0;
        while (room >= 0 && shown < glyphs.size() && total + glyphs[shown]->advance < room)
            total += glyphs[shown++]->advance;
        if (room >= 0) {
            ellipsis = &Lookup(0x2026, shown > 0 ? runs[shown - 1] : kCommon);
            if (ellipsis->state != kPlain)
                return false;
        }
    }
    QVector<quint32> indexes;
    QVector<QPointF> positions;
    int runFont = -1;
    qreal x = 0;
    const auto endRun = [&] {
        if (indexes.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(m_fonts[static_cast<std::size_t>(runFont)]);
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        line.runs.append(run);
        indexes.clear();
        positions.clear();
    };
    const auto add = [&](const Glyph& glyph) {
        if (glyph.font != runFont) {
            endRun();
            runFont = glyph.font;
            const QRawFont& font = m_fonts[glyph.font];
            line.ascent = std::max(line.ascent, font.ascent());
            line.descent = std::max(line.descent, font.descent());
        }
        indexes.append(glyph.index);
        positions.append(QPointF(x, 0));
        x += glyph.advance;
    };
    for (qsizetype i = 0; i < shown; ++i)
        add(*glyphs[i]);
    if (ellipsis != nullptr)
        add(*ellipsis);
    endRun();
    line.width = x;
    if (line.runs.isEmpty()) {
        line.ascent = m_primary.ascent();
        line.descent = m_primary.descent();
    }
    return true;
}
