// One line of ASCII text laid out from cached glyphs is cut where the font
// metrics cut it, at every width from nothing to more than it needs, in the
// record list's font, a bold one and a large one; text the shaper must draw
// (CJK, a tab) is not taken.
#include <QApplication>
#include <QFontMetricsF>
#include <QTest>

#include "AsciiGlyphs.h"

class AsciiGlyphsTest : public QObject {
    Q_OBJECT
private slots:
    void cutsWhereTheFontMetricsCut();
    void takesPrintableAsciiOnly();
};

void AsciiGlyphsTest::cutsWhereTheFontMetricsCut()
{
    QFont bold = QApplication::font();
    bold.setBold(true);
    QFont large = QApplication::font();
    large.setPointSizeF(large.pointSizeF() * 2);
    const QStringList texts = {QStringLiteral("1577839223231"), QStringLiteral("+86 138 5483 4857"),
                               QStringLiteral("78.35797465738817"), QStringLiteral("7"),
                               QStringLiteral("0123456789 -+.:")};
    for (const QFont& font : {QApplication::font(), bold, large}) {
        const CAsciiGlyphs* glyphs = CAsciiGlyphs::For(font);
        QVERIFY(glyphs != nullptr);
        const QFontMetrics metrics(font);
        for (const QString& text : texts) {
            const int full = metrics.horizontalAdvance(text);
            for (int width = 0; width <= full + 2; ++width) {
                qreal runWidth = 0;
                const QGlyphRun run = glyphs->Run(text, width, runWidth);
                const QString elided = metrics.elidedText(text, Qt::ElideRight, width);
                QCOMPARE(run.glyphIndexes().size(), elided.size());
                QVERIFY2(qAbs(runWidth - QFontMetricsF(font).horizontalAdvance(elided)) < 1.0,
                         qPrintable(text + QStringLiteral(" at %1").arg(width)));
            }
        }
    }
}

void AsciiGlyphsTest::takesPrintableAsciiOnly()
{
    QVERIFY(CAsciiGlyphs::IsPrintableAscii(u" ~09AZaz"));
    for (const char16_t* text : {u"a\tb", u"caf\u00e9", u"\u4f60\u597d", u"\x7f"})
        QVERIFY(!CAsciiGlyphs::IsPrintableAscii(text));
}

QTEST_MAIN(AsciiGlyphsTest)
#include "AsciiGlyphsTest.moc"
