// The quote server as a process: started on a free port, fetched with a plain HTTP client.
#include <httplib.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QtTest>
#include <memory>

#include "quotes/catalogue.h"
#include "settings/encodings.h"

using namespace kestrel;

namespace {

const QString kRates = QStringLiteral("/rates/index.aspx");
const QString kMarker = QStringLiteral("货币走势图");

QStringList PageInstruments() {
    QStringList names;
    for (const QString& name : InstrumentCatalogue()) {
        if (!IsDerivedInstrument(name))
            names << name;
    }
    return names;
}

// The bid cell on the line after the instrument's title; 0 when there is none.
double PriceIn(const QString& page, const QString& name) {
    const QStringList lines = SplitLines(page);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines.at(i).contains(QStringLiteral("title=\"") + name + u'"')) {
            QString cell = lines.at(i + 1);
            return cell.remove(QRegularExpression(QStringLiteral("<[^>]*>"))).toDouble();
        }
    }
    return 0;
}

// Every page instrument's bid, in page order.
QList<double> Prices(const QString& page) {
    QList<double> prices;
    for (const QString& name : PageInstruments())
        prices << PriceIn(page, name);
    return prices;
}

class QuoteServer {
public:
    explicit QuoteServer(QStringList arguments) {
        Process.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"));
        Process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                         QStringLiteral("--source"), QStringLiteral("walk")} +
                             arguments);
        Process.start();
        if (!Process.waitForStarted(5000))
            return;
        while (!Process.canReadLine() && Process.waitForReadyRead(5000)) {
        }
        const QString line = QString::fromUtf8(Process.readLine()).trimmed();
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^listening on http://127\\.0\\.0\\.1:(\\d+)/$"))
                .match(line);
        if (match.hasMatch())
            Port = match.captured(1).toInt();
    }
    ~QuoteServer() {
        if (Process.state() != QProcess::NotRunning) {
            Process.kill();
            Process.waitForFinished(3000);
        }
    }

    std::unique_ptr<httplib::Client> Client(int readTimeoutMs = 5000) const {
        auto client = std::make_unique<httplib::Client>("127.0.0.1", Port);
        client->set_read_timeout(std::chrono::milliseconds(readTimeoutMs));
        return client;
    }
    httplib::Result Get(const QString& query = QString()) const {
        return Client()->Get((kRates + query).toStdString());
    }
    QString Page(const QString& query = QString()) const {
        const httplib::Result res = Get(query);
        return res && res->status == 200 ? FromCp936(QByteArray::fromStdString(res->body))
                                         : QString();
    }

    // SIGTERM ends the server cleanly and soon.
    bool Terminate() {
        Process.terminate();
        return Process.waitForFinished(3000) && Process.exitStatus() == QProcess::NormalExit &&
               Process.exitCode() == 0;
    }

    QProcess Process;
    int Port = 0;
};

}  // namespace

