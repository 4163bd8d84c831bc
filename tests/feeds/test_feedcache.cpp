// The built-in sources' cache on an explicit clock: which source serves an instrument, when its
// values are withdrawn, how a failing source is asked less often, and how failures are named.
#include <QFile>
#include <QSet>
#include <QStringEncoder>
#include <QTest>

#include "feeds/cache.h"
#include "quotes/catalogue.h"
#include "samples.h"

using namespace kestrel;
using namespace kestrel::feeds;
using namespace kestrel::test;

namespace {

constexpr qint64 kStart = 1'800'000'000'000;  // ms since the epoch

// The samples as the sources would give them at kStart.
std::string Sample(SourceKind kind) {
    if (kind != SourceKind::Portal)
        return EcbSampleAt(kStart);
    QStringEncoder gb18030("GB18030");
    const QString portal = QString::fromUtf8(FeedSample(QStringLiteral("portal.txt")));
    return PortalSampleAt(QByteArray(gb18030(portal)).toStdString(), kStart);
}

const SourceConfig kPortal{SourceKind::Portal, "http://127.0.0.1:1/list=", 5};
const SourceConfig kEcb{SourceKind::Ecb, "http://127.0.0.1:1/ecb.xml", 300};

Answer Good(const SourceConfig& source) {
    return {200, Sample(source.Kind), {}};
}

QString SourceOf(const FeedCache& cache, const QString& name, qint64 now) {
    for (const Served& s : cache.Choose(now)) {
        if (s.Name == name)
            return QString::fromLatin1(SourceName(s.Source));
    }
    return {};
}

}  // namespace

class TestFeedCache : public QObject {
    Q_OBJECT

private slots:
    void firstSourceInOrderWins_data() {
        QTest::addColumn<bool>("portalFirst");
        QTest::addColumn<QString>("yen");
        QTest::newRow("portal, ecb") << true << "portal";
        QTest::newRow("ecb, portal") << false << "ecb";
    }
    void firstSourceInOrderWins() {
        QFETCH(bool, portalFirst);
        QFETCH(QString, yen);
        FeedCache cache(portalFirst ? std::vector{kPortal, kEcb} : std::vector{kEcb, kPortal}, 600,
                        300);
        for (std::size_t i = 0; i < 2; ++i)
            cache.Record(i, Good(cache.Config(i)), kStart);
        QCOMPARE(SourceOf(cache, QStringLiteral("美元日元"), kStart), yen);
        // What only one source carries comes from it, whatever the order.
        QCOMPARE(SourceOf(cache, QStringLiteral("欧元美元"), kStart), QStringLiteral("ecb"));
        QCOMPARE(SourceOf(cache, QStringLiteral("现货黄金"), kStart), QStringLiteral("portal"));
    }

    void valuesOutliveTheirSourceOnlyForTheGrace() {
        FeedCache cache({kPortal}, 600, 300);
        cache.Record(0, Good(kPortal), kStart);
        const qint64 life = (5 + 600) * 1000;
        QVERIFY(cache.Page(kStart + life));
        QCOMPARE(cache.FailureSummary(kStart + life), QString());
        cache.Record(0, {403, {}, {}}, kStart + 10'000);
        QVERIFY(cache.Page(kStart + life));  // a short failure is ridden out
        QVERIFY(!cache.Page(kStart + life + 1));
        QCOMPARE(cache.FailureSummary(kStart + life + 1),
                 QStringLiteral("数据源均已失效（新浪财经：HTTP 403）"));
    }

    void failingSourceIsAskedLessOften() {
        FeedCache cache({kPortal}, 600, 30);
        QVERIFY(cache.Due(0, kStart));
        QCOMPARE(cache.Record(0, {0, {}, "127.0.0.1:1 拒绝连接"}, kStart), 10.0);
        QVERIFY(!cache.Due(0, kStart + 9'999));
        QVERIFY(cache.Due(0, kStart + 10'000));
        QCOMPARE(cache.Record(0, {0, {}, "127.0.0.1:1 拒绝连接"}, kStart), 20.0);
        QCOMPARE(cache.Record(0, {0, {}, "127.0.0.1:1 拒绝连接"}, kStart), 30.0);  // the cap
        QCOMPARE(cache.FailureSummary(kStart),
                 QStringLiteral("数据源均已失效（新浪财经：127.0.0.1:1 拒绝连接）"));
        // An answer puts the source back on its own schedule.
        QCOMPARE(cache.Record(0, Good(kPortal), kStart), 5.0);
        QCOMPARE(cache.Failures(0), 0);
    }

    void everyInstrumentHasItsOwnCode() {
        QSet<QString> codes;
        for (const QString& name : InstrumentCatalogue()) {
            const QString code = InstrumentCode(name);
            QVERIFY2(!code.isEmpty() && !codes.contains(code), qPrintable(name + u' ' + code));
            codes << code;
        }
        QCOMPARE(InstrumentCode(QStringLiteral("瑞典克郎")), QStringLiteral("USDSEK"));
        QCOMPARE(InstrumentCode(QStringLiteral("瑞典克郎人民币")), QStringLiteral("SEKCNY"));
        QCOMPARE(InstrumentCode(QStringLiteral("日元人民币")), QStringLiteral("JPYCNY"));
        QCOMPARE(InstrumentCode(QStringLiteral("人民币黄金")), QStringLiteral("XAUCNY_G"));
        QCOMPARE(InstrumentCode(QStringLiteral("欧元")), QString());
    }
};

QTEST_GUILESS_MAIN(TestFeedCache)
#include "test_feedcache.moc"
