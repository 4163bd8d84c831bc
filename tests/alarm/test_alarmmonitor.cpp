#include <QTest>
#include <cstdlib>
#include <limits>

#include "alarm/alarmmonitor.h"
#include "quotes/quotelines.h"

using namespace kestrel;

Q_DECLARE_METATYPE(kestrel::AlarmVerdict)

class TestAlarmMonitor : public QObject {
    Q_OBJECT
private slots:
    void crossing_data();
    void crossing();
    void startOnFarSideOnlyRecordsUntilPriceComesBack();
    void raisedAlarmKeepsFiringWhileBeyondAndRearmsOnReturn();
    void texts_data();
    void texts();
    void sameDigitsAsTheWindow();
};

void TestAlarmMonitor::crossing_data() {
    QTest::addColumn<bool>("use");
    QTest::addColumn<QString>("ccy");
    QTest::addColumn<double>("price");
    QTest::addColumn<double>("ref");
    QTest::addColumn<double>("quote");
    QTest::addColumn<AlarmVerdict>("verdict");
    QTest::addColumn<double>("refAfter");

    const QString eur = QStringLiteral("欧元美元");
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // clang-format off
    QTest::newRow("rising through P") << true << eur << 7.0 << 6.9990 << 7.0010 << AlarmVerdict::Raise << 6.9990;
    QTest::newRow("falling through P") << true << eur << 7.0 << 7.0010 << 6.9990 << AlarmVerdict::Raise << 7.0010;
    QTest::newRow("landing exactly on P") << true << eur << 7.0 << 6.9990 << 7.0 << AlarmVerdict::Raise << 6.9990;
    QTest::newRow("reference on P, price above") << true << eur << 7.0 << 7.0 << 7.5 << AlarmVerdict::Raise << 7.0;
    QTest::newRow("reference on P, price below") << true << eur << 7.0 << 7.0 << 0.01 << AlarmVerdict::Raise << 7.0;
    QTest::newRow("approaching from below") << true << eur << 7.0 << 6.90 << 6.95 << AlarmVerdict::Moved << 6.95;
    QTest::newRow("moving away above") << true << eur << 7.0 << 7.10 << 7.20 << AlarmVerdict::Moved << 7.20;
    // The tolerance is on the product: 1e-5 * 1e-5 = 1e-10 still counts, 1e-4 * 1e-4 does not.
    QTest::newRow("product within tolerance") << true << eur << 7.0 << 6.999991 << 6.999991 << AlarmVerdict::Raise << 6.999991;
    QTest::newRow("product beyond tolerance") << true << eur << 7.0 << 6.9999 << 6.9999 << AlarmVerdict::Moved << 6.9999;
    QTest::newRow("first price only recorded") << true << eur << 7.0 << 0.0 << 7.5 << AlarmVerdict::Recorded << 7.5;
    QTest::newRow("P zero never fires") << true << eur << 0.0 << 6.90 << 7.10 << AlarmVerdict::Moved << 7.10;
    QTest::newRow("quote zero keeps reference") << true << eur << 7.0 << 6.90 << 0.0 << AlarmVerdict::NoPrice << 6.90;
    QTest::newRow("quote zero before any reference") << true << eur << 7.0 << 0.0 << 0.0 << AlarmVerdict::NoPrice << 0.0;
    QTest::newRow("infinite quote is no price") << true << eur << 7.0 << 6.90 << inf << AlarmVerdict::NoPrice << 6.90;
    QTest::newRow("NaN quote is no price") << true << eur << 7.0 << 0.0 << nan << AlarmVerdict::NoPrice << 0.0;
    QTest::newRow("UseMonitor off") << false << eur << 7.0 << 6.9990 << 7.0010 << AlarmVerdict::Disarmed << 6.9990;
    QTest::newRow("no instrument") << true << QString() << 7.0 << 6.9990 << 7.0010 << AlarmVerdict::Disarmed << 6.9990;
    // clang-format on
}

void TestAlarmMonitor::crossing() {
    QFETCH(bool, use);
    QFETCH(QString, ccy);
    QFETCH(double, price);
    QFETCH(double, ref);
    QFETCH(double, quote);
    QFETCH(AlarmVerdict, verdict);
    QFETCH(double, refAfter);

    const AlarmSettings settings{use, ccy, price, true};
    long double reference = ref;
    QCOMPARE(CheckCrossing(settings, reference, quote), verdict);
    QCOMPARE(static_cast<double>(reference), refAfter);
}

