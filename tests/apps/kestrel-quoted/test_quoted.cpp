// The quote server as a process: started on a free port, fetched with a plain HTTP client.
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "quotes/catalogue.h"
#include "text/encodings.h"

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
            QRegularExpression(QStringLiteral("^listening on http://[0-9.]+:(\\d+)/$")).match(line);
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

// Sends raw bytes on a fresh connection and reads until the server closes it or goes quiet for
// two seconds; whatever the server does with a request no library client would send.
QByteArray RawExchange(int port, const QByteArray& request, bool halfClose = false) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const timeval wait{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        for (qsizetype sent = 0; sent < request.size();) {
            const ssize_t n = ::send(fd, request.constData() + sent,
                                     std::size_t(request.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        if (halfClose)
            ::shutdown(fd, SHUT_WR);
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, n);
    }
    ::close(fd);
    return answer;
}

int Status(const QByteArray& answer) {
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

long RssKb(const QProcess& process) {
    QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression rss(QStringLiteral("VmRSS:\\s+(\\d+)"));
    return rss.match(QString::fromLatin1(status.readAll())).captured(1).toLong();
}

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

    // Requests no ticker sends are answered in a few bytes, whatever their size.
    void refusedRequests_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const QByteArray get = "GET /rates/index.aspx HTTP/1.1\r\nHost: a\r\n";
        QTest::newRow("header flood") << get + QByteArray("X-A: b\r\n").repeated(400000) + "\r\n"
                                      << 431;
        QTest::newRow("one huge header") << get + "X-A: " + QByteArray(1 << 20, 'b') + "\r\n\r\n"
                                         << 431;
        QTest::newRow("large body")
            << get + "Content-Length: 200000000\r\n\r\n" + QByteArray(1 << 20, 'x') << 413;
        QTest::newRow("post") << QByteArray(
                                     "POST /rates/index.aspx HTTP/1.1\r\nHost: a\r\n"
                                     "Content-Length: 3\r\n\r\nabc")
                              << 405;
        QTest::newRow("nul in a name")
            << QByteArray("GET /kestrelmv/files/a%00.zip HTTP/1.1\r\nHost: a\r\n\r\n") << 400;
    }
    void refusedRequests() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        const long before = RssKb(Plain->Process);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(Status(RawExchange(Plain->Port, request)), status);
        QVERIFY2(RssKb(Plain->Process) - before < 20000,
                 qPrintable(QString::number(RssKb(Plain->Process) - before)));
        QCOMPARE(Plain->Get()->status, 200);
    }

    // Pipelined requests in order; a client that half-closes after asking still gets its answer.
    void pipelinedAndHalfClosed() {
        const QByteArray two =
            "GET /status HTTP/1.1\r\nHost: a\r\n\r\n"
            "GET /rates/index.aspx HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n";
        const QByteArray answers = RawExchange(Plain->Port, two);
        QCOMPARE(answers.count("HTTP/1.1 200"), 2);
        QVERIFY(answers.indexOf("\"walk\"") < answers.indexOf(ToCp936(kMarker)));
        const QByteArray halfClosed =
            RawExchange(Plain->Port, "GET /rates/index.aspx HTTP/1.1\r\nHost: a\r\n\r\n", true);
        QCOMPARE(Status(halfClosed), 200);
        QVERIFY(halfClosed.contains(ToCp936(kMarker)));
    }

    // Idle and dripping connections hold no worker: a new client is answered at once.
    void slowClientsHoldNobody() {
        QuoteServer server({"--seed", "3"});
        std::vector<int> held;
        for (int i = 0; i < 300; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(quint16(server.Port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            QVERIFY(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
            if (i % 10 == 0)  // a request begun and never finished
                QVERIFY(::send(fd, "GET /rates/index.aspx HTTP/1.1\r\nX-A: b\r\n", 40, 0) > 0);
            held.push_back(fd);
        }
        QElapsedTimer timer;
        timer.start();
        const httplib::Result res = server.Get();
        QVERIFY(res && res->status == 200);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        for (const int fd : held)
            ::close(fd);
        QVERIFY(server.Terminate());
    }

    // Control bytes of a request do not reach the log as they are.
    void logLinesAreEscaped() {
        QuoteServer server({"--seed", "3"});
        RawExchange(server.Port, "GET /rates/index.aspx?x=\x1b[2J\x01 HTTP/1.1\r\nHost: a\r\n\r\n");
        QCOMPARE(server.Get()->status, 200);
        server.Process.terminate();
        QVERIFY(server.Process.waitForFinished(3000));
        const QByteArray log = server.Process.readAllStandardError();
        QVERIFY(log.contains("GET /rates/index.aspx -> 200"));
        QVERIFY(!log.contains('\x1b') && !log.contains('\x01'));
    }

    // Only regular files directly inside their own folder; the private ones only with the login.
    void upgradeFolders_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("authorization");
        QTest::addColumn<int>("status");
        const QStringList none, right = {"Basic " + QByteArray("u:p").toBase64()},
                                wrong = {"Basic " + QByteArray("u:x").toBase64()};
        QTest::newRow("public file") << "/kestrelmv/files/a.zip" << none << 200;
        QTest::newRow("link to a system file") << "/kestrelmv/files/passwd" << none << 404;
        QTest::newRow("link inside the folder") << "/kestrelmv/files/alias.zip" << none << 404;
        QTest::newRow("nul cuts the name") << "/kestrelmv/files/a.zip%00.txt" << none << 400;
        QTest::newRow("climbing") << "/kestrelmv/files/..%2Fprivate%2Fp.zip" << none << 404;
        QTest::newRow("private file in public") << "/kestrelmv/files/p.zip" << none << 404;
        QTest::newRow("private without login") << "/kestrelmv/private/p.zip" << none << 401;
        QTest::newRow("private, wrong login") << "/kestrelmv/private/p.zip" << wrong << 401;
        QTest::newRow("private with login") << "/kestrelmv/private/p.zip" << right << 200;
        QTest::newRow("two logins") << "/kestrelmv/private/p.zip" << wrong + right << 400;
        QTest::newRow("signature") << "/kestrelmv/kestrelmv.inf.minisig" << none << 200;
        // A fault answers with its error page, never with the file behind it.
        QTest::newRow("status fault on a file")
            << "/kestrelmv/files/a.zip?status=500" << none << 500;
        QTest::newRow("malformed delay") << "/kestrelmv/files/a.zip?delay_ms=5s" << none << 400;
    }
    void upgradeFolders() {
        QFETCH(QString, path);
        QFETCH(QStringList, authorization);
        QFETCH(int, status);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("public") && QDir(dir.path()).mkpath("private"));
        const auto write = [&dir](const QString& name) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(name.toUtf8()) > 0;
        };
        QVERIFY(write("public/a.zip") && write("private/p.zip") && write("info.inf") &&
                write("info.inf.minisig"));
        QVERIFY(QFile::link("/etc/passwd", dir.filePath("public/passwd")));
        QVERIFY(QFile::link(dir.filePath("public/a.zip"), dir.filePath("public/alias.zip")));
        QuoteServer server({"--upgrade-info", dir.filePath("info.inf"), "--upgrade-dir",
                            dir.filePath("public"), "--private-upgrade-dir",
                            dir.filePath("private"), "--upgrade-login", "u:p"});
        QByteArray request = "GET " + path.toLatin1() + " HTTP/1.1\r\nHost: a\r\n";
        for (const QString& login : authorization)
            request += "Authorization: " + login.toLatin1() + "\r\n";
        const QByteArray answer = RawExchange(server.Port, request + "Connection: close\r\n\r\n");
        QCOMPARE(Status(answer), status);
        if (status == 200)
            QVERIFY(
                answer.endsWith(path.section(u'/', -1).toUtf8().replace("kestrelmv.", "info.")));
        else
            QVERIFY(!answer.contains("root:") && !answer.contains("public/a.zip"));
        QVERIFY(server.Terminate());
    }

    // Options that would expose more than meant are refused before anything listens.
    void refusedOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        QTest::newRow("remote bind") << QStringList{"--bind", "0.0.0.0"} << "--allow-remote";
        QTest::newRow("private folder without login")
            << QStringList{"--private-upgrade-dir", "/tmp"} << "--upgrade-login";
    }
    void refusedOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        QProcess process;
        process.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"),
                      QStringList{"--port", "0"} + arguments);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(says));
    }

    // Allowed beyond loopback, the server leaves the demo's switches and the upgrade paths off.
    void remoteBindKeepsSwitchesOff() {
        QuoteServer remote({"--bind", "0.0.0.0", "--allow-remote", "--seed", "5"});
        QVERIFY(remote.Port > 0);
        const httplib::Result rates = remote.Get(QStringLiteral("?status=500"));
        QVERIFY(rates);
        QCOMPARE(rates->status, 200);
        QCOMPARE(remote.Client()->Get("/kestrelmv/kestrelmv.inf")->status, 404);
        QVERIFY(remote.Terminate());
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
