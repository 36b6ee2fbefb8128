#include "AsciiGlyphs.h"

#include <QFont>
#include <QHash>
#include <QPointF>
#include <QString>
#include <QVector>
#include <memory>

const CAsciiGlyphs* CAsciiGlyphs::For(const QFont& font)
{
    // Painting happens on the window thread only; a list shows few fonts,
    // and nearly always the one of the cell before: that one is compared
    // first, as a font's key is a text built afresh on every call.
    static QHash<QString, std::shared_ptr<CAsciiGlyphs>> fonts;
    static QFont lastFont;
    static const CAsciiGlyphs* last = nullptr;
    if (last != nullptr && font == lastFont)
        return last->m_complete ? last : nullptr;
    const QString key = font.key();
    auto found = fonts.constFind(key);
    if (found == fonts.constEnd())
        found = fonts.insert(key, std::shared_ptr<CAsciiGlyphs>(new CAsciiGlyphs(font)));
    lastFont = font;
    last = found.value().get();
    return last->m_complete ? last : nullptr;
}

bool CAsciiGlyphs::IsPrintableAscii(QStringView text)
{
    for (const QChar c : text)
        if (c.unicode() < kFirst || c.unicode() >= kFirst + kCount)
            return false;
    return true;
}

CAsciiGlyphs::CAsciiGlyphs(const QFont& font) : m_font(QRawFont::fromFont(font))
{
    if (!m_font.isValid())
        return;
    QString characters;
    for (int c = kFirst; c < kFirst + kCount; ++c)
        characters.append(QChar(c));
    characters.append(QChar(0x2026));
    const QList<quint32> glyphs = m_font.glyphIndexesForString(characters);
    if (glyphs.size() != characters.size())
        return;
    const QList<QPointF> advances = m_font.advancesForGlyphIndexes(glyphs);
    for (int i = 0; i < glyphs.size(); ++i)
        if (glyphs[i] == 0 && characters[i] != QLatin1Char(' '))
            return;  // drawn by a fallback font: leave it to the shaper
    for (int i = 0; i < kCount; ++i) {
        m_glyphs[i] = glyphs[i];
        m_advances[i] = advances[i].x();
    }
    m_ellipsis = glyphs[kCount];
    m_ellipsisAdvance = advances[kCount].x();
    m_ascent = m_font.ascent();
    m_descent = m_font.descent();
    m_complete = true;
}

QGlyphRun CAsciiGlyphs::Run(QStringView text, qreal width, qreal& runWidth) const
{
    qreal total = 0;
    for (const QChar c : text)
        total += m_advances[c.unicode() - kFirst];
    // Cut as the font metrics cut: a single character stays whole; else the
    // characters whose right edge lies short of the room the ellipsis
    // leaves, or nothing when not even the ellipsis fits.
    qsizetype shown = text.size();
    bool elided = false;
    if (total > width && text.size() > 1) {
        const qreal room = width - m_ellipsisAdvance;
        elided = room >= 0;
        total = 0;
        shown = 0;
        while (elided && shown < text.size() &&
               total + m_advances[text[shown].unicode() - kFirst] < room)
            total += m_advances[text[shown++].unicode() - kFirst];
    }
    QVector<quint32> glyphs;
    QVector<QPointF> positions;
    glyphs.reserve(shown + 1);
    positions.reserve(shown + 1);
    qreal x = 0;
    for (qsizetype i = 0; i < shown; ++i) {
        const int slot = text[i].unicode() - kFirst;
        glyphs.append(m_glyphs[slot]);
        positions.append(QPointF(x, 0));
        x += m_advances[slot];
    }
    if (elided) {
        glyphs.append(m_ellipsis);
        positions.append(QPointF(x, 0));
        x += m_ellipsisAdvance;
    }
    runWidth = x;
    QGlyphRun run;
    run.setRawFont(m_font);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    return run;
}
