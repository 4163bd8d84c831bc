#include <QtTest>

#include <cmath>
#include <cstdio>
#include <limits>

#include "quotes/catalogue.h"
#include "quotes/quotelines.h"
#include "quotes/ratespage.h"
#include "text/encodings.h"

using namespace kestrel;

Q_DECLARE_METATYPE(kestrel::QuoteColour)

namespace {

const QString kFw = QStringLiteral("　");

QString Fw(int n) {
    return kFw.repeated(n);
}

RatesPage PageWith(const QStringList& body, bool marker = true) {
    QStringList lines{marker ? QStringLiteral("<td>货币走势图</td>") : QStringLiteral("<p>")};
    lines += body;
    lines.append(QStringLiteral("</html>"));
    RatesPage page;
    page.SetLines(lines);
    return page;
}

QStringList Row(const QString& name, const QString& price) {
    return {QStringLiteral("<a title=\"%1\">").arg(name), QStringLiteral("<td>%1</td>").arg(price)};
}

}  // namespace

class TestQuoteLines : public QObject {
    Q_OBJECT

private slots:
    void padToWidth_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("padded");
        QTest::newRow("even remainder") << "【欧元美元】" << 20 << "【欧元美元】" + Fw(4);
        QTest::newRow("odd remainder ends in one ASCII space")
            << "【NYMEX】" << 20 << "【NYMEX】" + Fw(5) + " ";
        QTest::newRow("longer than the width is not cut")
            << "【瑞典克郎人民币】" << 10 << "【瑞典克郎人民币】";
        QTest::newRow("empty") << "" << 3 << Fw(1) + " ";
        QTest::newRow("character outside GBK counts its four bytes") << "𠀀" << 8 << "𠀀" + Fw(2);
    }
    void padToWidth() {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, padded);
        PadToWidth(text, width);
        QCOMPARE(text, padded);
    }

    void formatQuoteLine_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("line");
        QTest::newRow("four decimals, rounded")
            << "欧元美元" << 1.32456 << "【欧元美元】" + Fw(4) + " 1.3246";
        QTest::newRow("trailing zeros kept")
            << "美元人民币" << 6.307 << "【美元人民币】" + Fw(3) + " 6.3070";
        QTest::newRow("yen: two decimals")
            << "美元日元" << 80.5 << "【美元日元】" + Fw(4) + " 80.50";
        QTest::newRow("yen in yuan: four decimals")
            << "日元人民币" << 0.0787512 << "【日元人民币】" + Fw(3) + " 0.0788";
        QTest::newRow("oil shown under its alias, two decimals")
            << "NYMEX原油" << 58.456 << "【纽约原油】" + Fw(4) + " 58.46";
        QTest::newRow("gas: four decimals") << "天然气" << 4.8 << "【天然气】" + Fw(5) + " 4.8000";
        QTest::newRow("no thousands separator")
            << "现货黄金" << 4205.3 << "【现货黄金】" + Fw(4) + " 4205.30";
        QTest::newRow("negative value")
            << "欧元美元" << -0.0012 << "【欧元美元】" + Fw(4) + " -0.0012";
        QTest::newRow("no value") << "天然气" << 0.0 << "【天然气】" + QString(20, u' ') + " N/A";
        QTest::newRow("no value, Chinese label counted in bytes")
            << "瑞典克郎人民币" << 0.0 << "【瑞典克郎人民币】" + QString(12, u' ') + " N/A";
        QTest::newRow("no value, label wider than the column")
            << "一二三四五六七八九十一二三四" << 0.0 << "【一二三四五六七八九十一二三四】 N/A";
        QTest::newRow("not a finite number")
            << "欧元美元" << std::numeric_limits<double>::infinity()
            << "【欧元美元】" + QString(18, u' ') + " N/A";
    }
    void formatQuoteLine() {
        QFETCH(QString, name);
        QFETCH(double, value);
        QFETCH(QString, line);
        QCOMPARE(FormatQuoteLine(name, value), line);
    }

    // The value text must be what printf gives, digits and rounding, for any magnitude.
    void valueTextMatchesPrintf_data() {
        QTest::addColumn<double>("value");
        QTest::newRow("half on a binary boundary") << 0.125;
        QTest::newRow("just below a half") << 1.00005;
        QTest::newRow("large") << 123456789.987654321;
        QTest::newRow("tiny") << 1e-7;
        QTest::newRow("negative") << -2.5;
    }
    void valueTextMatchesPrintf() {
        QFETCH(double, value);
        for (const auto& [name, format] : {std::pair{"欧元美元", "%.4Lf"}, {"美元日元", "%.2Lf"}}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, format, static_cast<long double>(value));
            const QString line = FormatQuoteLine(QString::fromUtf8(name), value);
            QCOMPARE(line.section(u' ', -1), QString::fromLatin1(expected));
        }
    }

    void hugeValueIsPrintedInFull() {
        const long double big = std::numeric_limits<long double>::max();
        const QString line = FormatQuoteLine(QStringLiteral("欧元美元"), big);
        QVERIFY(line.endsWith(u".0000"));
        // 1.19e4932: 4933 integer digits, then ".0000".
        QCOMPARE(line.section(u' ', -1).size(), 4933 + 5);
    }

    void updateTimeLine() {
        QCOMPARE(UpdateTimeLine(QTime(9, 5, 7)), "【牌价更新时间】" + Fw(2) + "09:05:07");
        QCOMPARE(Cp936Length(UpdateTimeLine(QTime(23, 59, 59))), 28);
    }

    void buildQuoteLines_data() {
        QTest::addColumn<bool>("marker");
        QTest::addColumn<bool>("displayTime");
        QTest::addColumn<bool>("good");
        QTest::newRow("good page with time") << true << true << true;
        QTest::newRow("good page without time") << true << false << true;
        QTest::newRow("no marker with time") << false << true << false;
        QTest::newRow("no marker without time") << false << false << false;
    }
    void buildQuoteLines() {
        QFETCH(bool, marker);
        QFETCH(bool, displayTime);
        QFETCH(bool, good);
        RatesPage page = PageWith(Row("美元人民币", "6.3") + Row("美元港币", "7.75"), marker);
        const QStringList selection{"美元港币", "天然气", "港币人民币", "美元港币"};
        QuoteSlots quoteSlots;
        quoteSlots.Reset(selection.size());
        quoteSlots.CurQuotes = {7.5L, 1.0L, 0.0L, 8.0L};
        const QTime now(14, 3, 9);

        const QuoteLines result = BuildQuoteLines(page, selection, quoteSlots, displayTime, now);

        QCOMPARE(result.Good, good);
        QStringList expected;
        if (displayTime)
            expected.append(UpdateTimeLine(now));
        if (good) {
            expected +=
                {"【美元港币】" + Fw(4) + " 7.7500", "【天然气】" + QString(20, u' ') + " N/A",
                 "【港币人民币】" + Fw(3) + " 0.8129", "【美元港币】" + Fw(4) + " 7.7500"};
            QCOMPARE(quoteSlots.PrevQuotes, (QList<long double>{7.5L, 1.0L, 0.0L, 8.0L}));
            QCOMPARE(quoteSlots.CurQuotes.size(), 4);
            QCOMPARE(static_cast<double>(quoteSlots.CurQuotes[0]), 7.75);
            QCOMPARE(static_cast<double>(quoteSlots.CurQuotes[1]), 0.0);
            QVERIFY(std::fabs(static_cast<double>(quoteSlots.CurQuotes[2]) - 0.812903) < 1e-6);
            QCOMPARE(quoteSlots.CurQuotes[3], quoteSlots.CurQuotes[0]);
        } else {
            expected += {"外汇牌价源数据有误，无法提供报价", "稍后将再次尝试连接..."};
            QCOMPARE(quoteSlots.PrevQuotes, (QList<long double>(4, 0.0L)));
            QCOMPARE(quoteSlots.CurQuotes, (QList<long double>{7.5L, 1.0L, 0.0L, 8.0L}));
        }
        QCOMPARE(result.Lines, expected);
    }

    // Answers that come one source at a time: a price no answer renewed keeps its slots (and so
    // its colour), and a missing one still awaited says so in the column of "N/A".
    void buildQuoteLinesFromSomeAnswers() {
        RatesPage page = PageWith(Row("美元人民币", "6.3") + Row("美元港币", "7.75"));
        const QStringList selection{"美元港币", "美元人民币", "天然气"};
        QuoteSlots quoteSlots;
        quoteSlots.Reset(selection.size());
        quoteSlots.PrevQuotes = {7.7L, 6.1L, 0.0L};
        quoteSlots.CurQuotes = {7.75L, 6.2L, 0.0L};
        PageProgress progress;
        progress.Missing = [](const QString& name) {
            return name == u"天然气" ? QStringLiteral("正在读取") : QString();
        };
        progress.Renewed = [](const QString& name) { return name == u"美元人民币"; };
        const QuoteLines result =
            BuildQuoteLines(page, selection, quoteSlots, false, QTime(1, 2, 3), progress);
        QCOMPARE(result.Lines, (QStringList{"【美元港币】" + Fw(4) + " 7.7500",
                                            "【美元人民币】" + Fw(3) + " 6.3000",
                                            "【天然气】" + QString(20, u' ') + " 正在读取"}));
        QCOMPARE(quoteSlots.PrevQuotes, (QList<long double>{7.7L, 6.2L, 0.0L}));
        QCOMPARE(static_cast<double>(quoteSlots.CurQuotes[1]), 6.3);
    }

    void buildQuoteLinesFitsMismatchedSlots() {
        RatesPage page = PageWith(Row("欧元美元", "1.1"));
        QuoteSlots quoteSlots;  // never sized for this selection
        const QuoteLines result =
            BuildQuoteLines(page, {"欧元美元", "欧元美元"}, quoteSlots, false, QTime(1, 2, 3));
        QVERIFY(result.Good);
        QCOMPARE(quoteSlots.PrevQuotes, (QList<long double>(2, 0.0L)));
        QCOMPARE(quoteSlots.CurQuotes.size(), 2);
        QCOMPARE(static_cast<double>(quoteSlots.CurQuotes[1]), 1.1);
    }

    void chooseQuoteColour_data() {
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("previous");
        QTest::addColumn<QuoteColour>("colour");
        QTest::newRow("rise") << 7.1005 << 7.1 << QuoteColour::Rising;
        QTest::newRow("fall") << 7.1 << 7.1005 << QuoteColour::Falling;
        QTest::newRow("unchanged") << 7.1 << 7.1 << QuoteColour::Font;
        QTest::newRow("first value") << 7.1 << 0.0 << QuoteColour::Font;
        QTest::newRow("became unavailable") << 0.0 << 7.1 << QuoteColour::Falling;
        QTest::newRow("unavailable twice") << 0.0 << 0.0 << QuoteColour::Font;
        QTest::newRow("rise from a negative value") << 0.5 << -0.5 << QuoteColour::Rising;
    }
    void chooseQuoteColour() {
        QFETCH(double, current);
        QFETCH(double, previous);
        QFETCH(QuoteColour, colour);
        QCOMPARE(ChooseQuoteColour(current, previous), colour);
    }

    void colourModes_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<quint32>("rising");
        QTest::addColumn<quint32>("falling");
        QTest::newRow("mode 0: green rises") << 0 << 0x008000u << 0xFF0000u;
        QTest::newRow("mode 1: red rises") << 1 << 0xFF0000u << 0x008000u;
        QTest::newRow("any other mode: red rises") << -3 << 0xFF0000u << 0x008000u;
        QTest::newRow("mode 2: blue rises, orange falls") << 2 << 0x0060C0u << 0xD06800u;
    }
    void colourModes() {
        QFETCH(int, mode);
        QFETCH(quint32, rising);
        QFETCH(quint32, falling);
        QCOMPARE(RisingRgb(mode), rising);
        QCOMPARE(FallingRgb(mode), falling);
        QVERIFY(TrendRgb(QuoteColour::Rising, mode) == rising);
        QVERIFY(TrendRgb(QuoteColour::Falling, mode) == falling);
        QVERIFY(!TrendRgb(QuoteColour::Font, mode));
        // 低调: rises and falls in the quote font colour.
        QVERIFY(!TrendRgb(QuoteColour::Rising, kColourModeMuted));
        QVERIFY(!TrendRgb(QuoteColour::Falling, kColourModeMuted));
    }

    void changeColumns_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("close");
        QTest::addColumn<QuoteColour>("trend");
        QTest::addColumn<bool>("arrows");
        QTest::addColumn<QString>("line");
        const QString fx = "【欧元美元】" + Fw(4) + " ";
        QTest::newRow("rise") << "欧元美元" << 1.1622 << 1.16 << QuoteColour::Rising << false
                              << fx + "1.1622   +0.0022  +0.19%";
        QTest::newRow("fall, two decimals, arrow")
            << "现货黄金" << 2400.0 << 2412.0 << QuoteColour::Falling << true
            << "【现货黄金】" + Fw(4) + " ▼ 2400.00  -12.00   -0.50%";
        QTest::newRow("a tiny fall rounds to an unsigned zero")
            << "欧元美元" << 1.15999 << 1.16 << QuoteColour::Falling << true
            << fx + "▼ 1.1600   +0.0000  +0.00%";
        QTest::newRow("no previous close")
            << "欧元美元" << 1.16 << 0.0 << QuoteColour::Font << true << fx + "－ 1.1600   N/A";
        QTest::newRow("no value: the line without the options")
            << "天然气" << 0.0 << 2.5 << QuoteColour::Falling << true
            << "【天然气】" + QString(20, u' ') + " N/A";
    }
    // Every line's columns start at the same byte, as the price column does.
    void changeColumns() {
        QFETCH(QString, name);
        QFETCH(double, value);
        QFETCH(double, close);
        QFETCH(QuoteColour, trend);
        QFETCH(bool, arrows);
        QFETCH(QString, line);
        QCOMPARE(FormatQuoteLine(name, value, close, trend, LineOptions{true, arrows}), line);
        if (value != 0) {
            QCOMPARE(FormatQuoteLine(name, value, close, trend, LineOptions{false, false}),
                     FormatQuoteLine(name, value));
        }
    }

    // With the change shown, rises and falls count from the previous close, not from the
    // previous download; switched off again, from the previous download.
    void buildQuoteLinesCountsFromTheClose() {
        const QStringList row{"<a title=\"美元人民币\">",
                              "<td>7.1000</td>",
                              "<td>--</td>",
                              "<td>7.2</td>",
                              "<td>7.0</td>",
                              "<td>+0.0100</td>",
                              "<td>+0.14%</td>",
                              "<td>2026-12-09 20:15:03</td>"};
        const QStringList selection{"美元人民币"};
        QuoteSlots quoteSlots;
        quoteSlots.Reset(1);
        quoteSlots.CurQuotes = {7.2L};  // the price fell since the previous download
        RatesPage page = PageWith(row);
        QuoteLines result = BuildQuoteLines(page, selection, quoteSlots, false, QTime(1, 2, 3), {},
                                            LineOptions{true, true});
        QCOMPARE(result.Lines,
                 QStringList{"【美元人民币】" + Fw(3) + " ▲ 7.1000   +0.0100  +0.14%"});
        QVERIFY(std::fabs(static_cast<double>(quoteSlots.Closes[0]) - 7.09) < 1e-9);
        QCOMPARE(SlotTrend(quoteSlots, 0), QuoteColour::Rising);

        page = PageWith(row);
        quoteSlots.CurQuotes = {7.2L};
        result = BuildQuoteLines(page, selection, quoteSlots, false, QTime(1, 2, 3), {},
                                 LineOptions{false, true});
        QCOMPARE(result.Lines, QStringList{"【美元人民币】" + Fw(3) + " ▼ 7.1000"});
        QCOMPARE(SlotTrend(quoteSlots, 0), QuoteColour::Falling);
    }
};

QTEST_GUILESS_MAIN(TestQuoteLines)
#include "test_quotelines.moc"
