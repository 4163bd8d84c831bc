// The background picture is tiled from the top-left corner and cut at the right and bottom
// edges, never stretched; the quote lines' values stand in a measured column once a label is not
// Chinese.
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QTest>

#include "ui/mainwindow/mainform.h"

namespace {

class TestTileBackground : public QObject {
    Q_OBJECT

    // A tile whose every pixel tells its own coordinates.
    static QImage CoordinateTile(int w, int h) {
        QImage tile(w, h, QImage::Format_RGB888);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                tile.setPixel(x, y, qRgb(x, y, 7));
        }
        return tile;
    }

private Q_SLOTS:
    void tilesAreCutNotStretched_data() {
        QTest::addColumn<QSize>("tile");
        QTest::addColumn<QRect>("rect");
        QTest::newRow("100x40 on 230x250") << QSize(100, 40) << QRect(0, 0, 230, 250);
        QTest::newRow("offset rectangle") << QSize(30, 20) << QRect(5, 7, 71, 45);
        QTest::newRow("tile larger than the area") << QSize(120, 90) << QRect(0, 0, 50, 30);
        QTest::newRow("exact fit") << QSize(25, 25) << QRect(0, 0, 100, 50);
    }
    void tilesAreCutNotStretched() {
        QFETCH(QSize, tile);
        QFETCH(QRect, rect);
        QImage target(rect.right() + 10, rect.bottom() + 10, QImage::Format_RGB888);
        target.fill(qRgb(200, 200, 200));
        kestrel::TileBackground(target, CoordinateTile(tile.width(), tile.height()), rect);
        for (int y = 0; y < target.height(); ++y) {
            for (int x = 0; x < target.width(); ++x) {
                const QRgb expected = rect.contains(x, y)
                                          ? qRgb((x - rect.left()) % tile.width(),
                                                 (y - rect.top()) % tile.height(), 7)
                                          : qRgb(200, 200, 200);
                if ((target.pixel(x, y) | 0xFF000000u) != expected) {
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
                }
            }
        }
    }

    void aTileWithoutHeightDrawsNothing() {
        QImage target(20, 20, QImage::Format_RGB888);
        target.fill(Qt::black);
        kestrel::TileBackground(target, QImage(10, 0, QImage::Format_RGB888), target.rect());
        QCOMPARE(target.pixel(5, 5) | 0xFF000000u, qRgb(0, 0, 0));
    }

    void valuesStandInAColumnOnlyForLatinLabels() {
        using kestrel::QuoteLineAdvance;
        using kestrel::QuoteValueLeft;
        using kestrel::SplitQuoteLine;
        const QFontMetrics metrics(QFont(QStringLiteral("Sans"), 12));
        // The padding goes, full-width and ASCII alike; a line without a label stays whole.
        QCOMPARE(SplitQuoteLine(u"【EUR/USD】　　　　  1.0842"_qs).Label, u"【EUR/USD】"_qs);
        QCOMPARE(SplitQuoteLine(u"【EUR/USD】　　　　  1.0842"_qs).Rest, u"1.0842"_qs);
        QCOMPARE(SplitQuoteLine(u"无法连接 【服务器】"_qs).Rest, u"无法连接 【服务器】"_qs);
        QCOMPARE(SplitQuoteLine(u"【未完"_qs).Rest, u"【未完"_qs);

        // Chinese labels keep their byte-counted padding: lines are drawn as they are.
        const QStringList chinese{u"【欧元美元】　　　　 1.0842"_qs, u"数据有误"_qs};
        QCOMPARE(QuoteValueLeft(metrics, chinese), 0);
        QCOMPARE(QuoteLineAdvance(metrics, chinese.at(0), 0),
                 metrics.horizontalAdvance(chinese.at(0)));

        // One Latin label puts every value past the widest label, whatever its padding says.
        const QStringList mixed{u"【W】　　　　　　　　 1.0842"_qs, u"【WWWWWWWWWWWW】　 2.5"_qs,
                                u"【黄金】　　　　　　 2350.10"_qs, u"数据有误"_qs};
        const int left = QuoteValueLeft(metrics, mixed);
        QVERIFY(left > metrics.horizontalAdvance(u"【WWWWWWWWWWWW】"_qs));
        QVERIFY(left > metrics.horizontalAdvance(u"【黄金】"_qs));
        QCOMPARE(QuoteLineAdvance(metrics, mixed.at(0), left),
                 left + metrics.horizontalAdvance(u"1.0842"_qs));
        QCOMPARE(QuoteLineAdvance(metrics, mixed.at(3), left),
                 metrics.horizontalAdvance(u"数据有误"_qs));
    }
};

}  // namespace

QTEST_MAIN(TestTileBackground)
#include "test_tilebackground.moc"
