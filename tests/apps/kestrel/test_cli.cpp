// The command line is a contract with scripts and status bars: exit statuses, the lines printed
// and the settings report.
#include <httplib.h>

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "../../feeds/samples.h"
#include "history/historystore.h"
#include "platform/fonts.h"
#include "servers/quoteserver.h"
#include "text/encodings.h"
#include "version.h"

using namespace kestrel::test;

namespace {

// The quote service and the reference rate file on loopback, with the service's referer rule;
// `status` other than 200 makes the quote service refuse.
class FakeFeeds {
public:
    explicit FakeFeeds(int status = 200) {
        QStringEncoder gb18030("GB18030");
        const std::string portal =
            QByteArray(gb18030(QString::fromUtf8(FeedSample(QStringLiteral("portal.txt")))))
                .toStdString();
        server_.Get(R"(/list=.*)", [=, this](const httplib::Request& req, httplib::Response& res) {
            if (req.get_header_value("Referer") != "https://finance.sina.com.cn/" || status != 200)
                res.status = status == 200 ? 403 : status;
            else
                res.set_content(PortalSampleAt(portal, At),
                                "application/javascript; charset=GB18030");
        });
        server_.Get("/ecb.xml", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(EcbSampleAt(At), "text/xml");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FakeFeeds() {
        server_.stop();
        thread_.join();
    }
    // The moment the samples pretend to be from, to the second.
    const qint64 At = QDateTime::currentSecsSinceEpoch() * 1000;

    QString Sources(const QString& order) const {
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port_);
        return QStringLiteral(
                   "[Sources]\r\nOrder=%1\r\nPortalURL=%2/list=\r\nEcbURL=%2/ecb.xml\r\n")
            .arg(order, base);
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

struct Run {
    int status = -1;
    QStringList lines;
    QByteArray err;
};

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir home_;

    Run Kestrel(const QStringList& arguments, const QString& lang = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!lang.isEmpty()) {
            for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
                env.remove(QString::fromLatin1(name));
            env.insert(QStringLiteral("LANG"), lang);
        }
        env.insert(QStringLiteral("KESTREL_HOME"), home_.path());
        env.remove(QStringLiteral("http_proxy"));
        env.remove(QStringLiteral("HTTP_PROXY"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), arguments);
        if (!p.waitForFinished(30000))
            p.kill();
        Run run;
        run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        QString out = QString::fromUtf8(p.readAllStandardOutput());
        if (out.endsWith(u'\n'))
            out.chop(1);
        run.lines = out.isEmpty() ? QStringList() : out.split(u'\n');
        run.err = p.readAllStandardError();
        return run;
    }

    void WriteFile(const QString& name, const QByteArray& bytes) {
        QFile f(home_.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    void WriteIni(const QString& text) {
        WriteFile(QStringLiteral("kestrel.ini"), kestrel::ToCp936(text));
    }

    // A page with a few prices whose lines are known to the byte.
    static QByteArray SmallPage(bool withMarker) {
        QString page = QStringLiteral("<html><head><title>rates</title></head><body>\r\n");
        page += QStringLiteral("<div>header</div>\r\n<div>header</div>\r\n<div>header</div>\r\n");
        if (withMarker)
            page += QStringLiteral("<td>货币走势图</td>\r\n");
        const auto row = [&page](const QString& name, const QString& bid) {
            page += QStringLiteral("<tr><td><a title=\"%1\">%1</a></td>\r\n").arg(name);
            page += QStringLiteral("<td>%1</td>\r\n").arg(bid);
            // Eleven more cells keep the next row out of the value search.
            for (int i = 0; i < 11; ++i)
                page += QStringLiteral("<td>--</td>\r\n");
        };
        row(QStringLiteral("欧元美元"), QStringLiteral("1.16234"));
        row(QStringLiteral("美元日元"), QStringLiteral("155.5"));
        row(QStringLiteral("美元人民币"), QStringLiteral("7.0812"));
        row(QStringLiteral("现货黄金"), QStringLiteral("--"));
        page += QStringLiteral("</body></html>\r\n");
        return kestrel::ToCp936(page);
    }

private Q_SLOTS:
    void init() {
        QDir dir(home_.path());
        for (const QString& f : dir.entryList(QDir::Files))
            dir.remove(f);
    }

    void versionAndHelp() {
        const Run version = Kestrel({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.lines, QStringList{QStringLiteral("Kestrel " KESTREL_VERSION)});
        // The help is English, and Chinese on a Chinese desktop.
        for (const auto& [lang, lead] :
             {std::pair{"C", "Usage: kestrel"}, std::pair{"en_US.UTF-8", "Usage: kestrel"},
              std::pair{"zh_CN.UTF-8", "用法：kestrel"}}) {
            const Run help = Kestrel({QStringLiteral("--help")}, QString::fromLatin1(lang));
            QCOMPARE(help.status, 0);
            QVERIFY2(help.lines.value(0).startsWith(QString::fromUtf8(lead)), lang);
            QVERIFY(help.lines.join(u'\n').contains(QStringLiteral("--show-settings")));
        }
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate")};
        QTest::newRow("page without file")
            << QStringList{QStringLiteral("--print"), QStringLiteral("--page")};
        QTest::newRow("page and url")
            << QStringList{QStringLiteral("--print"), QStringLiteral("--page"), QStringLiteral("a"),
                           QStringLiteral("--url"), QStringLiteral("b")};
        QTest::newRow("unknown format") << QStringList{
            QStringLiteral("--print"), QStringLiteral("--format"), QStringLiteral("xml")};
        QTest::newRow("show-settings takes nothing") << QStringList{
            QStringLiteral("--show-settings"), QStringLiteral("--page"), QStringLiteral("x")};
        QTest::newRow("chart needs one name") << QStringList{QStringLiteral("--chart")};
    }
    void usageErrors() {
        QFETCH(QStringList, arguments);
        const Run run = Kestrel(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY(run.lines.isEmpty());
        QVERIFY(!run.err.isEmpty());
    }

    // The file named must be the page, not whichever argument came last.
    void unreadablePage() {
        const Run run = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"),
                                 QStringLiteral("/nonexistent/page.html"),
                                 QStringLiteral("--format"), QStringLiteral("csv")});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains("kestrel: cannot read /nonexistent/page.html\n"), run.err);
    }

    void printPage() {
        WriteFile(
            QStringLiteral("kestrel.ccy"),
            kestrel::ToCp936(QStringLiteral("欧元美元\r\n美元日元\r\n现货黄金\r\n港币人民币\r\n")));
        WriteFile(QStringLiteral("page.html"), SmallPage(true));
        const Run run = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"),
                                 home_.filePath(QStringLiteral("page.html"))});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines.size(), 5);
        QVERIFY(run.lines[0].startsWith(QStringLiteral("【牌价更新时间】　　")));
        QCOMPARE(run.lines[0].size(), 8 + 2 + 8);
        QCOMPARE(run.lines[1], QStringLiteral("【欧元美元】　　　　 1.1623"));
        QCOMPARE(run.lines[2], QStringLiteral("【美元日元】　　　　 155.50"));
        // No value: the bare label in a 30-byte column, then N/A.
        QCOMPARE(run.lines[3],
                 QStringLiteral("【现货黄金】") + QString(18, u' ') + QStringLiteral(" N/A"));
        QCOMPARE(run.lines[4],
                 QStringLiteral("【港币人民币】") + QString(16, u' ') + QStringLiteral(" N/A"));
        // On an English desktop the labels are English; the values stay as they are.
        const Run english = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"),
                                     home_.filePath(QStringLiteral("page.html"))},
                                    QStringLiteral("en_US.UTF-8"));
        QCOMPARE(english.status, 0);
        QVERIFY2(english.lines.value(0).startsWith(QStringLiteral("【Updated】")),
                 qPrintable(english.lines.value(0)));
        QVERIFY(english.lines.value(1).startsWith(QStringLiteral("【EUR/USD】")));
        QVERIFY(english.lines.value(1).endsWith(QStringLiteral(" 1.1623")));
        QVERIFY(english.lines.value(3).endsWith(QStringLiteral(" N/A")));
        QVERIFY2(english.err.contains("kestrel: Spot gold: "), english.err.constData());
    }

    // A short name of the user's shows in the lines; records keep the name and add the alias.
    void printShortNames() {
        WriteIni(QStringLiteral("[Param]\r\nDisplayTime=0\r\n[Aliases]\r\n美元日元=美日\r\n"));
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("美元日元\r\n欧元美元\r\n")));
        WriteFile(QStringLiteral("page.html"), SmallPage(true));
        const QString file = home_.filePath(QStringLiteral("page.html"));
        const Run text = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"), file});
        QCOMPARE(text.lines, (QStringList{QStringLiteral("【美日】　　　　　　 155.50"),
                                          QStringLiteral("【欧元美元】　　　　 1.1623")}));
        const Run json = Kestrel({QStringLiteral("--print"), QStringLiteral("--format"),
                                  QStringLiteral("json"), QStringLiteral("--page"), file});
        const QJsonArray records = QJsonDocument::fromJson(json.lines.join(u'\n').toUtf8()).array();
        QCOMPARE(records[0].toObject()[QStringLiteral("name")].toString(),
                 QStringLiteral("美元日元"));
        QCOMPARE(records[0].toObject()[QStringLiteral("alias")].toString(), QStringLiteral("美日"));
        QVERIFY(records[1].toObject()[QStringLiteral("alias")].isNull());
    }

    // The stored bars by name, alias or code; each minute's time with the offset it had, across
    // a change to summer time.
    void history() {
        WriteIni(QStringLiteral("[Aliases]\r\n欧元美元=欧美\r\n"));
        const QStringList range{QStringLiteral("--from"),
                                QStringLiteral("2026-03-29T01:00:00+01:00"), QStringLiteral("--to"),
                                QStringLiteral("2026-03-29T04:00:00+02:00")};
        const Run none =
            Kestrel(QStringList{QStringLiteral("--history"), QStringLiteral("EURUSD")});
        QCOMPARE(none.status, 1);
        QVERIFY(!none.err.isEmpty());
        {
            const qint64 change =
                QDateTime(QDate(2026, 3, 29), QTime(1, 0), Qt::UTC).toMSecsSinceEpoch();
            kestrel::HistoryStore store(home_.filePath(QStringLiteral("history.sqlite")));
            store.Record({{QStringLiteral("EURUSD"), 1.1, change - 30000, QStringLiteral("portal")},
                          {QStringLiteral("EURUSD"), 1.2, change + 10000, QStringLiteral("portal")},
                          {QStringLiteral("EURUSD"), 1.15, change + 50000, QStringLiteral("ecb")}});
            QVERIFY(store.WaitForWrites(20000));
        }
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        const auto restore = qScopeGuard([&] { qputenv("TZ", zone); });
        const Run csv = Kestrel(QStringList{QStringLiteral("--history"), QStringLiteral("eurusd"),
                                            QStringLiteral("--format"), QStringLiteral("csv")} +
                                range);
        QCOMPARE(csv.status, 0);
        QCOMPARE(csv.lines,
                 (QStringList{QStringLiteral("time,open,high,low,close,source"),
                              QStringLiteral("2026-03-29T01:59:00+01:00,1.1,1.1,1.1,1.1,portal"),
                              QStringLiteral("2026-03-29T03:00:00+02:00,1.2,1.2,1.15,1.15,ecb")}));
        const Run text =
            Kestrel(QStringList{QStringLiteral("--history"), QStringLiteral("欧美")} + range);
        QCOMPARE(text.lines.value(0),
                 QStringLiteral("2026-03-29T01:59:00+01:00 1.1000 1.1000 1.1000 1.1000 portal"));
        const Run json = Kestrel(
            QStringList{QStringLiteral("--history"), QStringLiteral("欧元美元"),
                        QStringLiteral("--format"), QStringLiteral("json"),
                        QStringLiteral("--from"), QStringLiteral("2026-03-29T03:00:00+02:00"),
                        QStringLiteral("--to"), QStringLiteral("2026-03-29T03:00:00+02:00")});
        const QJsonArray records = QJsonDocument::fromJson(json.lines.join(u'\n').toUtf8()).array();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].toObject()[QStringLiteral("low")].toDouble(), 1.15);
        // The last 24 hours hold nothing; an unknown name is a usage error.
        const Run recent = Kestrel({QStringLiteral("--history"), QStringLiteral("EURUSD")});
        QCOMPARE(recent.status, 0);
        QVERIFY(recent.lines.isEmpty());
        const Run unknown = Kestrel({QStringLiteral("--history"), QStringLiteral("EURXYZ")});
        QCOMPARE(unknown.status, 2);
        QVERIFY(unknown.err.contains("EURXYZ"));
    }

    void printRecords() {
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("NYMEX原油\r\n欧元美元\r\n港币人民币\r\n")));
        WriteFile(QStringLiteral("page.html"),
                  SmallPage(true).replace(kestrel::ToCp936(QStringLiteral("美元日元")),
                                          kestrel::ToCp936(QStringLiteral("NYMEX原油"))));
        const QString file = home_.filePath(QStringLiteral("page.html"));
        const Run csv = Kestrel({QStringLiteral("--print"), QStringLiteral("--format"),
                                 QStringLiteral("csv"), QStringLiteral("--page"), file});
        QCOMPARE(csv.status, 0);
        QCOMPARE(csv.lines.size(), 4);
        QCOMPARE(csv.lines[0],
                 QStringLiteral("name,display,code,value,decimals,time,source,age_seconds,demo,"
                                "previous_close,change,change_pct,market,stale,raw_value,reason"));
        const QString time = csv.lines[1].section(u',', 5, 5);
        // ISO 8601 with the offset from UTC.
        QVERIFY2(QDateTime::fromString(time, Qt::ISODate).isValid() &&
                     (time.endsWith(u'Z') || time.at(time.size() - 6) == u'+' ||
                      time.at(time.size() - 6) == u'-'),
                 qPrintable(time));
        // The page gives no change ("--"): no previous close.
        // Whether the market is open depends on the day; nothing is quiet without a quote time.
        const QString tail = u',' + time + QStringLiteral(",page,,false,,,");
        const auto row = [&csv](int i) {
            const QString market = csv.lines[i].section(u',', 12, 12);
            if (market != u"open" && market != u"closed" && market != u"break")
                return QStringLiteral("market: ") + market;
            return csv.lines[i].section(u',', 0, 11) + u',' + csv.lines[i].section(u',', 13);
        };
        // The value as shown, the unrounded one and why there is none at the end.
        QCOMPARE(row(1), QStringLiteral("NYMEX原油,纽约原油,CL,155.50,2") + tail +
                             QStringLiteral(",false,155.5,"));
        QCOMPARE(row(2), QStringLiteral("欧元美元,欧元美元,EURUSD,1.1623,4") + tail +
                             QStringLiteral(",false,1.16234,"));
        QCOMPARE(row(3), QStringLiteral("港币人民币,港币人民币,HKDCNY,,4") + tail +
                             QStringLiteral(",false,,数据源未提供该品种"));
        QVERIFY2(csv.err.contains("kestrel: 港币人民币: 数据源未提供该品种\n"),
                 csv.err.constData());

        const Run json = Kestrel({QStringLiteral("--print"), QStringLiteral("--format"),
                                  QStringLiteral("json"), QStringLiteral("--page"), file});
        QCOMPARE(json.status, 0);
        const QJsonArray records = QJsonDocument::fromJson(json.lines.join(u'\n').toUtf8()).array();
        QCOMPARE(records.size(), 3);
        QCOMPARE(records[0].toObject()[QStringLiteral("display")].toString(),
                 QStringLiteral("纽约原油"));
        QCOMPARE(records[1].toObject()[QStringLiteral("value")].toDouble(), 1.1623);
        QCOMPARE(records[1].toObject()[QStringLiteral("raw_value")].toDouble(), 1.16234);
        QVERIFY(records[1].toObject()[QStringLiteral("reason")].isNull());
        QVERIFY(records[2].toObject()[QStringLiteral("value")].isNull());
        QCOMPARE(records[2].toObject()[QStringLiteral("reason")].toString(),
                 QStringLiteral("数据源未提供该品种"));

        // Bad data: no records but an error object on standard output, the message on standard
        // error.
        WriteFile(QStringLiteral("page.html"), SmallPage(false));
        const Run bad = Kestrel({QStringLiteral("--print"), QStringLiteral("--format"),
                                 QStringLiteral("json"), QStringLiteral("--page"), file});
        QCOMPARE(bad.status, 3);
        const QJsonObject error = QJsonDocument::fromJson(bad.lines.join(u'\n').toUtf8())
                                      .object()[QStringLiteral("error")]
                                      .toObject();
        QCOMPARE(error[QStringLiteral("code")].toString(), QStringLiteral("bad_data"));
        QVERIFY(QString::fromUtf8(bad.err).contains(QStringLiteral("外汇牌价源数据有误")));
    }

    void printPageWithoutTimeLine() {
        WriteIni(QStringLiteral("[Param]\r\nDisplayTime=0\r\n"));
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("美元人民币\r\n")));
        WriteFile(QStringLiteral("page.html"), SmallPage(true));
        const Run run = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"),
                                 home_.filePath(QStringLiteral("page.html"))});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines, QStringList{QStringLiteral("【美元人民币】　　　 7.0812")});
    }

    // A page with the change cells, as the built-in source writes it: the text lines with the
    // switches on, the records rounded to the shown decimals whatever the switches.
    void printChangeSinceClose() {
        WriteIni(QStringLiteral("[Param]\r\nDisplayTime=0\r\nShowChange=1\r\nShowArrows=1\r\n"));
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("欧元美元\r\n美元日元\r\n")));
        QString page = QStringLiteral("<td>货币走势图</td>\r\n");
        const auto row = [&page](const QString& name, const QString& change) {
            page += QStringLiteral("<tr><td><a title=\"%1\">%1</a></td>\r\n").arg(name);
            const QString price =
                name == u"欧元美元" ? QStringLiteral("1.16234") : QStringLiteral("155.5");
            for (const QString& cell :
                 {price, QStringLiteral("--"), price, price, change, QStringLiteral("--"),
                  QStringLiteral("2026-12-09 20:15:03")})
                page += QStringLiteral("<td>%1</td>\r\n").arg(cell);
            page += QStringLiteral("</tr>\r\n");
        };
        row(QStringLiteral("欧元美元"), QStringLiteral("+0.00220"));
        row(QStringLiteral("美元日元"), QStringLiteral("--"));
        page += QStringLiteral("</table>\r\n");
        WriteFile(QStringLiteral("page.html"), kestrel::ToCp936(page));
        const QString file = home_.filePath(QStringLiteral("page.html"));

        const Run text = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"), file});
        QCOMPARE(text.status, 0);
        QCOMPARE(text.lines,
                 (QStringList{QStringLiteral("【欧元美元】　　　　 ▲ 1.1623   +0.0022  +0.19%"),
                              QStringLiteral("【美元日元】　　　　 － 155.50   N/A")}));

        WriteIni(QStringLiteral("[Param]\r\nDisplayTime=0\r\n"));
        const Run csv = Kestrel({QStringLiteral("--print"), QStringLiteral("--format"),
                                 QStringLiteral("csv"), QStringLiteral("--page"), file});
        QVERIFY2(csv.lines.value(1).contains(QStringLiteral(",1.1601,0.0022,0.19,")),
                 qPrintable(csv.lines.value(1)));
        QVERIFY2(csv.lines.value(2).contains(QStringLiteral(",false,,,,")),
                 qPrintable(csv.lines.value(2)));
        const Run json = Kestrel({QStringLiteral("--print"), QStringLiteral("--format"),
                                  QStringLiteral("json"), QStringLiteral("--page"), file});
        const QJsonArray records = QJsonDocument::fromJson(json.lines.join(u'\n').toUtf8()).array();
        QCOMPARE(records.size(), 2);
        const QJsonObject eur = records[0].toObject();
        QCOMPARE(eur[QStringLiteral("previous_close")].toDouble(), 1.1601);
        QCOMPARE(eur[QStringLiteral("change")].toDouble(), 0.0022);
        QCOMPARE(eur[QStringLiteral("change_pct")].toDouble(), 0.19);
        const QJsonObject jpy = records[1].toObject();
        for (const char* key : {"previous_close", "change", "change_pct"})
            QVERIFY(jpy.contains(QLatin1String(key)) && jpy[QLatin1String(key)].isNull());
    }

    void printMislabelledPage() {
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("美元人民币\r\n")));
        WriteFile(QStringLiteral("page.html"), "<meta charset=\"utf-8\">\r\n" + SmallPage(true));
        const Run run = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"),
                                 home_.filePath(QStringLiteral("page.html"))});
        QCOMPARE(run.status, 0);
        QVERIFY(run.lines.contains(QStringLiteral("【美元人民币】　　　 7.0812")));
    }

    void printBadData() {
        WriteFile(QStringLiteral("page.html"), SmallPage(false));
        const Run run = Kestrel({QStringLiteral("--print"), QStringLiteral("--page"),
                                 home_.filePath(QStringLiteral("page.html"))});
        QCOMPARE(run.status, 3);
        QCOMPARE(run.lines.size(), 3);
        QCOMPARE(run.lines.mid(1), (QStringList{QStringLiteral("外汇牌价源数据有误，无法提供报价"),
                                                QStringLiteral("稍后将再次尝试连接...")}));
    }

    void showSettingsFreshInstall() {
        const Run run = Kestrel({QStringLiteral("--show-settings")});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.lines;
        const auto value = [&lines](const QString& key) {
            for (const QString& l : lines) {
                if (l.startsWith(key + u'='))
                    return l.mid(key.size() + 1);
            }
            return QStringLiteral("<missing>");
        };
        QCOMPARE(value(QStringLiteral("Interval")), QStringLiteral("10"));
        QCOMPARE(value(QStringLiteral("LineSpacing")), QStringLiteral("1"));
        QCOMPARE(value(QStringLiteral("WaitTimeOut")), QStringLiteral("5"));
        QCOMPARE(value(QStringLiteral("Font")),
                 kestrel::WindowFontFamily() + QStringLiteral(",9,B,0,clOlive,134"));
        QCOMPARE(value(QStringLiteral("HotKey")), QStringLiteral("F8"));
        QCOMPARE(value(QStringLiteral("RatesURL")), QString());  // the built-in sources
        QCOMPARE(value(QStringLiteral("Order")), QStringLiteral("portal,ecb"));
        QCOMPARE(value(QStringLiteral("TicksPerInterval")), QStringLiteral("100"));
        QCOMPARE(value(QStringLiteral("HotKeyModifiers")), QStringLiteral("0"));
        QCOMPARE(value(QStringLiteral("HotKeyVirtualKey")), QStringLiteral("119"));
        QCOMPARE(value(QStringLiteral("WaitTimeoutMs")), QStringLiteral("5000"));
        QCOMPARE(value(QStringLiteral("ProxyAccessType")), QStringLiteral("atPreconfig"));
        QCOMPARE(value(QStringLiteral("ProxyServer")), QString());
        QCOMPARE(value(QStringLiteral("ProxyPortNumber")), QStringLiteral("8080"));
        QCOMPARE(value(QStringLiteral("Selection")),
                 QStringLiteral("美元指数,欧元美元,英镑美元,美元日元,澳元美元,美元加元,美元人民币,"
                                "欧元人民币,NYMEX原油,现货黄金,现货白银,人民币黄金,人民币白银"));
        // The sections and their keys come in the documented order.
        QStringList keys;
        for (const QString& l : lines) {
            if (!l.isEmpty())
                keys.append(l.section(u'=', 0, 0));
        }
        const QStringList expected = {QStringLiteral("[Param]"),
                                      QStringLiteral("Interval"),
                                      QStringLiteral("LineSpacing"),
                                      QStringLiteral("3D"),
                                      QStringLiteral("ColorMode"),
                                      QStringLiteral("WaitTimeOut"),
                                      QStringLiteral("DisplayTime"),
                                      QStringLiteral("DisplayProgressBar"),
                                      QStringLiteral("ShowChange"),
                                      QStringLiteral("ShowArrows"),
                                      QStringLiteral("ShowSparkline"),
                                      QStringLiteral("Font"),
                                      QStringLiteral("HotKey"),
                                      QStringLiteral("AutoPrompt"),
                                      QStringLiteral("PromptInterval"),
                                      QStringLiteral("UseMonitor"),
                                      QStringLiteral("MonitorCcy"),
                                      QStringLiteral("MonitorPrice"),
                                      QStringLiteral("AlarmSound"),
                                      QStringLiteral("AlarmNotify"),
                                      QStringLiteral("AlarmCommand"),
                                      QStringLiteral("ProxyType"),
                                      QStringLiteral("ProxyAddress"),
                                      QStringLiteral("ProxyPort"),
                                      QStringLiteral("RatesURL"),
                                      QStringLiteral("UpdateURL"),
                                      QStringLiteral("HistoryDays"),
                                      QStringLiteral("[Sources]"),
                                      QStringLiteral("Order"),
                                      QStringLiteral("PortalURL"),
                                      QStringLiteral("EcbURL"),
                                      QStringLiteral("BocURL"),
                                      QStringLiteral("[Form]"),
                                      QStringLiteral("Alpha"),
                                      QStringLiteral("NotRunWeekEnd"),
                                      QStringLiteral("Pos_X"),
                                      QStringLiteral("Pos_Y"),
                                      QStringLiteral("Top"),
                                      QStringLiteral("[Chart]"),
                                      QStringLiteral("Pos_X"),
                                      QStringLiteral("Pos_Y"),
                                      QStringLiteral("Width"),
                                      QStringLiteral("Height"),
                                      QStringLiteral("[Effective]"),
                                      QStringLiteral("TicksPerInterval"),
                                      QStringLiteral("HotKeyModifiers"),
                                      QStringLiteral("HotKeyVirtualKey"),
                                      QStringLiteral("WaitTimeoutMs"),
                                      QStringLiteral("ProxyAccessType"),
                                      QStringLiteral("ProxyServer"),
                                      QStringLiteral("ProxyPortNumber"),
                                      QStringLiteral("Selection")};
        QCOMPARE(keys, expected);
    }

    void showSettingsCorrections() {
        WriteIni(
            QStringLiteral("[param]\r\ninterval=0\r\nLineSpacing=5\r\nHotKey=Foo\r\nProxyType=7\r\n"
                           "ProxyAddress=proxy.local\r\nProxyPort=abc\r\nMonitorCcy=现货黄金\r\n"
                           "[Form]\r\nAlpha=$1\r\nTop=yes\r\n"));
        const Run run = Kestrel({QStringLiteral("--show-settings")});
        QCOMPARE(run.status, 0);
        for (const char* line :
             {"Interval=1", "LineSpacing=1", "HotKey=F8", "ProxyType=7", "ProxyPort=abc",
              "MonitorCcy=现货黄金", "Alpha=1", "Top=0", "TicksPerInterval=10",
              "ProxyAccessType=atUseProxy", "ProxyServer=proxy.local", "ProxyPortNumber=8080"}) {
            QVERIFY2(run.lines.contains(QString::fromUtf8(line)), line);
        }
    }

    void printDownload_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("status");
        QTest::newRow("good page") << QString() << 0;
        QTest::newRow("utf-8 page") << QStringLiteral("utf8=1") << 0;
        QTest::newRow("server error") << QStringLiteral("status=500") << 4;
        QTest::newRow("body cut short") << QStringLiteral("short_body=1") << 4;
        QTest::newRow("no marker") << QStringLiteral("no_marker=1") << 3;
        QTest::newRow("garbage") << QStringLiteral("garbage=1") << 3;
        QTest::newRow("server hangs") << QStringLiteral("hang=1") << 4;
    }
    void printDownload() {
        QFETCH(QString, query);
        QFETCH(int, status);
        QuoteServer server;
        QVERIFY(server.Port() > 0);
        WriteIni(QStringLiteral("[Param]\r\nWaitTimeOut=1\r\nProxyType=1\r\n"));
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("欧元美元\r\n现货黄金\r\n")));
        const Run run =
            Kestrel({QStringLiteral("--print"), QStringLiteral("--url"), server.RatesUrl(query)});
        QCOMPARE(run.status, status);
        QCOMPARE(run.lines.size(), 3);
        if (status == 0) {
            // The quote server's walk makes its prices up and says so.
            QVERIFY(run.lines[0].startsWith(QStringLiteral("【演示牌价】　　　　")));
            QVERIFY(run.lines[1].startsWith(QStringLiteral("【欧元美元】　　　　 1.")));
            QVERIFY(run.lines[2].startsWith(QStringLiteral("【现货黄金】　　　　 ")));
            QVERIFY(!run.lines[2].endsWith(QStringLiteral("N/A")));
        } else if (status == 4) {
            QCOMPARE(run.lines[0].size(), 8);  // hh:mm:ss alone
            QCOMPARE(run.lines.mid(1), (QStringList{QStringLiteral("数据传送有误！请检查网络"),
                                                    QStringLiteral("稍后将再次尝试连接...")}));
        } else {
            QCOMPARE(run.lines[1], QStringLiteral("外汇牌价源数据有误，无法提供报价"));
        }
    }

    void printDownloadRefused() {
        int port = 0;
        {
            QuoteServer server;
            port = server.Port();
        }
        WriteIni(QStringLiteral("[Param]\r\nProxyType=1\r\nDisplayTime=0\r\n"));
        const Run run = Kestrel({QStringLiteral("--print"), QStringLiteral("--url"),
                                 QStringLiteral("http://127.0.0.1:%1/rates/index.aspx").arg(port)});
        QCOMPARE(run.status, 4);
        QCOMPARE(run.lines, (QStringList{QStringLiteral("数据传送有误！请检查网络"),
                                         QStringLiteral("稍后将再次尝试连接...")}));
        QVERIFY2(QString::fromUtf8(run.err).contains(
                     QStringLiteral("原因：127.0.0.1:%1 上没有报价服务（连接被拒绝）").arg(port)),
                 run.err.constData());
        QVERIFY(!run.err.contains("systemctl"));
    }

    // The address the packaged service listens on: a refusal there names the remedy.
    void printRefusedLocalServiceNamesRemedy() {
        WriteIni(
            QStringLiteral("[Param]\r\nProxyType=1\r\nRatesURL="
                           "http://127.0.0.1:8936/rates/index.aspx\r\n"));
        const Run run = Kestrel(
            {QStringLiteral("--print"), QStringLiteral("--format"), QStringLiteral("json")});
        if (run.status == 0)
            QSKIP("a quote service listens on 127.0.0.1:8936 on this machine");
        QCOMPARE(run.status, 4);
        const QJsonObject error = QJsonDocument::fromJson(run.lines.join(u'\n').toUtf8())
                                      .object()[QStringLiteral("error")]
                                      .toObject();
        QCOMPARE(error[QStringLiteral("code")].toString(), QStringLiteral("refused"));
        QCOMPARE(error[QStringLiteral("reason")].toString(),
                 QStringLiteral("原因：127.0.0.1:8936 上没有报价服务（连接被拒绝）\n"
                                "请运行 systemctl --user enable --now kestrel-quoted，"
                                "或在“设置→网络设置”中选择内置行情源"));
    }

    // Proxies and gateways that refuse: the cause on standard error and in the JSON error object.
    void printFailureNamesCause_data() {
        QTest::addColumn<int>("status");  // of the loopback server; 0: nothing listens
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("proxy");  // the server is the proxy, not the rates page
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("proxy refuses") << 0 << QString() << true << "proxy_refused"
                                       << "原因：代理服务器 127.0.0.1:%1 拒绝连接";
        QTest::newRow("proxy wants a login") << 407 << QString() << true << "proxy_auth"
                                             << "原因：代理服务器要求验证用户名和密码";
        QTest::newRow("gateway without sources")
            << 503 << "报价服务的数据源均已失效（新浪财经：HTTP 403）" << false << "http_status"
            << "原因：报价服务的数据源均已失效（新浪财经：HTTP 403）";
        QTest::newRow("gateway with its own lead-in")
            << 503 << "原因：上游行情源不可用" << false << "http_status"
            << "原因：上游行情源不可用";
        QTest::newRow("server error page") << 500 << "<html>oops</html>" << false << "http_status"
                                           << "原因：服务器应答 HTTP 500";
    }
    void printFailureNamesCause() {
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(bool, proxy);
        QFETCH(QString, code);
        QFETCH(QString, reason);
        httplib::Server server;
        server.Get(R"(.*)", [&](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            if (status == 407)
                res.set_header("Proxy-Authenticate", "Basic realm=\"office\"");
            res.set_content(body.toStdString(), "text/plain; charset=utf-8");
        });
        int port = 0;
        std::thread thread;
        if (status == 0) {
            QuoteServer gone;  // a port that was free a moment ago refuses once it has ended
            port = gone.Port();
        } else {
            port = server.bind_to_any_port("127.0.0.1");
            thread = std::thread([&] { server.listen_after_bind(); });
            while (!server.is_running())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const QString local = QStringLiteral("http://127.0.0.1:%1/rates/index.aspx").arg(port);
        WriteIni(proxy ? QStringLiteral("[Param]\r\nProxyType=2\r\nProxyAddress=127.0.0.1\r\n"
                                        "ProxyPort=%1\r\nRatesURL=http://quotes.example/rates\r\n")
                             .arg(port)
                       : QStringLiteral("[Param]\r\nProxyType=1\r\nRatesURL=") + local);
        const Run run = Kestrel(
            {QStringLiteral("--print"), QStringLiteral("--format"), QStringLiteral("json")});
        if (thread.joinable()) {
            server.stop();
            thread.join();
        }
        QCOMPARE(run.status, 4);
        const QJsonObject error = QJsonDocument::fromJson(run.lines.join(u'\n').toUtf8())
                                      .object()[QStringLiteral("error")]
                                      .toObject();
        if (reason.contains(u"%1"))
            reason = reason.arg(port);
        QCOMPARE(error[QStringLiteral("code")].toString(), code);
        QCOMPARE(error[QStringLiteral("reason")].toString(), reason);
        QVERIFY(QString::fromUtf8(run.err).contains(reason));
    }

    void printWalkIsMarked() {
        QuoteServer server;
        WriteIni(QStringLiteral("[Param]\r\nProxyType=1\r\n"));
        WriteFile(QStringLiteral("kestrel.ccy"), kestrel::ToCp936(QStringLiteral("欧元美元\r\n")));
        const Run run =
            Kestrel({QStringLiteral("--print"), QStringLiteral("--format"), QStringLiteral("json"),
                     QStringLiteral("--url"), server.RatesUrl()});
        QCOMPARE(run.status, 0);
        const QJsonObject r =
            QJsonDocument::fromJson(run.lines.join(u'\n').toUtf8()).array()[0].toObject();
        QCOMPARE(r[QStringLiteral("demo")].toBool(), true);
        QCOMPARE(r[QStringLiteral("source")].toString(), QStringLiteral("walk"));
        QCOMPARE(r[QStringLiteral("code")].toString(), QStringLiteral("EURUSD"));
    }

    // No rates page: the public feeds are read by the ticker itself, each leg from the first
    // source in order that has it, crosses and yuan rates computed from them.
    void printBuiltinSources() {
        // A zone neither the sources' Beijing time nor UTC: every row is written in this one.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Asia/Tokyo");
        const auto restore =
            qScopeGuard([&zone] { zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone); });
        FakeFeeds feeds;
        WriteIni(QStringLiteral("[Param]\r\nProxyType=1\r\nDisplayTime=0\r\n") +
                 feeds.Sources(QStringLiteral("portal, nonsense ,ecb")));
        const QStringList selection = {"美元日元", "欧元美元", "欧元日元",  "欧元人民币",
                                       "现货黄金", "美元指数", "人民币黄金"};
        WriteFile(QStringLiteral("kestrel.ccy"), kestrel::ToCp936(selection.join(u"\r\n")));
        const Run run = Kestrel(
            {QStringLiteral("--print"), QStringLiteral("--format"), QStringLiteral("json")});
        QCOMPARE(run.status, 0);
        const QJsonArray records = QJsonDocument::fromJson(run.lines.join(u'\n').toUtf8()).array();
        QCOMPARE(records.size(), selection.size());
        struct Expect {
            const char* code;
            double value;
            const char* source;
        };
        const Expect expected[] = {
            {"USDJPY", 154.595, "portal"},
            {"EURUSD", 1.0705, "ecb"},
            // The cross comes from the reference file alone, never a live leg with a daily one.
            {"EURJPY", 171.94, "ecb"},
            {"EURCNY", 6.712 * 1.0705, "portal+ecb"},
            {"XAUUSD", 4344.36, "portal"},
            {"DXY", 99.5083, "portal"},
            {"XAUCNY_G", 4344.36 * 6.712 / 31.1034768, "portal"},
        };
        for (qsizetype i = 0; i < records.size(); ++i) {
            const QJsonObject r = records[i].toObject();
            const Expect& e = expected[i];
            QCOMPARE(r[QStringLiteral("code")].toString(), QString::fromLatin1(e.code));
            QVERIFY2(qAbs(r[QStringLiteral("value")].toDouble() / e.value - 1) < 1e-4,
                     qPrintable(selection[i] + u' ' + QString::number(r["value"].toDouble())));
            QCOMPARE(r[QStringLiteral("demo")].toBool(), false);
            QVERIFY(r[QStringLiteral("age_seconds")].toInteger(-1) >= 0);
            QCOMPARE(r[QStringLiteral("source")].toString(), QString::fromLatin1(e.source));
            QVERIFY2(r[QStringLiteral("time")].toString().endsWith(u"+09:00"),
                     qPrintable(r[QStringLiteral("time")].toString()));
            const int decimals = r[QStringLiteral("decimals")].toInt();
            QCOMPARE(r[QStringLiteral("value")].toDouble(),
                     QString::number(r[QStringLiteral("raw_value")].toDouble(), 'f', decimals)
                         .toDouble());
        }
        // A computed one is as old as its oldest leg: 欧元人民币 as the daily 欧元美元.
        QCOMPARE(records[3].toObject()["time"], records[1].toObject()["time"]);
        QCOMPARE(records[3].toObject()["age_seconds"], records[1].toObject()["age_seconds"]);
        // The quote's own time, as the service gave it in Beijing time.
        QCOMPARE(QDateTime::fromString(records[0].toObject()["time"].toString(), Qt::ISODate),
                 BeijingTime(feeds.At));
    }

    void printBuiltinSourcesFailing() {
        FakeFeeds feeds(403);
        WriteIni(QStringLiteral("[Param]\r\nProxyType=1\r\nDisplayTime=0\r\n") +
                 feeds.Sources(QStringLiteral("portal")));
        const Run run = Kestrel({QStringLiteral("--print")});
        QCOMPARE(run.status, 4);
        QCOMPARE(run.lines, (QStringList{QStringLiteral("数据传送有误！请检查网络"),
                                         QStringLiteral("稍后将再次尝试连接...")}));
        QVERIFY2(QString::fromUtf8(run.err).contains(
                     QStringLiteral("原因：数据源均已失效（新浪财经：HTTP 403）")),
                 run.err.constData());
    }

    // Without the reference file: what only it carries is N/A, and standard error says why.
    void printBuiltinNamesWhyNotAvailable() {
        FakeFeeds feeds;
        WriteIni(QStringLiteral("[Param]\r\nProxyType=1\r\nDisplayTime=0\r\n") +
                 feeds.Sources(QStringLiteral("portal,ecb"))
                     .replace(QStringLiteral("/ecb.xml"), QStringLiteral("/gone.xml")));
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("美元日元\r\n瑞典克郎\r\n瑞典克郎人民币\r\n")));
        const Run run = Kestrel({QStringLiteral("--print")});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.lines.size(), 3);
        const QString err = QString::fromUtf8(run.err);
        QVERIFY2(err.contains(QStringLiteral("kestrel: 瑞典克郎: 欧洲央行未应答\n"
                                             "kestrel: 瑞典克郎人民币: 欧洲央行未应答\n")),
                 run.err.constData());
        QVERIFY(!err.contains(QStringLiteral("美元日元")));
    }

    void printUsesConfiguredUrl() {
        QuoteServer server;
        WriteIni(QStringLiteral("[Param]\r\nProxyType=1\r\nDisplayTime=0\r\nRatesURL=") +
                 server.RatesUrl() + QStringLiteral("\r\n"));
        WriteFile(QStringLiteral("kestrel.ccy"),
                  kestrel::ToCp936(QStringLiteral("美元人民币\r\n")));
        const Run run = Kestrel({QStringLiteral("--print")});
        QCOMPARE(run.status, 0);
        // Made-up prices keep their mark even with the time line switched off.
        QCOMPARE(run.lines.size(), 2);
        QVERIFY(run.lines[0].startsWith(QStringLiteral("【演示牌价】")));
        QVERIFY(run.lines[1].startsWith(QStringLiteral("【美元人民币】　　　 7.")));
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // the font database, for the expected default font
    TestCli test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_cli.moc"