class TestQuoted : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        Plain = std::make_unique<QuoteServer>(QStringList{"--seed", "7"});
        QVERIFY(Plain->Port > 0);
    }
    void cleanupTestCase() { QVERIFY(Plain->Terminate()); }

    void servesEveryPageInstrumentInGbk() {
        const httplib::Result res = Plain->Get();
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QCOMPARE(res->get_header_value("Content-Type"), std::string("text/html; charset=gb2312"));
        const QByteArray body = QByteArray::fromStdString(res->body);
        QVERIFY(body.contains(ToCp936(kMarker)));
        QVERIFY(!body.contains(kMarker.toUtf8()));

        const QStringList page = SplitLines(FromCp936(body));
        const qsizetype marker = page.indexOf(QRegularExpression(".*" + kMarker + ".*"));
        QVERIFY(marker > 0);
        QStringList titles;
        const QRegularExpression title(QStringLiteral("title=\"([^\"]*)\""));
        for (qsizetype i = marker; i < page.size(); ++i) {
            const QRegularExpressionMatch match = title.match(page.at(i));
            if (match.hasMatch())
                titles << match.captured(1);
        }
        QCOMPARE(titles, PageInstruments());
        QCOMPARE(titles.size(), 34);
        const QString text = FromCp936(body);
        for (const QString& name : titles)
            QVERIFY2(PriceIn(text, name) > 0, qPrintable(name));
        QVERIFY(qAbs(PriceIn(text, QStringLiteral("欧元美元")) - 1.16) < 0.05);
        QVERIFY(qAbs(PriceIn(text, QStringLiteral("现货黄金")) - 4200) < 150);
    }

    void pricesWalkReproducibly() {
        QuoteServer first({"--seed", "11"}), second({"--seed", "11"}), other({"--seed", "12"});
        const QString a1 = first.Page(), a2 = first.Page(), b1 = second.Page(), c1 = other.Page();
        QVERIFY(!a1.isEmpty() && !a2.isEmpty());
        int moved = 0;
        for (const QString& name : PageInstruments()) {
            if (PriceIn(a1, name) != PriceIn(a2, name))
                ++moved;
            QCOMPARE(PriceIn(b1, name), PriceIn(a1, name));
        }
        QVERIFY(moved > 0);
        QVERIFY(PriceIn(c1, QStringLiteral("欧元美元")) != PriceIn(a1, QStringLiteral("欧元美元")));
        QVERIFY(first.Terminate() && second.Terminate() && other.Terminate());
    }

    void pinnedPrices() {
        QuoteServer fixed({"--fixed"});
        const QString eur = QStringLiteral("欧元美元"), gold = QStringLiteral("现货黄金");
        const QString start = fixed.Page();
        QCOMPARE(Prices(fixed.Page()), Prices(start));

        const QString setEur = "?set=" + QUrl::toPercentEncoding(eur) + ":1.1700";
        QCOMPARE(PriceIn(fixed.Page(setEur), eur), 1.17);
        QCOMPARE(PriceIn(fixed.Page(), eur), 1.17);  // kept for later requests
        const QString both = "?set=" + QUrl::toPercentEncoding(eur + ":1.1650," + gold) + ":4100";
        const QString fallen = fixed.Page(both);
        QCOMPARE(PriceIn(fallen, eur), 1.165);
        QCOMPARE(PriceIn(fallen, gold), 4100.0);

        const QString stepped = fixed.Page(QStringLiteral("?step=20"));
        QVERIFY(Prices(stepped) != Prices(fallen));
        QCOMPARE(Prices(fixed.Page()), Prices(stepped));

        const QStringList bad = {"?set=" + QUrl::toPercentEncoding(QStringLiteral("火星币:1")),
                                 "?set=" + QUrl::toPercentEncoding(eur + ":-1"),
                                 QStringLiteral("?step=x"), QStringLiteral("?status=99")};
        for (const QString& query : bad) {
            const httplib::Result res = fixed.Get(query);
            QVERIFY(res);
            QCOMPARE(res->status, 400);
        }
        QVERIFY(fixed.Terminate());
    }

    void faults_data() {
        QTest::addColumn<QStringList>("flag");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("off");
        QTest::newRow("status") << QStringList{"--status", "500"} << "?status=500"
                                << "?status=200";
        QTest::newRow("delay") << QStringList{"--delay-ms", "300"} << "?delay_ms=300"
                               << "?delay_ms=0";
        QTest::newRow("hang") << QStringList{"--hang"} << "?hang=1"
                              << "?hang=0";
        QTest::newRow("short body") << QStringList{"--short-body"} << "?short_body=1"
                                    << "?short_body=0";
        QTest::newRow("garbage") << QStringList{"--garbage"} << "?garbage=1"
                                 << "?garbage=0";
        QTest::newRow("no marker") << QStringList{"--no-marker"} << "?no_marker=1"
                                   << "?no_marker=0";
        QTest::newRow("utf-8") << QStringList{"--utf8"} << "?utf8=1"
                               << "?utf8=0";
    }
    void faults() {
        QFETCH(QStringList, flag);
        QFETCH(QString, query);
        QFETCH(QString, off);
        QuoteServer faulty(flag);
        QVERIFY(faulty.Port > 0);
        CheckFault(faulty, QString());
        CheckFault(*Plain, query);
        // The query overrides the switch both ways: the plain page again.
        const httplib::Result plain = faulty.Get(off);
        QVERIFY(plain);
        QCOMPARE(plain->status, 200);
        QCOMPARE(plain->get_header_value("Content-Type"), std::string("text/html; charset=gb2312"));
        QVERIFY(FromCp936(QByteArray::fromStdString(plain->body)).contains(kMarker));
        QVERIFY(faulty.Terminate());
    }

    void otherPathsAreMissing() {
        const httplib::Result res = Plain->Client()->Get("/rates/other.aspx");
        QVERIFY(res);
        QCOMPARE(res->status, 404);
    }

private:
    static void CheckFault(const QuoteServer& server, const QString& query) {
        const QByteArray tag = QTest::currentDataTag();
        const std::string path = (kRates + query).toStdString();
        if (tag == "status") {
            const httplib::Result res = server.Get(query);
            QVERIFY(res);
            QCOMPARE(res->status, 500);
            QVERIFY(!FromCp936(QByteArray::fromStdString(res->body)).contains(kMarker));
        } else if (tag == "delay") {
            QElapsedTimer timer;
            timer.start();
            const httplib::Result res = server.Get(query);
            QVERIFY(res && res->status == 200);
            QVERIFY(timer.elapsed() >= 300);
        } else if (tag == "hang") {
            const httplib::Result res = server.Client(400)->Get(path);
            QVERIFY(!res);
            QCOMPARE(res.error(), httplib::Error::Read);
        } else if (tag == "short body") {
            std::size_t announced = 0, received = 0;
            const httplib::Result res = server.Client()->Get(
                path,
                [&](const httplib::Response& response) {
                    announced = std::stoul(response.get_header_value("Content-Length"));
                    return true;
                },
                [&](const char*, std::size_t length) {
                    received += length;
                    return true;
                });
            QVERIFY(!res);
            QVERIFY(received > 0);
            QVERIFY(received < announced);
        } else if (tag == "garbage") {
            const httplib::Result a = server.Get(query), b = server.Get(query);
            QVERIFY(a && b);
            QCOMPARE(a->status, 200);
            QCOMPARE(a->body.size(), std::size_t(4096));
            QVERIFY(a->body != b->body);
            QVERIFY(!FromCp936(QByteArray::fromStdString(a->body)).contains(u"title="));
        } else if (tag == "no marker") {
            const QString page = server.Page(query);
            QVERIFY(!page.contains(kMarker));
            QVERIFY(PriceIn(page, QStringLiteral("美元人民币")) > 0);
        } else if (tag == "utf-8") {
            const httplib::Result res = server.Get(query);
            QVERIFY(res && res->status == 200);
            QCOMPARE(res->get_header_value("Content-Type"),
                     std::string("text/html; charset=utf-8"));
            QStringDecoder utf8(QStringDecoder::Utf8);
            const QString page = utf8(QByteArray::fromStdString(res->body));
            QVERIFY(!utf8.hasError());
            QVERIFY(page.contains(kMarker));
            QVERIFY(page.contains(u"charset=utf-8"));
            QVERIFY(PriceIn(page, QStringLiteral("现货白银")) > 0);
        }
    }

    std::unique_ptr<QuoteServer> Plain;
};

QTEST_GUILESS_MAIN(TestQuoted)
#include "test_quoted.moc"
