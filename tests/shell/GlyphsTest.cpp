// A line of text laid out from cached glyphs (ASCII, or characters that
// need no shaping from the font and its fallback fonts) is cut where the
// font metrics cut it, at every width from nothing to more than it needs,
// in the record list's font, a bold one and a large one, and takes the
// glyphs the text layout takes; text the shaper must draw is not taken.
#include <QApplication>
#include <QFontMetricsF>
#include <QMap>
#include <QTest>
#include <QTextLayout>

#include "AsciiGlyphs.h"
#include "PlainGlyphs.h"

class GlyphsTest : public QObject {
    Q_OBJECT
private slots:
    void cutsWhereTheFontMetricsCut();
    void takesWhatNeedsNoShaping();
};

namespace {

// The glyphs the text layout draws `text` with, left to right.
QList<quint32> LayoutGlyphs(const QString& text, const QFont& font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    // A run per font: ordered by place, the glyphs read left to right.
    QMap<qreal, quint32> placed;
    for (const QGlyphRun& run : layout.glyphRuns())
        for (qsizetype i = 0; i < run.glyphIndexes().size(); ++i)
            placed.insert(run.positions()[i].x(), run.glyphIndexes()[i]);
    return placed.values();
}

}  // namespace

void GlyphsTest::cutsWhereTheFontMetricsCut()
{
    QFont bold = QApplication::font();
    bold.setBold(true);
    QFont large = QApplication::font();
    large.setPointSizeF(large.pointSizeF() * 2);
    const QStringList ascii = {QStringLiteral("1577839223231"), QStringLiteral("+86 138 5483 4857"),
                               QStringLiteral("78.35797465738817"), QStringLiteral("7"),
                               QStringLiteral("0123456789 -+.:")};
    const QStringList plain = {QString::fromUtf8("你好 明天 见面"), QString::fromUtf8("好的 on my way 谢谢"),
                               QString::fromUtf8("café Привет Γειά"), QString::fromUtf8("こんにちは カタカナ 안녕하세요")};
    for (const QFont& font : {QApplication::font(), bold, large}) {
        const CAsciiGlyphs* glyphs = CAsciiGlyphs::For(font);
        QVERIFY(glyphs != nullptr);
        const QFontMetrics metrics(font);
        for (const QString& text : ascii + plain) {
            const bool isAscii = ascii.contains(text);
            CPlainGlyphs::Line whole;
            QVERIFY2(CPlainGlyphs::For(font).Lay(text, -1, whole), qPrintable(text));
            QList<quint32> laid;
            for (const QGlyphRun& run : whole.runs)
                laid += run.glyphIndexes();
            QCOMPARE(laid, LayoutGlyphs(text, font));
            const int full = metrics.horizontalAdvance(text);
            for (int width = 0; width <= full + 2; ++width) {
                const QString elided = metrics.elidedText(text, Qt::ElideRight, width);
                const QString at = text + QStringLiteral(" at %1").arg(width);
                qreal runWidth = 0;
                if (isAscii) {
                    const QGlyphRun run = glyphs->Run(text, width, runWidth);
                    QCOMPARE(run.glyphIndexes().size(), elided.size());
                    QVERIFY2(qAbs(runWidth - QFontMetricsF(font).horizontalAdvance(elided)) < 1.0, qPrintable(at));
                }
                CPlainGlyphs::Line line;
                QVERIFY(CPlainGlyphs::For(font).Lay(text, width, line));
                qsizetype count = 0;
                for (const QGlyphRun& run : line.runs)
                    count += run.glyphIndexes().size();
                QVERIFY2(count == elided.size(), qPrintable(at));
                QVERIFY2(qAbs(line.width - QFontMetricsF(font).horizontalAdvance(elided)) < 1.0, qPrintable(at));
            }
        }
    }
}

void GlyphsTest::takesWhatNeedsNoShaping()
{
    QVERIFY(CAsciiGlyphs::IsPrintableAscii(u" ~09AZaz"));
    for (const char16_t* text : {u"a\tb", u"caf\u00e9", u"\u4f60\u597d", u"\x7f"})
        QVERIFY(!CAsciiGlyphs::IsPrintableAscii(text));
    // Joining script, combining mark, emoji, tab, jamo that combine.
    CPlainGlyphs::Line line;
    for (const char16_t* text : {u"\u0645\u0631\u062d\u0628\u0627", u"e\u0301", u"ok \U0001F600", u"a\tb",
                                 u"\u1100\u1161"})
        QVERIFY(!CPlainGlyphs::For(QApplication::font()).Lay(text, -1, line));
}

QTEST_MAIN(GlyphsTest)
#include "GlyphsTest.moc"
