#include <QtTest>

#include <ctime>

#include "quotes/catalogue.h"
#include "quotes/markethours.h"
#include "quotes/ratespage.h"

using namespace kestrel;

Q_DECLARE_METATYPE(kestrel::MarketState)

namespace {

QDateTime Utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}

RatesPage PageOf(const QStringList& names) {
    QStringList lines;
    for (const QString& name : names)
        lines << QStringLiteral("<a title=\"%1\">").arg(name) << QStringLiteral("<td>2</td>");
    lines.append(QStringLiteral("</html>"));
    RatesPage page;
    page.SetLines(lines);
    return page;
}

}  // namespace

class TestMarketHours : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The texts give the opening in local time; Beijing time has no daylight saving.
        qputenv("TZ", "Asia/Shanghai");
        tzset();
    }

    // Times in UTC; New York is UTC-4 in July and UTC-5 in December, London UTC+1 in July.
    void state_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("now");
        QTest::addColumn<MarketState>("state");
        QTest::addColumn<QString>("nextOpening");
        const auto row = [](const char* tag, const char* name, const char* now, MarketState state,
                            const char* next = "") {
            QTest::newRow(tag) << QString::fromUtf8(name) << QString::fromLatin1(now) << state
                               << QString::fromLatin1(next);
        };
        using enum MarketState;
        row("fx friday 16:59 summer", "欧元美元", "2026-07-10T20:59:00Z", Open);
        row("fx friday 17:00 summer", "欧元美元", "2026-07-10T21:00:00Z", Closed,
            "2026-07-12T21:00:00Z");
        row("fx friday 16:59 winter", "现货黄金", "2026-12-11T21:59:00Z", Open);
        row("fx friday 17:00 winter", "现货黄金", "2026-12-11T22:00:00Z", Closed,
            "2026-12-13T22:00:00Z");
        row("fx sunday 16:59", "美元指数", "2026-12-13T21:59:00Z", Closed, "2026-12-13T22:00:00Z");
        row("fx sunday 17:00", "美元指数", "2026-12-13T22:00:00Z", Open);
        row("crude sunday after fx opened", "NYMEX原油", "2026-12-13T22:30:00Z", Closed,
            "2026-12-13T23:00:00Z");
        row("crude sunday 18:00", "纽约原油", "2026-12-13T23:00:00Z", Open);
        row("crude 16:59", "NYMEX原油", "2026-12-09T21:59:00Z", Open);
        row("crude break 17:00", "NYMEX原油", "2026-12-09T22:00:00Z", Break,
            "2026-12-09T23:00:00Z");
        row("crude thursday break", "天然气", "2026-12-10T22:59:00Z", Break,
            "2026-12-10T23:00:00Z");
        row("crude friday 17:00", "NYMEX原油", "2026-12-11T22:00:00Z", Closed,
            "2026-12-13T23:00:00Z");
        row("brent 22:59 winter", "布伦特原油", "2026-12-09T22:59:00Z", Open);
        row("brent break 23:00 winter", "布伦特原油", "2026-12-09T23:00:00Z", Break,
            "2026-12-10T01:00:00Z");
        row("brent break 23:00 summer", "布伦特原油", "2026-07-08T22:00:00Z", Break,
            "2026-07-09T00:00:00Z");
        row("brent 01:00", "布伦特原油", "2026-12-10T01:00:00Z", Open);
        row("brent sunday 22:59", "布伦特原油", "2026-12-13T22:59:00Z", Closed,
            "2026-12-13T23:00:00Z");
        row("brent no break sunday night", "布伦特原油", "2026-12-14T00:30:00Z", Open);
        row("brent friday 23:00", "布伦特原油", "2026-12-11T23:00:00Z", Closed,
            "2026-12-13T23:00:00Z");
        row("yuan night session 02:59", "美元人民币", "2026-12-11T18:59:00Z", Open);
        row("yuan night session ends 03:00", "美元人民币", "2026-12-11T19:00:00Z", Closed,
            "2026-12-14T01:30:00Z");
        row("yuan weekday 09:29", "美元人民币", "2026-12-08T01:29:00Z", Closed,
            "2026-12-08T01:30:00Z");
        row("yuan weekday 09:30", "美元人民币", "2026-12-08T01:30:00Z", Open);
        row("derived with the yuan leg closed", "欧元人民币", "2026-12-08T01:00:00Z", Closed,
            "2026-12-08T01:30:00Z");
        row("derived opens with its later leg", "人民币黄金", "2026-12-12T12:00:00Z", Closed,
            "2026-12-14T01:30:00Z");
        row("hong kong gold has no yuan leg", "香港黄金", "2026-12-08T01:00:00Z", Open);
        row("derived with both legs open", "英镑人民币", "2026-12-08T01:30:00Z", Open);
        row("no clock: open", "欧元美元", "", Open);
        row("fx across the autumn change", "欧元美元", "2026-10-30T21:00:00Z", Closed,
            "2026-11-01T22:00:00Z");
        row("fx across the spring change", "欧元美元", "2026-03-06T22:00:00Z", Closed,
            "2026-03-08T21:00:00Z");
        row("brent across the spring change", "布伦特原油", "2026-03-27T23:00:00Z", Closed,
            "2026-03-29T22:00:00Z");
    }
    void state() {
        QFETCH(QString, name);
        QFETCH(QString, now);
        QFETCH(MarketState, state);
        QFETCH(QString, nextOpening);
        const MarketStatus status = MarketStatusOf(name, Utc(now.toLatin1()));
        QCOMPARE(status.State, state);
        QCOMPARE(status.NextOpening,
                 nextOpening.isEmpty() ? QDateTime() : Utc(nextOpening.toLatin1()));
    }

    void lastClose_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("lastClose");
        QTest::newRow("weekend") << "欧元美元"
                                 << "2026-12-12T12:00:00Z"
                                 << "2026-12-11T22:00:00Z";
        QTest::newRow("at the close") << "欧元美元"
                                      << "2026-12-11T22:00:00Z"
                                      << "2026-12-11T22:00:00Z";
        QTest::newRow("break") << "NYMEX原油"
                               << "2026-12-09T22:30:00Z"
                               << "2026-12-09T22:00:00Z";
        QTest::newRow("open: the previous session's close") << "布伦特原油"
                                                            << "2026-12-10T12:00:00Z"
                                                            << "2026-12-09T23:00:00Z";
        QTest::newRow("derived: its first leg to close") << "欧元人民币"
                                                         << "2026-12-11T21:30:00Z"
                                                         << "2026-12-11T19:00:00Z";
    }
    void lastClose() {
        QFETCH(QString, name);
        QFETCH(QString, now);
        QFETCH(QString, lastClose);
        QCOMPARE(MarketStatusOf(name, Utc(now.toLatin1())).LastClose, Utc(lastClose.toLatin1()));
    }

    // The legs must be exactly what the rates page computes the instrument from.
    void legsAreWhatTheDerivationReads() {
        for (const QString& name : QString::fromUtf16(kDerivedInstruments).split(u',')) {
            const QStringList legs = MarketLegs(name);
            QVERIFY2(legs != QStringList{name}, qPrintable(name));
            QVERIFY2(PageOf(legs).QuoteFor(name) > 0.0L, qPrintable(name));
            for (const QString& leg : legs) {
                QStringList others = legs;
                others.removeOne(leg);
                QVERIFY2(PageOf(others).QuoteFor(name) == 0.0L, qPrintable(name + u' ' + leg));
                QVERIFY(InstrumentCatalogue().contains(leg));
                QVERIFY(!IsDerivedInstrument(leg));
            }
        }
    }

    void selection_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("now");
        QTest::addColumn<bool>("allClosed");
        QTest::addColumn<QString>("firstOpening");
        QTest::addColumn<QString>("nextDownload");  // after a download at now
        QTest::newRow("weekend: ten minutes")
            << QStringList{"NYMEX原油", "欧元人民币", "欧元美元"} << "2026-12-12T12:00:00Z" << true
            << "2026-12-13T22:00:00Z"
            << "2026-12-12T12:10:00Z";
        QTest::newRow("weekend: back at the opening")
            << QStringList{"NYMEX原油", "欧元美元"} << "2026-12-13T21:55:00Z" << true
            << "2026-12-13T22:00:00Z"
            << "2026-12-13T22:00:00Z";
        QTest::newRow("a break counts as closed")
            << QStringList{"NYMEX原油"} << "2026-12-09T22:30:00Z" << true << "2026-12-09T23:00:00Z"
            << "2026-12-09T22:40:00Z";
        QTest::newRow("one open") << QStringList{"NYMEX原油", "欧元美元"} << "2026-12-09T22:30:00Z"
                                  << false << ""
                                  << "2026-12-09T22:30:00Z";
        QTest::newRow("empty") << QStringList{} << "2026-12-12T12:00:00Z" << false << ""
                               << "2026-12-12T12:00:00Z";
    }
    void selection() {
        QFETCH(QStringList, names);
        QFETCH(QString, now);
        QFETCH(bool, allClosed);
        QFETCH(QString, firstOpening);
        QFETCH(QString, nextDownload);
        const QDateTime at = Utc(now.toLatin1());
        const SelectionHours hours = HoursOfSelection(names, at);
        QCOMPARE(hours.AllClosed, allClosed);
        QCOMPARE(hours.FirstOpening,
                 firstOpening.isEmpty() ? QDateTime() : Utc(firstOpening.toLatin1()));
        QCOMPARE(NextDownloadTime(hours, at), Utc(nextDownload.toLatin1()));
    }

    void texts() {
        const QDateTime saturday = Utc("2026-12-12T12:00:00Z");
        // Sunday 22:00 UTC is Monday 06:00 in Beijing.
        QCOMPARE(ClosedTimeLine(Utc("2026-12-13T22:00:00Z"), saturday),
                 QStringLiteral("休市 · 周一 06:00 开盘"));
        QCOMPARE(ClosedTimeLine(Utc("2026-12-14T01:30:00Z"), Utc("2026-12-14T00:00:00Z")),
                 QStringLiteral("休市 · 今天 09:30 开盘"));
        QCOMPARE(ClosedTimeLine(Utc("2026-12-19T01:30:00Z"), saturday),
                 QStringLiteral("休市 · 12-19 09:30 开盘"));
        QCOMPARE(ClosedTimeLine(QDateTime(), saturday), QStringLiteral("休市"));

        const auto age = [&](qint64 seconds) {
            return QuoteAgeText(saturday.addSecs(-seconds), saturday);
        };
        QCOMPARE(age(59), QStringLiteral("刚刚"));
        QCOMPARE(age(-600), QStringLiteral("刚刚"));
        QCOMPARE(age(3 * 60 + 59), QStringLiteral("3分钟前"));
        QCOMPARE(age(60 * 60), QStringLiteral("60分钟前"));
        QCOMPARE(age(61 * 60), QStringLiteral("1小时前"));
        QCOMPARE(age(150 * 60), QStringLiteral("2小时前"));

        QCOMPARE(StaleQuotesText(saturday.addSecs(-(12 * 60 + 30)), saturday),
                 QStringLiteral("行情已 12 分钟未更新"));
        QCOMPARE(StaleQuotesText(saturday.addSecs(-3 * 3600), saturday),
                 QStringLiteral("行情已 3 小时未更新"));
    }
};

QTEST_GUILESS_MAIN(TestMarketHours)
#include "test_markethours.moc"
