#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

#include "quotes/catalogue.h"
#include "quotes/ratespage.h"
#include "text/encodings.h"

using namespace kestrel;

namespace {

const QString kMarker = QStringLiteral("<td>货币走势图</td>");

QString TitleLine(const QString& name) {
    return QStringLiteral("<tr><td><a href=\"/c\" title=\"%1\">%1</a></td>").arg(name);
}

QString Cell(const QString& text) {
    return QStringLiteral("<td>%1</td>").arg(text);
}

// A page of marker, the given rows and a closing line, so no row touches the last line.
RatesPage PageOf(const QStringList& body) {
    RatesPage page;
    page.SetLines(QStringList{kMarker} + body + QStringList{QStringLiteral("</table>")});
    return page;
}

bool Near(long double a, long double b, long double tolerance) {
    return std::fabs(static_cast<double>(a - b)) <= static_cast<double>(tolerance);
}

// The lookup rules read straight off the page, line by line, as the reference for the index.
long double ReferenceLookup(const QStringList& lines, const QString& rawName) {
    QString name = rawName;
    while (!name.isEmpty() && name.front().unicode() <= 32)
        name.remove(0, 1);
    while (!name.isEmpty() && name.back().unicode() <= 32)
        name.chop(1);
    if (name.isEmpty())
        return 0;
    const qsizetype last = lines.size() - 1;
    for (qsizetype t = 0; t < last; ++t) {
        if (!lines[t].contains(QStringLiteral("title=\"") + name))
            continue;
        long double value = 0;
        for (qsizetype i = t + 1; i <= t + 11 && i < last && value == 0; ++i) {
            value = ReadNumber(StripTags(lines[i]));
        }
        return value;
    }
    return 0;
}

}  // namespace

