// The built-in sources' cache on an explicit clock: which source serves an instrument, which
// values are withheld and why, when values are withdrawn, how a failing source is asked less
// often, and how failures are named.
#include <QFile>
#include <QSet>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <regex>
#include <sstream>

#include "feeds/cache.h"
#include "feeds/lastvalues.h"
#include "quotes/catalogue.h"
#include "samples.h"

using namespace kestrel;
using namespace kestrel::feeds;
using namespace kestrel::test;

namespace {

constexpr qint64 kStart = 1'800'000'000'000;  // ms since the epoch

// The samples as the sources would give them at `at`.
std::string Sample(SourceKind kind, qint64 at = kStart) {
    if (kind != SourceKind::Portal)
        return EcbSampleAt(at);
    QStringEncoder gb18030("GB18030");
    const QString portal = QString::fromUtf8(FeedSample(QStringLiteral("portal.txt")));
    return PortalSampleAt(QByteArray(gb18030(portal)).toStdString(), at);
}

// Every price of the portal's statements (of one symbol only, when given) times factor: a feed
// that is off and agrees with its own previous close.
std::string Scaled(const std::string& portal, double factor, const std::string& only = {}) {
    static const std::regex number(R"(\d+\.\d+)");
    std::string out;
    std::istringstream lines(portal);
    for (std::string line; std::getline(lines, line);) {
        if (only.empty() || line.find("hq_str_" + only + "=") != std::string::npos) {
            std::string scaled;
            auto last = line.cbegin();
            for (std::sregex_iterator m(line.begin(), line.end(), number), end; m != end; ++m) {
                scaled.append(last, line.cbegin() + m->position());
                scaled += QString::number(std::stod(m->str()) * factor, 'f', 6).toStdString();
                last = line.cbegin() + m->position() + m->length();
            }
            line = scaled.append(last, line.cend());
        }
        out += line + "\n";
    }
    return out;
}

// The reference file with the dollar at ten euros: every dollar pair ten times off.
std::string EcbTenTimesOff(qint64 at = kStart) {
    std::string ecb = Sample(SourceKind::Ecb, at);
    const std::string usd = "currency='USD' rate='1.0705'";
    return ecb.replace(ecb.find(usd), usd.size(), "currency='USD' rate='10.705'");
}

const SourceConfig kPortal{SourceKind::Portal, "http://127.0.0.1:1/list=", 5};
const SourceConfig kEcb{SourceKind::Ecb, "http://127.0.0.1:1/ecb.xml", 300};

Answer Good(const SourceConfig& source) {
    return {200, Sample(source.Kind), {}};
}

const QString kYen = QStringLiteral("美元日元");
const QString kEuro = QStringLiteral("欧元美元");
const QString kGold = QStringLiteral("现货黄金");

QString WhyWithheld(const FeedCache& cache, const QString& name, qint64 now) {
    const auto withheld = cache.Withheld(now);
    const auto it = withheld.find(name);
    return it == withheld.end() ? QString() : it->second;
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
    // Whichever answers first, the order of the sources decides.
    void firstSourceInOrderWins_data() {
        QTest::addColumn<bool>("portalFirst");
        QTest::addColumn<bool>("lastAnswersFirst");
        QTest::addColumn<QString>("yen");
        QTest::newRow("portal, ecb") << true << false << "portal";
        QTest::newRow("portal, ecb; ecb answers first") << true << true << "portal";
        QTest::newRow("ecb, portal") << false << false << "ecb";
        QTest::newRow("ecb, portal; portal answers first") << false << true << "ecb";
    }
    void firstSourceInOrderWins() {
        QFETCH(bool, portalFirst);
        QFETCH(bool, lastAnswersFirst);
        QFETCH(QString, yen);
        FeedCache cache(portalFirst ? std::vector{kPortal, kEcb} : std::vector{kEcb, kPortal}, 600,
                        300);
        for (std::size_t i :
             lastAnswersFirst ? std::vector<std::size_t>{1, 0} : std::vector<std::size_t>{0, 1})
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

    // While the market is closed the quotes of the close stay, and only those: from Friday's
    // close to Sunday's opening in New York, whatever the clocks do in between.
    void aClosedMarketKeepsItsClosingQuotes() {
        const auto at = [](const char* iso) {
            return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toMSecsSinceEpoch();
        };
        const qint64 close = at("2027-03-12T16:58:00-05:00");  // a Friday in New York
        FeedCache cache({kPortal}, 600, 7 * 86400);
        cache.Record(0, {200, Sample(SourceKind::Portal, close), {}}, close);
        for (const char* moment : {"2027-03-13T12:00:00-05:00", "2027-03-14T16:59:00-04:00"}) {
            cache.Record(0, {200, Sample(SourceKind::Portal, close), {}}, at(moment));
            QCOMPARE(SourceOf(cache, kYen, at(moment)), QStringLiteral("portal"));
        }
        // Open again, Friday's quote is old; one of Thursday was old before the close.
        const qint64 sunday = at("2027-03-14T17:11:00-04:00");
        cache.Record(0, {200, Sample(SourceKind::Portal, close), {}}, sunday);
        QCOMPARE(SourceOf(cache, kYen, sunday), QString());
        QCOMPARE(WhyWithheld(cache, kYen, sunday), QStringLiteral("报价已过时"));
        const qint64 saturday = at("2027-03-13T12:00:00-05:00");
        FeedCache later({kPortal}, 600, 7 * 86400);
        later.Record(0, {200, Sample(SourceKind::Portal, close - 86400'000), {}}, saturday);
        QCOMPARE(SourceOf(later, kYen, saturday), QString());
    }

    // A source that answers with quotes that no longer move is not a network failure: the
    // trader is told since when the quotes are old.
    void stoppedQuotesSayHowOld() {
        FeedCache cache({kPortal}, 600, 300);
        cache.Record(0, {200, Sample(SourceKind::Portal, kStart - 20 * 60'000), {}}, kStart);
        QCOMPARE(cache.StoppedSinceMs(kStart), std::optional(kStart - 20 * 60'000));
        QCOMPARE(cache.FailureSummary(kStart), QStringLiteral("行情已 20 分钟未更新"));
        cache.Record(0, {403, {}, {}}, kStart + 60'000);
        QCOMPARE(cache.StoppedSinceMs(kStart + 60'000), std::nullopt);
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

    // A feed ten times off that agrees with its own previous close, alone, beside a correct
    // source, and beside one that is right where the other is ten times off.
    void tenTimesOff() {
        const std::string portalOff = Scaled(Sample(SourceKind::Portal), 10);
        {
            FeedCache cache({kPortal}, 600, 300);
            cache.Record(0, {200, portalOff, {}}, kStart);
            QVERIFY(cache.Choose(kStart).empty());
            QCOMPARE(cache.FailureSummary(kStart),
                     QStringLiteral("数据源均已失效（新浪财经：美元指数 995.083 超出合理范围）"));
            QCOMPARE(WhyWithheld(cache, kGold, kStart), QStringLiteral("43443.6 超出合理范围"));
        }
        {
            // Refused portal, the dollar ten times off in the reference file: nothing at all.
            FeedCache cache({kPortal, kEcb}, 600, 300);
            cache.Record(0, {403, {}, {}}, kStart);
            cache.Record(1, {200, EcbTenTimesOff(), {}}, kStart);
            QVERIFY(cache.Choose(kStart).empty());
            QCOMPARE(cache.FailureSummary(kStart),
                     QStringLiteral("数据源均已失效（新浪财经：HTTP 403；欧洲央行：欧元美元 "
                                    "10.705 超出合理范围）"));
        }
        for (const bool portalAnswersFirst : {true, false}) {
            FeedCache cache({kPortal, kEcb}, 600, 300);
            for (std::size_t i : portalAnswersFirst ? std::vector<std::size_t>{0, 1}
                                                    : std::vector<std::size_t>{1, 0})
                cache.Record(i, i == 0 ? Answer{200, portalOff, {}} : Good(kEcb), kStart);
            QCOMPARE(SourceOf(cache, kYen, kStart), QStringLiteral("ecb"));
            QCOMPARE(SourceOf(cache, kGold, kStart), QString());
        }
        {
            FeedCache cache({kPortal, kEcb}, 600, 300);
            cache.Record(0, Good(kPortal), kStart);
            cache.Record(1, {200, EcbTenTimesOff(), {}}, kStart);
            QCOMPARE(SourceOf(cache, kYen, kStart), QStringLiteral("portal"));
            QCOMPARE(SourceOf(cache, kEuro, kStart), QString());
            QVERIFY(WhyWithheld(cache, kEuro, kStart).endsWith(QStringLiteral("超出合理范围")));
        }
    }

    // Half as much again is within every range: only the other references can catch it.
    void sourcesThatDisagreeShowNeither() {
        FeedCache cache({kPortal, kEcb}, 600, 300);
        cache.Record(1, Good(kEcb), kStart);
        cache.Record(0, {200, Scaled(Sample(SourceKind::Portal), 1.5, "fx_susdjpy"), {}}, kStart);
        QCOMPARE(SourceOf(cache, kYen, kStart), QString());
        QCOMPARE(WhyWithheld(cache, kYen, kStart), QStringLiteral("来源不一致"));
        QCOMPARE(SourceOf(cache, kGold, kStart), QStringLiteral("portal"));
    }

    // A wrong value accepted at the first answer holds out a right one however long after;
    // a second source that agrees with the right one lets it in, and it stays in without it.
    void rightValueWinsOnceConfirmed() {
        FeedCache cache({kPortal, kEcb}, 600, 300);
        cache.Record(0, {200, Scaled(Sample(SourceKind::Portal), 1.5, "fx_susdjpy"), {}}, kStart);
        QCOMPARE(SourceOf(cache, kYen, kStart), QStringLiteral("portal"));
        const qint64 later = kStart + 365 * 86400LL * 1000;
        cache.Record(0, {200, Sample(SourceKind::Portal, later), {}}, later);
        QCOMPARE(SourceOf(cache, kYen, later), QString());
        QCOMPARE(WhyWithheld(cache, kYen, later), QStringLiteral("与此前报价相差过大"));
        cache.Record(1, {200, Sample(SourceKind::Ecb, later), {}}, later);
        QCOMPARE(SourceOf(cache, kYen, later), QStringLiteral("portal"));
        // The reference file gone stale, the portal's value stands on its own.
        const qint64 muchLater = later + 3600LL * 1000;
        cache.Record(0, {200, Sample(SourceKind::Portal, muchLater), {}}, muchLater);
        QCOMPARE(SourceOf(cache, kYen, muchLater), QStringLiteral("portal"));
    }

    // What one run showed holds the next run's first answers; a file with bad bytes is no
    // reference, and neither is a line of it that is not right.
    void lastValuesOfAnEarlierRun() {
        QTemporaryDir dir;
        const QString path = LastValuesBeside(dir.filePath(QStringLiteral("kestrel.ini")));
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("kestrel.lastvalues"));
        {
            FeedCache cache({kPortal}, 600, 300);
            cache.Record(0, Good(kPortal), kStart);
            QVERIFY(WriteLastValues(path, cache.LastValues()));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("美元港币\t7.8\n现货白银\tnan\t1\n\xff\xfe\t1\t1\n");
        file.close();
        const std::map<QString, Reference> earlier = ReadLastValues(path);
        QCOMPARE(earlier.size(), std::size_t(9));  // the portal's instruments, nothing appended
        QVERIFY(earlier.at(kYen).EarlierRun);
        QCOMPARE(earlier.at(kYen).Ms, kStart);

        const qint64 nextDay = kStart + 86400LL * 1000;
        FeedCache cache({kPortal}, 600, 300);
        cache.Remember(earlier);
        cache.Record(0, {200, Scaled(Sample(SourceKind::Portal, nextDay), 1.5, "fx_susdjpy"), {}},
                     nextDay);
        QCOMPARE(WhyWithheld(cache, kYen, nextDay), QStringLiteral("与此前报价相差过大"));
        QCOMPARE(SourceOf(cache, kGold, nextDay), QStringLiteral("portal"));

        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x00\x01garbage\n美元日元\t154\t1\n");
        file.close();
        QVERIFY(ReadLastValues(path).empty());
    }

    // A service that asks to be left alone is, within the ceiling, never for less than the
    // back-off.
    void retryAfter_data() {
        QTest::addColumn<double>("retryAfter");
        QTest::addColumn<double>("wait");
        QTest::newRow("not said") << 0.0 << 10.0;
        QTest::newRow("longer than the back-off") << 120.0 << 120.0;
        QTest::newRow("beyond the ceiling") << 3600.0 << 300.0;
        QTest::newRow("shorter than the back-off") << 1.0 << 10.0;
    }
    void retryAfter() {
        QFETCH(double, retryAfter);
        QFETCH(double, wait);
        FeedCache cache({kPortal}, 600, 300);
        Answer tooMany{429, {}, {}};
        tooMany.RetryAfterSeconds = retryAfter;
        QCOMPARE(cache.Record(0, tooMany, kStart), wait);
        QVERIFY(!cache.Due(0, kStart + qint64(wait * 1000) - 1));
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
