// The quote gateway: its readers of the public feeds, and the server as a process polling a fake
// upstream on loopback, read back by `kestrel --print`.
#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>
#include <atomic>
#include <mutex>
#include <regex>
#include <thread>

#include "../../feeds/samples.h"
#include "feeds/feeds.h"
#include "feeds/plausibility.h"
#include "text/encodings.h"

using namespace kestrel;
using namespace kestrel::feeds;
using namespace kestrel::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kRates = "/rates/index.aspx";

QByteArray Gb18030(const QString& text) {
    QStringEncoder encoder("GB18030");
    return encoder(text);
}

// A stand-in for the three upstreams, with the quote service's referer rule.
class FakeUpstream {
public:
    FakeUpstream() {
        Portal = Gb18030(QString::fromUtf8(FeedSample(QStringLiteral("portal.txt")))).toStdString();
        server_.Get(R"(/list=.*)", [this](const httplib::Request& req, httplib::Response& res) {
            std::unique_lock lock(mutex_);
            ++PortalRequests;
            if (DripMs > 0) {
                const int drip = DripMs;
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(drip));
                lock.lock();
            }
            if (req.get_header_value("Referer") != "https://finance.sina.com.cn/" || Refuse) {
                res.status = 403;
                res.set_content("Kinsoku jikou desu!", "text/plain");
            } else if (Status != 200) {
                res.status = Status;
            } else {
                res.set_content(PortalSampleAt(Portal, QDateTime::currentMSecsSinceEpoch()),
                                "application/javascript; charset=GB18030");
            }
        });
        // The reference rates of yesterday: today's are fixed in the afternoon.
        server_.Get("/ecb.xml", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(EcbSampleAt(QDateTime::currentMSecsSinceEpoch()), "text/xml");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeUpstream() {
        server_.stop();
        thread_.join();
    }
    QStringList Urls() const {
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port_);
        return {QStringLiteral("--portal-url"), base + QStringLiteral("/list="),
                QStringLiteral("--ecb-url"), base + QStringLiteral("/ecb.xml")};
    }
    void Set(std::function<void(FakeUpstream&)> change) {
        std::lock_guard lock(mutex_);
        change(*this);
    }
    int Requests() {
        std::lock_guard lock(mutex_);
        return PortalRequests;
    }

    std::string Portal;
    bool Refuse = false;
    int Status = 200;
    int DripMs = 0;  // the service takes this long to answer
    int PortalRequests = 0;

private:
    std::mutex mutex_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

class Gateway {
public:
    explicit Gateway(const QStringList& arguments) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
            env.remove(QString::fromLatin1(proxy));
        // The default history file, kept out of the user's own folders.
        env.insert(QStringLiteral("XDG_DATA_HOME"), home_.path());
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"),
                       QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
        static const QRegularExpression listening(QStringLiteral(":(\\d+)/"));
        while (process_.waitForReadyRead(5000)) {
            const auto m = listening.match(QString::fromUtf8(process_.readAllStandardOutput()));
            if (m.hasMatch()) {
                port_ = m.captured(1).toInt();
                break;
            }
        }
    }
    ~Gateway() {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    int Port() const { return port_; }
    QString RatesUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/rates/index.aspx").arg(port_);
    }
    httplib::Result Get(const char* path) const {
        httplib::Client client("127.0.0.1", port_);
        return client.Get(path);
    }
    // Polls the page until it answers `status`, for up to five seconds.
    bool WaitForPage(int status) const {
        for (int i = 0; i < 100; ++i) {
            if (const auto res = Get("/rates/index.aspx"); res && res->status == status)
                return true;
            QTest::qWait(50);
        }
        return false;
    }
    QJsonObject Status() const {
        const auto res = Get("/status");
        return res ? QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object()
                   : QJsonObject();
    }
    QString Log() {
        process_.terminate();
        process_.waitForFinished(5000);
        return QString::fromUtf8(process_.readAllStandardError());
    }

private:
    QTemporaryDir home_;
    QProcess process_;
    int port_ = 0;
};

}  // namespace

