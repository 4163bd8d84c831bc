// The references a value must agree with: its instrument's range, the other sources, the value
// shown before.
#include <QStringEncoder>
#include <QTest>

#include "feeds/feeds.h"
#include "feeds/plausibility.h"
#include "samples.h"

using namespace kestrel;
using namespace kestrel::feeds;
using namespace kestrel::test;

namespace {

constexpr qint64 kDayMs = 86400LL * 1000;
constexpr qint64 kNow = 1'800'000'000'000;

}  // namespace

Q_DECLARE_METATYPE(std::vector<double>)

class TestPlausibility : public QObject {
    Q_OBJECT

private slots:
    // Every real value of the samples is in its range, and ten times off is not (gold at a
    // tenth is a price of the 1990s: the other references have to catch that one).
    void rangesHoldTheSamplesAndNotTenTimesOff() {
        QStringEncoder gb18030("GB18030");
        const QString portal = QString::fromUtf8(FeedSample(QStringLiteral("portal.txt")));
        QuoteMap all = ParsePortal(gb18030(portal)).Quotes;
        AddCrosses(all, 0);
        QuoteMap ecb = ParseEcb(FeedSample(QStringLiteral("ecb.xml"))).Quotes;
        AddCrosses(ecb, 0);
        all.merge(ecb);
        for (const QString& name : PageInstruments()) {
            QVERIFY2(PlausibleRange(name), qPrintable(name));
            QVERIFY2(all.contains(name), qPrintable(name));
        }
        for (const auto& [name, quote] : all) {
            const QByteArray what = (name + u' ' + QString::number(quote.Price)).toUtf8();
            QVERIFY2(!ImplausibleValue(quote.Price, name), what.constData());
            QVERIFY2(ImplausibleValue(quote.Price * 10, name), what.constData());
            if (name != QStringLiteral("现货黄金"))
                QVERIFY2(ImplausibleValue(quote.Price / 10, name), what.constData());
        }
    }

    void decide_data() {
        QTest::addColumn<std::vector<double>>("values");  // per source in order, 0: none
        QTest::addColumn<double>("reference");            // 0: none
        QTest::addColumn<qint64>("referenceAgeDays");
        QTest::addColumn<bool>("earlierRun");
        QTest::addColumn<int>("served");  // -1: withheld
        QTest::addColumn<QString>("reason");
        const QString none, apart = kSourcesDisagree, far = kFarFromEarlier;
        using V = std::vector<double>;
        QTest::newRow("nothing") << V{0, 0} << 1.17 << 0LL << false << -1 << none;
        QTest::newRow("first run, alone") << V{1.17} << 0.0 << 0LL << false << 0 << none;
        QTest::newRow("agrees with the last") << V{1.17} << 1.16 << 0LL << false << 0 << none;
        QTest::newRow("only the second has it") << V{0, 1.17} << 1.16 << 0LL << false << 1 << none;
        QTest::newRow("both agree: the first in order")
            << V{1.18, 1.17} << 1.16 << 0LL << false << 0 << none;
        QTest::newRow("sources disagree") << V{2.2, 1.17} << 0.0 << 0LL << false << -1 << apart;
        QTest::newRow("one of three disagrees")
            << V{1.17, 1.17, 2.2} << 1.17 << 0LL << false << -1 << apart;
        QTest::newRow("alone against the last") << V{2.2} << 1.17 << 0LL << false << -1 << far;
        // Waiting never lets a value in that the last one shown disagrees with...
        QTest::newRow("a year after the last") << V{2.2} << 1.17 << 365LL << false << -1 << far;
        // ...but a second source that agrees does, against a wrong earlier one.
        QTest::newRow("confirmed against a wrong last")
            << V{1.17, 1.16} << 2.2 << 0LL << false << 0 << none;
        QTest::newRow("earlier run, days ago") << V{1.5} << 1.17 << 3LL << true << -1 << far;
        QTest::newRow("earlier run, weeks ago: twice the band")
            << V{1.5} << 1.17 << 10LL << true << 0 << none;
        QTest::newRow("earlier run, weeks ago, far off")
            << V{2.2} << 1.17 << 10LL << true << -1 << far;
        QTest::newRow("earlier run, months ago") << V{2.2} << 1.17 << 40LL << true << 0 << none;
    }
    void decide() {
        QFETCH(std::vector<double>, values);
        QFETCH(double, reference);
        QFETCH(qint64, referenceAgeDays);
        QFETCH(bool, earlierRun);
        QFETCH(int, served);
        QFETCH(QString, reason);
        std::optional<Reference> last;
        if (reference > 0)
            last = Reference{reference, kNow - referenceAgeDays * kDayMs, earlierRun};
        const Verdict verdict = Decide(values, last, kNow);
        QCOMPARE(verdict.Source, served);
        QCOMPARE(verdict.Reason, reason);
    }
};

QTEST_GUILESS_MAIN(TestPlausibility)
#include "test_plausibility.moc"