class TestRatesPage : public QObject {
    Q_OBJECT

private slots:
    void stripTags_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("text");
        QTest::newRow("cell") << "<td>1.3245</td>"
                              << "1.3245";
        QTest::newRow("four tags then the number") << "<td><span><b><i>1.5</i></b></span></td>"
                                                   << "1.5";
        QTest::newRow("five nested tags leave nothing")
            << "<td><div><span><b><i>1.5</i></b></span></div></td>"
            << "";
        QTest::newRow("no closing bracket cuts at the first open one") << " 7.1 <td"
                                                                       << "7.1";
        QTest::newRow("closing before opening removes nothing") << "a>b<c>d"
                                                                << "a>b";
        QTest::newRow("blanks and control characters trimmed") << "\t\x01 <td> 2 \r"
                                                               << "2";
        QTest::newRow("full-width space is not a blank")
            << QStringLiteral("　3　") << QStringLiteral("　3　");
        QTest::newRow("no tags") << "  plain "
                                 << "plain";
    }
    void stripTags() {
        QFETCH(QString, line);
        QFETCH(QString, text);
        QCOMPARE(StripTags(line), text);
    }

    void readNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("decimal") << "1.3245" << 1.3245;
        QTest::newRow("blanks around") << " \t7.1 " << 7.1;
        QTest::newRow("negative") << "-0.0012" << -0.0012;
        QTest::newRow("plus sign") << "+2" << 2.0;
        QTest::newRow("trailing point") << "3." << 3.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("exponent") << "1.5E-2" << 0.015;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("two dashes") << "--" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("thousands separator") << "1,234.5" << 0.0;
        QTest::newRow("percent") << "0.10%" << 0.0;
        QTest::newRow("two points") << "1.2.3" << 0.0;
        QTest::newRow("lone point") << "." << 0.0;
        QTest::newRow("sign only") << "-" << 0.0;
        QTest::newRow("exponent without digits") << "1e" << 0.0;
        QTest::newRow("blank inside") << "1 2" << 0.0;
        QTest::newRow("hexadecimal") << "0x10" << 0.0;
        QTest::newRow("infinity") << "inf" << 0.0;
        QTest::newRow("not a number") << "nan" << 0.0;
        QTest::newRow("full-width digits") << QStringLiteral("１２") << 0.0;
        QTest::newRow("out of range") << "1e99999" << 0.0;
    }
    void readNumber() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(static_cast<double>(ReadNumber(text)), value);
    }

    void extendedPrecision() {
        // More digits than a double holds survive the reading.
        const long double v = ReadNumber(u"1.00000000000000000011");
        QVERIFY(v > 1.0L);
        QVERIFY(v - 1.0L < 1e-18L);
    }

    void trimPageToMarker_data() {
        QTest::addColumn<int>("markerLine");  // -1: no marker
        QTest::addColumn<int>("titleLine");
        QTest::addColumn<bool>("good");
        QTest::addColumn<int>("removed");
        QTest::addColumn<bool>("found");
        QTest::newRow("marker on line 0") << 0 << 1 << true << 0 << true;
        QTest::newRow("marker on line 1, title before it") << 1 << 0 << true << 0 << true;
        QTest::newRow("marker on line 2, title before it") << 2 << 0 << true << 0 << true;
        QTest::newRow("marker on line 3 cuts three lines") << 3 << 4 << true << 3 << true;
        QTest::newRow("marker on line 5, title on line 3 is cut") << 5 << 3 << true << 5 << false;
        QTest::newRow("no marker: bad data, page kept") << -1 << 3 << false << 0 << true;
    }
    void trimPageToMarker() {
        QFETCH(int, markerLine);
        QFETCH(int, titleLine);
        QFETCH(bool, good);
        QFETCH(int, removed);
        QFETCH(bool, found);
        QStringList lines(12, QStringLiteral("<p>header</p>"));
        if (markerLine >= 0)
            lines[markerLine] = kMarker;
        lines[titleLine] = TitleLine(QStringLiteral("欧元美元"));
        lines[titleLine + 1 == markerLine ? titleLine + 2 : titleLine + 1] = Cell("1.1620");
        RatesPage page;
        page.SetLines(lines);
        // A lookup before the cut builds the index, which the cut must then drop.
        QCOMPARE(static_cast<double>(page.LookupQuote(QStringLiteral("欧元美元"))), 1.162);
        QCOMPARE(page.TrimPageToMarker(), good);
        QCOMPARE(page.PageLines(), lines.mid(removed));
        QCOMPARE(page.LookupQuote(QStringLiteral("欧元美元")) != 0, found);
    }

    void valueSearch_data() {
        QTest::addColumn<QStringList>("body");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        const QString eur = QStringLiteral("欧元美元");
        QTest::newRow("first cell after the title")
            << QStringList{TitleLine(eur), Cell("1.3245"), Cell("1.3241")} << eur << 1.3245;
        QTest::newRow("dashes, then 0, then the price")
            << QStringList{TitleLine(eur), Cell("--"), Cell("0"), Cell("7.1234")} << eur << 7.1234;
        QTest::newRow("a negative first value ends the search")
            << QStringList{TitleLine(eur), Cell("-0.0012"), Cell("1.3245")} << eur << -0.0012;
        QStringList eleven{TitleLine(eur)};
        for (int i = 0; i < 10; ++i)
            eleven.append(Cell("--"));
        QTest::newRow("price on the 11th line is read")
            << (eleven + QStringList{Cell("1.5")}) << eur << 1.5;
        eleven.append(Cell("--"));
        QTest::newRow("price on the 12th line is not")
            << (eleven + QStringList{Cell("1.5")}) << eur << 0.0;
        QTest::newRow("the title line itself is never read")
            << QStringList{QStringLiteral("<td title=\"欧元美元\">9.9</td>"), Cell("--")} << eur
            << 0.0;
        QTest::newRow("five nested tags give 0, the next line counts")
            << QStringList{TitleLine(eur), "<a><b><c><d><e>4.4</e></d></c></b></a>", Cell("2.2")}
            << eur << 2.2;
        QTest::newRow("the first title line wins even without a price")
            << QStringList{TitleLine(eur), Cell("--"), Cell("--"),     Cell("--"), Cell("--"),
                           Cell("--"),     Cell("--"), Cell("--"),     Cell("--"), Cell("--"),
                           Cell("--"),     Cell("--"), TitleLine(eur), Cell("1.1")}
            << eur << 0.0;
        QTest::newRow("prefix: a longer title that comes first wins")
            << QStringList{TitleLine(QStringLiteral("瑞典克郎人民币")), Cell("0.75"),
                           TitleLine(QStringLiteral("瑞典克郎")), Cell("9.45")}
            << QStringLiteral("瑞典克郎") << 0.75;
        QTest::newRow("prefix: the exact title first")
            << QStringList{TitleLine(QStringLiteral("瑞典克郎")), Cell("9.45"),
                           TitleLine(QStringLiteral("瑞典克郎人民币")), Cell("0.75")}
            << QStringLiteral("瑞典克郎") << 9.45;
        QTest::newRow("longer name does not match a shorter title")
            << QStringList{TitleLine(QStringLiteral("瑞典克郎")), Cell("9.45")}
            << QStringLiteral("瑞典克郎人民币") << 0.0;
        const QString twoTitles =
            QStringLiteral("<a title=\"美元港币\">x</a><a title=\"英镑美元\">y</a>");
        QTest::newRow("second title on a line")
            << QStringList{TitleLine(QStringLiteral("英镑美元")), Cell("--"), twoTitles,
                           Cell("7.78")}
            << QStringLiteral("美元港币") << 7.78;
        QTest::newRow("a line with several titles counts at its place in the page")
            << QStringList{twoTitles, Cell("7.78"), TitleLine(QStringLiteral("英镑美元")),
                           Cell("1.33")}
            << QStringLiteral("英镑美元") << 7.78;
        QTest::newRow("title attribute needs the quote right after =")
            << QStringList{QStringLiteral("<a title=欧元美元>"), Cell("1.1")} << eur << 0.0;
        QTest::newRow("case-sensitive")
            << QStringList{QStringLiteral("<a Title=\"欧元美元\">"), Cell("1.1")} << eur << 0.0;
        QTest::newRow("name trimmed of blanks and controls")
            << QStringList{TitleLine(eur), Cell("1.1")} << QString(" \t欧元美元\r") << 1.1;
        QTest::newRow("blank name")
            << QStringList{QStringLiteral("<a title=\"\">"), Cell("1.1")} << QString(" \t") << 0.0;
        QTest::newRow("no title") << QStringList{Cell("1.1")} << eur << 0.0;
    }
    void valueSearch() {
        QFETCH(QStringList, body);
        QFETCH(QString, name);
        QFETCH(double, value);
        const RatesPage page = PageOf(body);
        QCOMPARE(static_cast<double>(page.LookupQuote(name)), value);
    }

    void lastLineIsNeverExamined() {
        RatesPage page;
        page.SetLines({kMarker, TitleLine(QStringLiteral("欧元美元")), Cell("1.1")});
        QCOMPARE(static_cast<double>(page.LookupQuote(QStringLiteral("欧元美元"))), 0.0);
        page.SetLines({kMarker, Cell("1.1"), TitleLine(QStringLiteral("欧元美元"))});
        QCOMPARE(static_cast<double>(page.LookupQuote(QStringLiteral("欧元美元"))), 0.0);
        page.SetLines({TitleLine(QStringLiteral("欧元美元"))});
        QCOMPARE(static_cast<double>(page.LookupQuote(QStringLiteral("欧元美元"))), 0.0);
        page.SetLines({});
        QCOMPARE(static_cast<double>(page.LookupQuote(QStringLiteral("欧元美元"))), 0.0);
        QVERIFY(!page.TrimPageToMarker());
    }

    void newPageReplacesAnswers() {
        RatesPage page = PageOf({TitleLine(QStringLiteral("欧元美元")), Cell("1.1")});
        QCOMPARE(static_cast<double>(page.QuoteFor(QStringLiteral("欧元美元"))), 1.1);
        page.SetLines({kMarker, TitleLine(QStringLiteral("欧元美元")), Cell("1.2"), QString()});
        QCOMPARE(static_cast<double>(page.QuoteFor(QStringLiteral("欧元美元"))), 1.2);
    }

    void derived_data() {
        QTest::addColumn<QStringList>("body");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("tolerance");
        const auto row = [](const char16_t* name, const char* price) {
            return QStringList{TitleLine(QString::fromUtf16(name)), Cell(price)};
        };
        const QStringList cny = row(u"美元人民币", "6.3");
        const QStringList hkd = row(u"美元港币", "7.75");
        const QStringList gold = row(u"现货黄金", "1650");
        QTest::newRow("港币人民币") << (cny + hkd) << "港币人民币" << 0.812903 << 1e-6;
        QTest::newRow("人民币黄金") << (cny + gold) << "人民币黄金" << 334.2068 << 1e-4;
        QTest::newRow("香港黄金") << (hkd + gold) << "香港黄金" << 1523.40 << 5e-3;
        QTest::newRow("人民币白银")
            << (cny + row(u"现货白银", "31.1035")) << "人民币白银" << 6.3 << 1e-12;
        QTest::newRow("日元人民币")
            << (cny + row(u"美元日元", "80")) << "日元人民币" << 0.07875 << 1e-12;
        QTest::newRow("瑞典克郎人民币 divides by 瑞典克郎")
            << (cny + row(u"瑞典克郎", "6.3")) << "瑞典克郎人民币" << 1.0 << 1e-12;
        QTest::newRow("欧元人民币")
            << (cny + row(u"欧元美元", "1.2")) << "欧元人民币" << 7.56 << 1e-12;
        QTest::newRow("no base") << hkd << "港币人民币" << 0.0 << 0.0;
        QTest::newRow("negative base")
            << (row(u"美元人民币", "-6.3") + hkd) << "港币人民币" << 0.0 << 0.0;
        QTest::newRow("negative divisor")
            << (cny + row(u"美元日元", "-80")) << "日元人民币" << 0.0 << 0.0;
        QTest::newRow("missing factor") << cny << "欧元人民币" << 0.0 << 0.0;
        QTest::newRow("香港黄金 uses the Hong Kong dollar base")
            << (cny + gold) << "香港黄金" << 0.0 << 0.0;
        QTest::newRow("overflow is no value")
            << (row(u"美元人民币", "1e4000") + row(u"欧元美元", "1e4000")) << "欧元人民币" << 0.0
            << 0.0;
        QTest::newRow("瑞典克郎 itself is read from the page")
            << (cny + row(u"瑞典克郎", "9.45")) << "瑞典克郎" << 9.45 << 1e-12;
        QTest::newRow("names are trimmed before the derived check")
            << (cny + hkd) << " 港币人民币\t" << 0.812903 << 1e-6;
    }
    void derived() {
        QFETCH(QStringList, body);
        QFETCH(QString, name);
        QFETCH(double, value);
        QFETCH(double, tolerance);
        const RatesPage page = PageOf(body);
        const long double got = page.QuoteFor(name);
        QVERIFY2(Near(got, value, tolerance), qPrintable(QString::number(double(got), 'g', 17)));
    }

    // The change and time cells of rows as the built-in source writes them (bid, ask, high,
    // low, change, percent, time), and the derived instruments computed from their legs.
    void previousCloseAndTime_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("close");
        QTest::addColumn<QString>("time");  // ISO 8601; empty: none
        const QString live = QStringLiteral("2026-12-09T20:15:03+08:00");
        const QString earlier = QStringLiteral("2026-12-09T20:14:00+08:00");
        const QString fixing = QStringLiteral("2026-12-08T00:00:00+08:00");
        QTest::newRow("direct") << "美元人民币" << 7.09 << live;
        QTest::newRow("a fall") << "现货黄金" << 2412.0 << earlier;
        QTest::newRow("unchanged reference rate") << "美元港币" << 7.8 << fixing;
        QTest::newRow("no change given") << "欧元美元" << 0.0 << live;
        QTest::newRow("a short row reads nothing of the next one") << "现货白银" << 0.0 << "";
        QTest::newRow("not on the page") << "天然气" << 0.0 << "";
        QTest::newRow("人民币黄金: the older leg's time")
            << "人民币黄金" << 7.09 * 2412 / 31.1035 << earlier;
        QTest::newRow("香港黄金") << "香港黄金" << 7.8 * 2412 * 1.203354 * 0.99 / 10 << fixing;
        QTest::newRow("港币人民币") << "港币人民币" << 7.09 / 7.8 << fixing;
        QTest::newRow("a leg without a close") << "欧元人民币" << 0.0 << live;
        QTest::newRow("a leg without a time") << "人民币白银" << 0.0 << "";
    }
    void previousCloseAndTime() {
        QFETCH(QString, name);
        QFETCH(double, close);
        QFETCH(QString, time);
        const auto row = [](const char16_t* instrument, const QStringList& cells) {
            QStringList lines{TitleLine(QString::fromUtf16(instrument))};
            for (const QString& cell : cells)
                lines.append(Cell(cell));
            return lines + QStringList{QStringLiteral("</tr>")};
        };
        const RatesPage page = PageOf(
            row(u"美元人民币",
                {"7.1000", "--", "7.2", "7.0", "+0.0100", "+0.14%", "2026-12-09 20:15:03"}) +
            row(u"现货黄金",
                {"2400.00", "--", "2420", "2390", "-12.00", "-0.50%", "2026-12-09 20:14:00"}) +
            row(u"美元港币",
                {"7.8000", "--", "--", "--", "+0.0000", "+0.00%", "2026-12-08 参考价"}) +
            row(u"欧元美元", {"1.1600", "--", "--", "--", "--", "--", "2026-12-09 20:15:03"}) +
            row(u"现货白银", {"30.50"}) +
            // Placed so that a change and a time would fall in 现货白银's cells.
            row(u"美元日元", {"155.50", "+0.10", "--", "2026-12-09 20:15:03"}));
        const long double got = page.PreviousCloseFor(name);
        QVERIFY2(Near(got, close, 1e-9), qPrintable(QString::number(double(got), 'g', 17)));
        const QDateTime at = page.QuoteTimeFor(name);
        QCOMPARE(at.isValid() ? at.toString(Qt::ISODate) : QString(), time);
        // Asked again, the same (the cells are read once per page).
        QCOMPARE(double(page.PreviousCloseFor(name)), double(got));
    }

    void samplePage() {
        QFile file(QStringLiteral(KESTREL_TEST_DATA "/rates-sample.html"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        RatesPage page;
        page.SetLines(SplitLines(DecodePage(file.readAll())));
        QVERIFY(page.TrimPageToMarker());
        QVERIFY(page.PageLines().first().contains(u"货币走势图"));
        int missing = 0;
        for (const QString& name : InstrumentCatalogue()) {
            const long double v = page.QuoteFor(name);
            if (v == 0) {
                ++missing;
                QCOMPARE(name, QStringLiteral("天然气"));
            }
        }
        QCOMPARE(missing, 1);
        QCOMPARE(static_cast<double>(page.QuoteFor(QStringLiteral("欧元美元"))), 1.162);
        QCOMPARE(static_cast<double>(page.QuoteFor(QStringLiteral("美元日元"))), 155.2);
        QVERIFY(Near(page.QuoteFor(QStringLiteral("欧元人民币")), 1.162L * 7.08L, 1e-12L));
    }

    // The index must answer exactly as a line-by-line walk of the page does.
    void indexMatchesPlainScan() {
        QRandomGenerator random(20240611);
        // The last three reach past the index's sort key, or just to it, and start alike.
        const QStringList names{"欧元美元",
                                "欧元",
                                "瑞典克郎",
                                "瑞典克郎人民币",
                                "美元",
                                "美元港币",
                                "a",
                                "ab",
                                "abc",
                                "b",
                                "\"",
                                "title=\"",
                                "x\"y",
                                "𝄞",
                                "\xF0\x9D\x84\x9E-",
                                "abcdefghijklmnopq",
                                "abcdefghijklmnopr",
                                "abcdefghijklmnop"};
        const QStringList cells{"1.5", "--", "0", "-0.25", "2e3", "<b>3</b>", "x", "", "7.", "0.0"};
        for (int round = 0; round < 400; ++round) {
            QStringList lines;
            const int count = random.bounded(0, 40);
            for (int i = 0; i < count; ++i) {
                QString line;
                const int kind = random.bounded(4);
                if (kind == 0) {
                    for (int t = random.bounded(1, 4); t > 0; --t) {
                        line += QStringLiteral("<a title=\"%1%2\">")
                                    .arg(names[random.bounded(names.size())],
                                         random.bounded(3) == 0 ? QStringLiteral("z") : QString());
                    }
                } else {
                    line = Cell(cells[random.bounded(cells.size())]);
                }
                lines.append(line);
            }
            RatesPage page;
            page.SetLines(lines);
            for (const QString& name : names) {
                for (const QString& asked : {name, name + QStringLiteral("z"), " " + name}) {
                    QCOMPARE(static_cast<double>(page.LookupQuote(asked)),
                             static_cast<double>(ReferenceLookup(lines, asked)));
                }
            }
        }
    }

    // A line full of titles once made building the index quadratic (40000 took minutes).
    void crowdedTitleLineIsQuick() {
        QString crowded;
        for (int i = 0; i < 40000; ++i)
            crowded += TitleLine(QStringLiteral("欧元美元"));
        RatesPage page = PageOf({crowded, Cell("1.5")});
        QElapsedTimer clock;
        clock.start();
        for (const QString& name : InstrumentCatalogue())
            page.QuoteFor(name);
        QCOMPARE(static_cast<double>(page.QuoteFor(QStringLiteral("欧元美元"))), 1.5);
        QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    }

    void mislabelledPage_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("contentType");
        QTest::addColumn<bool>("good");
        const QString rows =
            TitleLine(QStringLiteral("欧元美元")) + "\r\n" + Cell("1.162") + "\r\n</table>\r\n";
        const QString page = kMarker + "\r\n" + rows;
        const QByteArray gbk = ToCp936(page);
        for (const char* charset : {"iso-8859-1", "utf-8", "big5"}) {
            QTest::addRow("GBK page sent as %s", charset)
                << gbk << QStringLiteral("text/html; charset=%1").arg(charset) << true;
            QTest::addRow("GBK page with a %s meta tag", charset)
                << "<meta charset=\"" + QByteArray(charset) + "\">\r\n" + gbk << QString() << true;
        }
        QTest::newRow("UTF-8 page sent as utf-8")
            << page.toUtf8() << QStringLiteral("text/html; charset=UTF-8") << true;
        QTest::newRow("UTF-8 page with a utf-8 meta tag")
            << "<meta charset=utf-8>\r\n" + page.toUtf8() << QString() << true;
        QTest::newRow("UTF-8 page, the charset's name spaced and quoted")
            << "<!-- charset --><meta content=\"text/html; CHARSET = 'utf-8'\">\r\n" + page.toUtf8()
            << QString() << true;
        QTest::newRow("GBK page without the marker")
            << ToCp936(rows) << "text/html; charset=utf-8" << false;
    }
    void mislabelledPage() {
        QFETCH(QByteArray, body);
        QFETCH(QString, contentType);
        QFETCH(bool, good);
        RatesPage page;
        page.SetBody(body, contentType);
        QCOMPARE(page.TrimPageToMarker(), good);
        if (good)
            QCOMPARE(static_cast<double>(page.QuoteFor(QStringLiteral("欧元美元"))), 1.162);
    }

    void survivesGarbage() {
        QRandomGenerator random(7);
        RatesPage page;
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes(random.bounded(1, 4000), Qt::Uninitialized);
            for (char& c : bytes)
                c = static_cast<char>(random.bounded(256));
            if (round % 3 == 0)
                bytes.replace("\x01", "title=\"");
            if (round % 5 == 0)
                bytes.prepend(ToCp936(QStringLiteral("货币走势图\n")));
            page.SetBody(bytes, round % 2 ? QString() : QStringLiteral("text/html; charset=utf-8"));
            page.TrimPageToMarker();
            for (const QString& name : InstrumentCatalogue()) {
                QVERIFY(std::isfinite(page.QuoteFor(name)));
            }
        }
        // Raw UTF-16 including lone surrogates, and huge lines.
        QString odd;
        for (int i = 0; i < 5000; ++i)
            odd += QChar(static_cast<char16_t>(random.bounded(65536)));
        page.SetLines({kMarker, QStringLiteral("title=\"") + odd, odd, QString(1 << 20, u'<'),
                       QString(1 << 20, u'9'), QStringLiteral("title=\"") + QString(1 << 20, u'e'),
                       QString()});
        QVERIFY(page.TrimPageToMarker());
        for (const QString& name : InstrumentCatalogue())
            page.QuoteFor(name);
        QCOMPARE(static_cast<double>(page.LookupQuote(QStringLiteral("e"))), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestRatesPage)
#include "test_ratespage.moc"