void TestAlarmMonitor::startOnFarSideOnlyRecordsUntilPriceComesBack() {
    // Armed at 7 while the price already stands at 7.3: no alarm for starting beyond P.
    const AlarmSettings settings{true, QStringLiteral("欧元美元"), 7.0L, false};
    long double reference = 0;
    QCOMPARE(CheckCrossing(settings, reference, 7.3L), AlarmVerdict::Recorded);
    QCOMPARE(CheckCrossing(settings, reference, 7.4L), AlarmVerdict::Moved);
    QCOMPARE(CheckCrossing(settings, reference, 7.1L), AlarmVerdict::Moved);
    QCOMPARE(CheckCrossing(settings, reference, 6.98L), AlarmVerdict::Raise);
}

void TestAlarmMonitor::raisedAlarmKeepsFiringWhileBeyondAndRearmsOnReturn() {
    const AlarmSettings settings{true, QStringLiteral("现货黄金"), 1640.0L, true};
    long double reference = 0;
    QCOMPARE(CheckCrossing(settings, reference, 1635.5L), AlarmVerdict::Recorded);
    QCOMPARE(CheckCrossing(settings, reference, 1642.35L), AlarmVerdict::Raise);
    QCOMPARE(CheckCrossing(settings, reference, 1645.0L), AlarmVerdict::Raise);
    QCOMPARE(CheckCrossing(settings, reference, 1641.0L), AlarmVerdict::Raise);
    QCOMPARE(static_cast<double>(reference), 1635.5);
    // Back on the near side: the reference follows, and the next crossing fires again.
    QCOMPARE(CheckCrossing(settings, reference, 1638.0L), AlarmVerdict::Moved);
    QCOMPARE(static_cast<double>(reference), 1638.0);
    QCOMPARE(CheckCrossing(settings, reference, 1640.5L), AlarmVerdict::Raise);
}

void TestAlarmMonitor::texts_data() {
    QTest::addColumn<QString>("ccy");
    QTest::addColumn<double>("quote");
    QTest::addColumn<double>("price");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("priceText");

    // clang-format off
    QTest::newRow("gold, two decimals") << QStringLiteral("现货黄金") << 1642.35 << 1640.0
        << QStringLiteral("2012-05-02 09:30:15 【现货黄金】 1642.35") << QStringLiteral("1640.00");
    QTest::newRow("euro, four decimals") << QStringLiteral("欧元美元") << 1.31204 << 1.3125
        << QStringLiteral("2012-05-02 09:30:15 【欧元美元】 1.3120") << QStringLiteral("1.3125");
    QTest::newRow("yen pair, two decimals") << QStringLiteral("美元日元") << 80.126 << 80.0
        << QStringLiteral("2012-05-02 09:30:15 【美元日元】 80.13") << QStringLiteral("80.00");
    QTest::newRow("yen yuan, four decimals") << QStringLiteral("日元人民币") << 0.07887 << 0.079
        << QStringLiteral("2012-05-02 09:30:15 【日元人民币】 0.0789") << QStringLiteral("0.0790");
    // clang-format on
}

void TestAlarmMonitor::texts() {
    QFETCH(QString, ccy);
    QFETCH(double, quote);
    QFETCH(double, price);
    QFETCH(QString, line);
    QFETCH(QString, priceText);

    const QDateTime stamp(QDate(2012, 5, 2), QTime(9, 30, 15));
    QCOMPARE(AlarmLine(stamp, ccy, quote), line);
    QCOMPARE(AlarmPriceText(ccy, price), priceText);
}

// A price read from a page halfway between two shown values reads the same in the alarm as in
// the window's line.
void TestAlarmMonitor::sameDigitsAsTheWindow() {
    const QString ccy = QStringLiteral("美元日元");
    const long double read = std::strtold("154.5950", nullptr);
    const QString shown = AlarmPriceText(ccy, read);
    QVERIFY2(FormatQuoteLine(ccy, read).endsWith(u' ' + shown), qPrintable(shown));
}

QTEST_GUILESS_MAIN(TestAlarmMonitor)
#include "test_alarmmonitor.moc"