class TestGateway : public QObject {
    Q_OBJECT

private slots:
    void portalLines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("instrument");
        QTest::addColumn<double>("price");
        const QString xau =
            "var hq_str_hf_XAU=\"4454.23,4601.580,4454.23,4454.93,4631.18,4445.40,04:55:00,"
            "4601.58,4603.23,0,0,0,2026-08-29,伦敦金%1\";";
        QTest::newRow("spot metal, 14 fields") << xau.arg("") << "现货黄金" << 4454.23;
        QTest::newRow("extra trailing field") << xau.arg(",0") << "现货黄金" << 4454.23;
        QTest::newRow("fx with a comma-free name and empty fields")
            << "var hq_str_fx_susdcny=\"20:00:14,6.711,6.713,6.7114,231,6.6974,6.7158,6.6927,"
               "6.712,在岸人民币,0.0089,0.0006,0.0231,,0,0,,2026-09-14\";"
            << "美元人民币" << 6.712;
        QTest::newRow("empty statement") << "var hq_str_hf_XAU=\"\";"
                                         << "现货黄金" << 0.0;
        QTest::newRow("zero price")
            << "var hq_str_hf_NG=\"0.000,,2.776,2.777,2.870,2.768,17:32:18,2.888,2.850,0,16,3,"
               "2026-07-27,美国天然气,0\";"
            << "天然气" << 0.0;
        QTest::newRow("drifted: a field lost, the date moves")
            << "var hq_str_hf_CL=\"82.543,82.540,82.550,86.200,82.460,17:32:43,89.310,86.120,0,6,"
               "1,2026-07-27,纽约原油,0\";"
            << "NYMEX原油" << 0.0;
        QTest::newRow("latest above the high")
            << "var hq_str_hf_OIL=\"90.954,,84.950,84.960,88.950,84.910,17:32:35,91.680,88.800,0,2,"
               "1,2026-07-27,布伦特原油,169225\";"
            << "布伦特原油" << 0.0;
        QTest::newRow("too few fields")
            << "var hq_str_DINIW=\"20:00:46,99.5083,99.5083,99.0901,5436,99.0977,99.6033\";"
            << "美元指数" << 0.0;
    }
    void portalLines() {
        QFETCH(QString, line);
        QFETCH(QString, instrument);
        QFETCH(double, price);
        const Parsed parsed = ParsePortal(Gb18030(line + u'\n'));
        const auto it = parsed.Quotes.find(instrument);
        QCOMPARE(it == parsed.Quotes.end() ? 0.0 : it->second.Price, price);
        // A line that is not empty and not taken is reported, so that a drift is noticed.
        QCOMPARE(parsed.Problems.size(), std::size_t(price == 0 && !line.contains("=\"\"")));
    }

    void bankBoard() {
        const Parsed parsed = ParseBoc(FeedSample(QStringLiteral("boc.html")));
        // Yuan per 100 units: the dollar row alone gives the yuan rate, other rows go through it.
        QCOMPARE(parsed.Quotes.at(QStringLiteral("美元人民币")).Price, 7.1253);
        QVERIFY(qFuzzyCompare(parsed.Quotes.at(QStringLiteral("美元日元")).Price, 712.53 / 4.2791));
        // No middle rate: the middle of the spot rates; the date cell carries the time.
        const Quote& euro = parsed.Quotes.at(QStringLiteral("欧元美元"));
        QVERIFY(qFuzzyCompare(euro.Price, (828.1 + 834.2) / 2 / 712.53));
        QCOMPARE(euro.Time.toString(Qt::ISODate), QStringLiteral("2026-08-07T14:19:39+08:00"));
        QCOMPARE(parsed.Quotes.size(), std::size_t(3));
    }

    void samplesReachTheTicker() {
        FakeUpstream upstream;
        Gateway gateway(QStringList{"--source", "portal", "--source", "ecb", "--poll", "0.2"} +
                        upstream.Urls());
        QVERIFY(gateway.Port() > 0);
        const auto bothIn = [&gateway] {
            const QJsonArray sources = gateway.Status()["sources"].toArray();
            return sources.size() == 2 &&
                   !sources[0].toObject()["last_success"].toString().isEmpty() &&
                   !sources[1].toObject()["last_success"].toString().isEmpty();
        };
        QTRY_VERIFY(bothIn());

        const QStringList selection = {"美元指数",   "美元日元", "美元人民币", "美元港币",
                                       "欧元美元",   "瑞典克郎", "欧元日元",   "英镑日元",
                                       "NYMEX原油",  "天然气",   "现货黄金",   "现货白银",
                                       "欧元人民币", "瑞郎日元", "纽元美元",   "美元坡元"};
        const QList<double> expected = {
            99.5083, 154.595, 6.712, 7.845, 1.0705, 11.3595 / 1.0705,
            // Crosses come from the reference file alone: its euro with the service's yen
            // would mix a live price with one from another day.
            171.94, 171.94 / 0.84638, 82.543, 2.776, 4344.36, 57.60, 6.712 * 1.0705,
            171.94 / 0.9634, 1.0705 / 1.7601, 1.4513 / 1.0705};
        QTemporaryDir home;
        QFile ccy(home.filePath(QStringLiteral("kestrel.ccy")));
        QVERIFY(ccy.open(QIODevice::WriteOnly));
        ccy.write(ToCp936(selection.join(QStringLiteral("\r\n"))));
        ccy.close();
        QProcess kestrel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTREL_HOME"), home.path());
        env.remove(QStringLiteral("http_proxy"));
        kestrel.setProcessEnvironment(env);
        kestrel.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"),
                      {"--print", "--format", "json", "--url", gateway.RatesUrl()});
        QVERIFY(kestrel.waitForFinished(30000));
        QCOMPARE(kestrel.exitCode(), 0);
        const QJsonArray records = QJsonDocument::fromJson(kestrel.readAllStandardOutput()).array();
        QCOMPARE(records.size(), selection.size());
        for (qsizetype i = 0; i < selection.size(); ++i) {
            const QJsonObject r = records[i].toObject();
            QCOMPARE(r["name"].toString(), selection[i]);
            QVERIFY2(qAbs(r["raw_value"].toDouble() / expected[i] - 1) < 1e-6,
                     qPrintable(selection[i] + ": " + QString::number(r["raw_value"].toDouble())));
        }
        QCOMPARE(records[8].toObject()["display"].toString(), QStringLiteral("纽约原油"));
        QCOMPARE(records[8].toObject()["decimals"].toInt(), 2);

        // Each value carries its own time; a reference rate says which day it is of.
        const QString page =
            FromCp936(QByteArray::fromStdString(gateway.Get("/rates/index.aspx")->body));
        QVERIFY(page.contains(QStringLiteral("<td>%1 参考价</td>")
                                  .arg(QDate::currentDate().addDays(-1).toString(Qt::ISODate))));

        const QJsonObject status = gateway.Status();
        QStringList sources;
        for (const QJsonValue& v : status["instruments"].toArray()) {
            if (v.toObject()["name"] == QStringLiteral("美元日元") ||
                v.toObject()["name"] == QStringLiteral("欧元美元"))
                sources << v.toObject()["source"].toString();
        }
        QCOMPARE(sources, (QStringList{"ecb", "portal"}));  // page order: 欧元美元 first
    }

    void droppedLinesAreLoggedOnce() {
        FakeUpstream upstream;
        upstream.Set([](FakeUpstream& u) {
            u.Portal +=
                Gb18030(QStringLiteral("var hq_str_hf_NG=\"0.000,,2.776,2.777,2.870,2.768,17:32:18,"
                                       "2.888,2.850,0,16,3,2026-07-27,美国天然气,0\";\n"))
                    .toStdString();
        });
        Gateway gateway(QStringList{"--source", "portal", "--poll", "0.1"} + upstream.Urls());
        QVERIFY(gateway.WaitForPage(200));
        QTRY_VERIFY(upstream.Requests() >= 4);
        const QString page = FromCp936(QByteArray::fromStdString(gateway.Get(kRates)->body));
        QVERIFY(!page.contains(QStringLiteral("天然气")));  // which of the two would be right?
        QCOMPARE(gateway.Log().count(QStringLiteral("dropped hf_NG: given twice")), 1);
    }

    // The rules every arriving quote passes; the time is fixed so that ages are exact.
    void valueRules_data() {
        QTest::addColumn<double>("price");
        QTest::addColumn<double>("prevClose");
        QTest::addColumn<qint64>("ageSeconds");
        QTest::addColumn<bool>("reference");
        QTest::addColumn<double>("lastAccepted");
        QTest::addColumn<QString>("reason");  // empty: served
        QTest::newRow("sound") << 1.17 << 1.16 << 30LL << false << 1.17 << "";
        QTest::newRow("tiny") << 1e-300 << 0.0 << 30LL << false << 0.0 << "rounds to zero";
        QTest::newRow("huge") << 1e300 << 0.0 << 30LL << false << 0.0 << "too large";
        QTest::newRow("infinite") << qInf() << 0.0 << 30LL << false << 0.0 << "not a positive";
        QTest::newRow("negative") << -1.17 << 0.0 << 30LL << false << 0.0 << "not a positive";
        QTest::newRow("years old") << 1.17 << 0.0 << 247881907LL << false << 0.0 << "older than";
        QTest::newRow("just past stale") << 1.17 << 0.0 << 601LL << false << 0.0 << "older than";
        QTest::newRow("reference of the weekend")
            << 1.17 << 0.0 << 3 * 86400LL << true << 0.0 << "";
        QTest::newRow("reference of last week")
            << 1.17 << 0.0 << 6 * 86400LL << true << 0.0 << "older than";
        QTest::newRow("from the future") << 1.17 << 0.0 << -3600LL << false << 0.0 << "future";
        QTest::newRow("far from the close")
            << 1.5 << 1.16 << 30LL << false << 0.0 << "previous close";
        QTest::newRow("far from the last")
            << 0.117 << 0.0 << 30LL << false << 1.17 << "last accepted";
    }
    void valueRules() {
        QFETCH(double, price);
        QFETCH(double, prevClose);
        QFETCH(qint64, ageSeconds);
        QFETCH(bool, reference);
        QFETCH(double, lastAccepted);
        QFETCH(QString, reason);
        const qint64 now =
            QDateTime(QDate(2026, 12, 8), QTime(12, 0), QTimeZone::utc()).toMSecsSinceEpoch();
        Quote q;
        q.Price = price;
        q.PrevClose = prevClose;
        q.Reference = reference;
        q.Time = QDateTime::fromMSecsSinceEpoch(now - ageSeconds * 1000, QTimeZone::utc());
        const auto why = ImplausibleQuote(q, QStringLiteral("欧元美元"), lastAccepted, now, 600);
        QCOMPARE(why.has_value(), !reason.isEmpty());
        if (why)
            QVERIFY2(QString::fromStdString(*why).contains(reason), why->c_str());
    }

    // A cross of two legs that each pass can still be nothing: N/A, never 0 or inf.
    void crossesThatCannotBeShown() {
        QuoteMap legs;
        const auto leg = [&legs](const char* name, double price) {
            Quote q;
            q.Price = price;
            legs[QString::fromUtf8(name)] = q;
        };
        leg("欧元美元", 1e-7);
        leg("美元日元", 5);
        leg("英镑美元", 1e7);
        AddCrosses(legs, 5000);
        for (const char* cross : {"欧元日元", "英镑日元"}) {
            const double price = legs.at(QString::fromUtf8(cross)).Price;
            QVERIFY2(ImplausibleValue(price, QString::fromUtf8(cross)), cross);
        }
    }

    // The readers keep nothing a symbol said twice, whatever the feed.
    void repeatedKeys_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("ecb");
        const QByteArray portal = Gb18030(
            u"var hq_str_fx_susdcny=\"20:00:14,6.711,6.713,6.7114,231,6.6974,6.7158,6.6927,"
            u"6.712,在岸人民币,0.0089,0.0006,0.0231,,0,0,,2026-09-14\";\n"_s);
        QTest::newRow("portal") << portal + portal << false;
        QTest::newRow("reference file")
            << QByteArray(
                   "<Cube><Cube time='2026-12-07'><Cube currency='USD' rate='1.17'/>"
                   "<Cube currency='USD' rate='1.71'/></Cube></Cube>")
            << true;
    }
    void repeatedKeys() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, ecb);
        const Parsed parsed = ecb ? ParseEcb(answer) : ParsePortal(answer);
        QVERIFY(parsed.Quotes.empty());
        QCOMPARE(parsed.Problems.size(), std::size_t(1));
        QCOMPARE(parsed.Problems[0].Reason, std::string(kGivenTwice));
    }

    // What a misbehaving service answered in the field: none of it may reach the page.
    void implausibleAnswersNeverReachThePage() {
        FakeUpstream upstream;
        upstream.Set([](FakeUpstream& u) {
            u.Portal =
                Gb18030(
                    u"var hq_str_hf_XAU=\"1e-300,1e-300,1e-300,1e-300,1e-300,1e-300,17:09:00,"
                    u"1e-300,1e-300,0,0,0,2026-12-08,伦敦金\";\n"
                    u"var hq_str_hf_XAG=\"1e300,1e300,1e300,1e300,1e300,1e300,11:08:00,"
                    u"1e300,1e300,0,0,0,2026-12-08,伦敦银\";\n"
                    u"var hq_str_fx_susdcny=\"20:00:14,6.711,6.713,6.7114,231,6.6974,6.7158,"
                    u"6.6927,6.712,在岸人民币,0.0089,0.0006,0.0231,,0,0,,2026-09-14\";\n"_s)
                    .toStdString();
        });
        Gateway gateway(QStringList{"--source", "portal", "--poll", "0.2"} + upstream.Urls());
        QVERIFY(gateway.WaitForPage(200));
        const auto res = gateway.Get(kRates);
        const QString page = FromCp936(QByteArray::fromStdString(res->body));
        QVERIFY(page.contains(QStringLiteral("美元人民币")));
        QVERIFY(!page.contains(QStringLiteral("现货黄金")));
        QVERIFY(!page.contains(QStringLiteral("现货白银")));
        QVERIFY(!page.contains(QStringLiteral("<td>0.0")));
        QVERIFY(!page.contains(QStringLiteral("e+")));
        // What a cache in front needs.
        QCOMPARE(res->get_header_value("Cache-Control"), std::string("max-age=1"));
        httplib::Client client("127.0.0.1", gateway.Port());
        const auto again = client.Get(kRates, {{"If-None-Match", res->get_header_value("ETag")}});
        QVERIFY(again);
        QCOMPARE(again->status, 304);
    }

    // The board's document: each value with its close, source and times, cached like the page,
    // and an honest failure once nothing is left; the board's files under a strict policy.
    void quotesDocument() {
        FakeUpstream upstream;
        Gateway gateway(QStringList{"--source", "portal", "--poll", "0.2", "--backoff-max", "0.4",
                                    "--stale", "2"} +
                        upstream.Urls());
        QVERIFY(gateway.WaitForPage(200));
        const auto res = gateway.Get("/quotes.json");
        QVERIFY(res && res->status == 200);
        QCOMPARE(res->get_header_value("Content-Type"), std::string("application/json"));
        const QJsonObject doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
        QCOMPARE(doc["demo"].toBool(true), false);
        QCOMPARE(doc["poll_seconds"].toInt(), 1);
        QJsonObject gold;
        for (const QJsonValue& q : doc["quotes"].toArray()) {
            if (q["code"] == u"XAUUSD"_s)
                gold = q.toObject();
        }
        QCOMPARE(gold["name"].toString(), u"现货黄金"_s);
        QCOMPARE(gold["value"].toDouble(), 4344.36);
        QCOMPARE(gold["previous_close"].toDouble(), 4325.85);
        QCOMPARE(gold["change"].toDouble(), 18.51);
        QCOMPARE(gold["source"].toString(), u"portal"_s);
        QCOMPARE(gold["source_title"].toString(), u"新浪财经"_s);
        static const QRegularExpression offset(u"T\\d\\d:\\d\\d:\\d\\d([+-]\\d\\d:\\d\\d|Z)$"_s);
        QVERIFY2(offset.match(gold["quote_time"].toString()).hasMatch(),
                 qPrintable(gold["quote_time"].toString()));
        QVERIFY(gold["age_seconds"].toInt(-1) >= 0 && gold["age_seconds"].toInt() < 60);
        const QJsonArray day = gold["day"].toArray();
        QCOMPARE(day.size(), 96);
        QCOMPARE(day.last().toDouble(), 4344.36);
        QVERIFY(day.first().isNull());

        // The ages change by the second: within one the tag holds.
        httplib::Client client("127.0.0.1", gateway.Port());
        bool revalidated = false;
        for (int i = 0; i < 5 && !revalidated; ++i) {
            const auto first = client.Get("/quotes.json");
            const auto second =
                client.Get("/quotes.json", {{"If-None-Match", first->get_header_value("ETag")}});
            revalidated = second->status == 304 && second->body.empty();
        }
        QVERIFY(revalidated);

        const auto page = gateway.Get("/");
        QVERIFY(page && page->status == 200);
        const std::string policy = page->get_header_value("Content-Security-Policy");
        QVERIFY2(policy.find("default-src 'none'") != std::string::npos &&
                     policy.find("script-src 'self'") != std::string::npos,
                 policy.c_str());
        QVERIFY(page->body.find("src=\"/board.js\"") != std::string::npos);
        QCOMPARE(gateway.Get("/board.js")->status, 200);
        for (const char* trick : {"/board.js/", "/..%2fboard.js", "/quotes.json/..", "//board.css"})
            QVERIFY2(gateway.Get(trick)->status == 404, trick);

        upstream.Set([](FakeUpstream& u) { u.Refuse = true; });
        QVERIFY(gateway.WaitForPage(503));
        const auto failed = gateway.Get("/quotes.json");
        QCOMPARE(failed->status, 503);
        const QJsonObject none =
            QJsonDocument::fromJson(QByteArray::fromStdString(failed->body)).object();
        QVERIFY(none["quotes"].toArray().isEmpty());
        QCOMPARE(none["error"].toString(), u"报价服务的数据源均已失效（新浪财经：HTTP 403）"_s);
    }

    // The history of what was served: the gateway's own live values only, from its file, in
    // both formats; every question outside it refused.
    void history() {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"h/history.sqlite"_s);
        FakeUpstream upstream;
        Gateway gateway(QStringList{"--source", "portal", "--source", "ecb", "--poll", "0.2",
                                    "--history-file", file} +
                        upstream.Urls());
        QVERIFY(gateway.WaitForPage(200));
        const auto bars = [&gateway](const std::string& query) {
            const auto res = gateway.Get(("/history?" + query).c_str());
            return QJsonDocument::fromJson(QByteArray::fromStdString(res->body))["bars"].toArray();
        };
        QTRY_VERIFY(!bars("code=XAUUSD").isEmpty());
        QCOMPARE(gateway.Status()["history"].toObject()["state"].toString(), u"on"_s);
        const QJsonObject gold = bars("code=XAUUSD").last().toObject();
        QCOMPARE(gold["close"].toDouble(), 4344.36);
        QCOMPARE(gold["source"].toString(), u"portal"_s);
        QVERIFY2(gold["time"].toString().endsWith(u":00Z"_s), qPrintable(gold["time"].toString()));
        // The reference file's daily rates are no ticks: the ECB-only krona has no history.
        const auto servedFrom = [&gateway](const QString& name) {
            for (const QJsonValue& i : gateway.Status()["instruments"].toArray()) {
                if (i["name"] == name)
                    return i["source"].toString();
            }
            return QString();
        };
        QTRY_COMPARE(servedFrom(u"瑞典克郎"_s), u"ecb"_s);
        const auto krona = gateway.Get("/history?code=USDSEK");
        QCOMPARE(krona->status, 200);
        QVERIFY(bars("code=USDSEK").isEmpty());
        const auto csv = gateway.Get("/history?code=XAUUSD&format=csv");
        QCOMPARE(csv->get_header_value("Content-Type"), std::string("text/csv; charset=utf-8"));
        QVERIFY2(QString::fromStdString(csv->body).contains(
                     QRegularExpression(u"^time,open,high,low,close,source\n"
                                        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:00Z,"
                                        "4344.36,4344.36,4344.36,4344.36,portal\n"_s)),
                 csv->body.c_str());
        // A span that ends before anything was kept, by either way of writing a time.
        QVERIFY(bars("code=XAUUSD&from=2026-01-01T00:00:00%2B08:00&to=1767225600").isEmpty());

        const std::pair<const char*, int> refused[] = {
            {"/history", 400},
            {"/history?code=", 400},
            {"/history?code=XAUUSD&code=EURUSD", 400},
            {"/history?code=XAUUSD&format=xml", 400},
            {"/history?code=XAUUSD&from=yesterday", 400},
            {"/history?code=XAUUSD&from=2026-12-01T00:00:00", 400},  // no offset
            {"/history?code=XAUUSD&from=1767225600&to=1767139200", 400},
            {"/history?code=XAUUSD&from=1767225600&to=1768435200", 400},  // 14 days
            {"/history?code=XAUCNY_G", 404},  // the ticker computes it; not served here
            {"/history?code=..%2F..%2Fetc%2Fpasswd", 404},
            {"/history?code=xauusd", 404},
            {"/history/XAUUSD", 404},
        };
        for (const auto& [target, status] : refused)
            QVERIFY2(gateway.Get(target)->status == status, target);

        Gateway none(QStringList{"--source", "portal", "--poll", "0.2", "--no-history"} +
                     upstream.Urls());
        QVERIFY(none.WaitForPage(200));
        QCOMPARE(none.Get("/history?code=XAUUSD")->status, 404);
    }

    // An answer that takes longer than the poll: the status says so while it drips, not later.
    void statusDuringADrip() {
        FakeUpstream upstream;
        QStringList urls = upstream.Urls();
        urls[1].replace(u"http://"_s, u"http://user:secret@"_s);
        Gateway gateway(QStringList{"--source", "portal", "--poll", "0.2"} + urls);
        QVERIFY(gateway.WaitForPage(200));
        upstream.Set([](FakeUpstream& u) { u.DripMs = 3000; });
        QTRY_VERIFY(
            gateway.Status()["sources"].toArray()[0].toObject()["transfer_overdue"].toBool());
        const QJsonObject portal = gateway.Status()["sources"].toArray()[0].toObject();
        QVERIFY(portal["transfer_running_seconds"].toDouble() > 0.2);
        QVERIFY(!portal["url"].toString().contains(QStringLiteral("secret")));
    }

    void refusedRequestsBackOff() {
        FakeUpstream upstream;
        upstream.Set([](FakeUpstream& u) { u.Refuse = true; });
        Gateway gateway(QStringList{"--source", "portal", "--poll", "0.2", "--backoff-max", "30"} +
                        upstream.Urls());
        QVERIFY(gateway.Port() > 0);
        QTest::qWait(2000);
        // Waits of 0.4, 0.8, 1.6 s: three requests in two seconds, where ten would be polling.
        QVERIFY2(upstream.Requests() >= 2 && upstream.Requests() <= 4,
                 qPrintable(QString::number(upstream.Requests())));
        const QJsonObject portal = gateway.Status()["sources"].toArray()[0].toObject();
        QCOMPARE(portal["last_error"].toString(), QStringLiteral("HTTP status 403"));
        QVERIFY(portal["backoff_seconds"].toDouble() >= 0.8);
        const auto page = gateway.Get("/rates/index.aspx");
        QCOMPARE(page->status, 503);
        // The ticker shows this line as the cause.
        QCOMPARE(QString::fromStdString(page->body),
                 QStringLiteral("报价服务的数据源均已失效（新浪财经：HTTP 403）\n"));
    }

    void staleValuesAreWithdrawn() {
        FakeUpstream upstream;
        Gateway gateway(QStringList{"--source", "portal", "--poll", "0.2", "--stale", "2",
                                    "--backoff-max", "0.4"} +
                        upstream.Urls());
        QVERIFY(gateway.WaitForPage(200));
        upstream.Set([](FakeUpstream& u) { u.Status = 502; });
        QTest::qWait(200);
        QVERIFY(gateway.Get("/rates/index.aspx")->status == 200);  // a short failure is ridden out
        QVERIFY(gateway.WaitForPage(503));
        upstream.Set([](FakeUpstream& u) { u.Status = 200; });
        QVERIFY(gateway.WaitForPage(200));
        // Recovered: no error left standing, but the time of the last one kept.
        QTRY_VERIFY(gateway.Status()["sources"].toArray()[0].toObject()["last_error"] == u""_s);
        QVERIFY(!gateway.Status()["sources"]
                     .toArray()[0]
                     .toObject()["last_error_time"]
                     .toString()
                     .isEmpty());
    }

    void manyTickersOneUpstreamRequestPerPoll() {
        FakeUpstream upstream;
        Gateway gateway(QStringList{"--source", "portal", "--poll", "0.5"} + upstream.Urls());
        QVERIFY(gateway.WaitForPage(200));
        const int before = upstream.Requests();
        QElapsedTimer timer;
        timer.start();
        std::atomic<int> served = 0;
        std::vector<std::thread> tickers;
        for (int t = 0; t < 8; ++t) {
            tickers.emplace_back([&] {
                httplib::Client client("127.0.0.1", gateway.Port());
                for (int i = 0; i < 25; ++i) {
                    if (const auto res = client.Get("/rates/index.aspx"); res && res->status == 200)
                        ++served;
                }
            });
        }
        for (std::thread& t : tickers)
            t.join();
        QTest::qWait(1000);
        QCOMPARE(served.load(), 200);
        const int polls = int(timer.elapsed() / 500) + 2;
        QVERIFY2(upstream.Requests() - before <= polls,
                 qPrintable(QString::number(upstream.Requests() - before)));
    }
};

QTEST_GUILESS_MAIN(TestGateway)
#include "test_gateway.moc"
