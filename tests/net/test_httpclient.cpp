#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

#include "http_server.h"
#include "net/httpclient.h"
#include "platform/linux/curltransfer.h"

using namespace kestrel;
using kestrel::test::HttpServer;

namespace {

// Every event of the client as a line, and the stream of the last one that had a stream.
struct Recorder {
    QStringList Events;
    QByteArray Body;
    QString ContentType;
    bool StreamAtStart = true;
    QPointer<QIODevice> LastStream;

    void Keep(QIODevice* stream) {
        if (!stream)
            return;
        StreamAtStart = StreamAtStart && stream->pos() == 0;
        Body = stream->readAll();
        LastStream = stream;
    }

    void Wire(THTTPClient& http) {
        http.OnDone = [this](TCustomHTTPClient*, const QString& type, qint64 size, QIODevice* s) {
            Events << QStringLiteral("Done %1").arg(size);
            ContentType = type;
            Keep(s);
        };
        http.OnAnyError = [this](TCustomHTTPClient*) { Events << "AnyError"; };
        http.OnHTTPError = [this](TCustomHTTPClient*, int code, QIODevice* s) {
            Events << QStringLiteral("HTTPError %1").arg(code);
            Keep(s);
        };
        http.OnConnLost = [this](TCustomHTTPClient*, const QString&, qint64 size, qint64 read,
                                 QIODevice* s) {
            Events << QStringLiteral("ConnLost %1 %2").arg(size).arg(read);
            Keep(s);
        };
        http.OnHostUnreachable = [this](TCustomHTTPClient*) { Events << "HostUnreachable"; };
        http.OnAborted = [this](TCustomHTTPClient*) { Events << "Aborted"; };
        http.OnDoneInterrupted = [this](TCustomHTTPClient*) { Events << "DoneInterrupted"; };
        http.OnWaitTimeoutExpired = [this](TCustomHTTPClient*) { Events << "WaitTimeout"; };
    }
};

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A loopback port on which nothing listens: bound, never listening, so a connect is refused.
struct RefusingPort {
    RefusingPort() {
        Socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(Socket, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(Socket, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
    }
    ~RefusingPort() { ::close(Socket); }
    int Socket = -1;
    int Port = 0;
};

}  // namespace

class TestHttpClient : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { InstallCurlTransfer(); }
    void outcomes_data();
    void outcomes();
    void eventsArriveFromTheEventLoop();
    void passwordRequestRetries();
    void requestHeaders_data();
    void requestHeaders();
    void outputFile_data();
    void outputFile();
    void abortMidBody();
    void readWhileBusyIsRefused();
    void readBeforeCompletionDropsTheOldOne();
    void freeingMidTransferRaisesNothing();
    void waitTimeoutExpires();
    void throughProxy_data();
    void throughProxy();

private:
    HttpServer Server;
    QTemporaryDir Dir;
};

void TestHttpClient::outcomes_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    static RefusingPort refused;
    const QString file = QFINDTESTDATA("test_httpclient.cpp");

    QTest::newRow("with length") << Server.Url("/page") << QStringList{"Done 10"}
                                 << QByteArray("hello page") << 200;
    QTest::newRow("without length") << Server.Url("/chunked") << QStringList{"Done 18"}
                                    << QByteArray("part one, part two") << 200;
    QTest::newRow("404 with its page")
        << Server.Url("/missing") << QStringList{"AnyError", "HTTPError 404"}
        << QByteArray("not here") << 404;
    QTest::newRow("500") << Server.Url("/error") << QStringList{"AnyError", "HTTPError 500"}
                         << QByteArray("broken") << 500;
    QTest::newRow("short body") << Server.Url("/short")
                                << QStringList{"AnyError", "ConnLost 100 10"}
                                << QByteArray("0123456789") << 200;
    QTest::newRow("401 without handler")
        << Server.Url("/denied") << QStringList{"AnyError", "HTTPError 401"} << QByteArray("denied")
        << 401;
    QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:%1/").arg(refused.Port)
                             << QStringList{"AnyError", "HostUnreachable"} << QByteArray() << -1;
    QTest::newRow("no scheme") << Server.Url("/page").mid(7) << QStringList{"Done 10"}
                               << QByteArray("hello page") << 200;
    QTest::newRow("missing file") << QStringLiteral("file:///nonexistent/kestrel")
                                  << QStringList{"AnyError", "HTTPError 404"} << QByteArray()
                                  << 404;
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    QTest::newRow("file") << QUrl::fromLocalFile(file).toString()
                          << QStringList{QStringLiteral("Done %1").arg(content.size())} << content
                          << 200;
}

// Every outcome raises its events in order, with the stream at 0 and freed afterwards.
void TestHttpClient::outcomes() {
    QFETCH(QString, url);
    QFETCH(QStringList, events);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.URL = url;
    http.SetWaitThread(true);
    QVERIFY(http.Read());
    QCOMPARE(r.Events, events);
    QCOMPARE(r.Body, body);
    QCOMPARE(http.StatusCode(), status);
    QVERIFY(r.StreamAtStart);
    QVERIFY(r.LastStream.isNull());
    QVERIFY(!http.Busy());
}

void TestHttpClient::eventsArriveFromTheEventLoop() {
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.URL = Server.Url("/page");
    QVERIFY(http.Read());
    QVERIFY(r.Events.isEmpty());
    QTRY_COMPARE(r.Events, QStringList{"Done 10"});
    QCOMPARE(r.ContentType, QStringLiteral("text/html; charset=GBK"));

    // A handler that throws is reported as OnAnyError.
    http.OnDone = [&r](TCustomHTTPClient*, const QString&, qint64, QIODevice*) {
        r.Events << "Done";
        throw std::runtime_error("handler failed");
    };
    r.Events.clear();
    QVERIFY(http.Read());
    QTRY_COMPARE(r.Events, (QStringList{"Done", "AnyError"}));
}

void TestHttpClient::passwordRequestRetries() {
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    QStringList realms;
    http.OnPasswordRequest = [&](TCustomHTTPClient* sender, const QString& realm, bool& again) {
        realms << realm;
        sender->Username = "user";
        sender->Password = "pass";
        again = realms.size() == 1;
    };
    http.URL = Server.Url("/denied");
    http.SetWaitThread(true);
    QVERIFY(http.Read());
    QCOMPARE(realms, QStringList{"kestrel"});
    QCOMPARE(r.Events, QStringList{"Done 7"});
    QCOMPARE(r.Body, QByteArray("welcome"));
}

void TestHttpClient::requestHeaders_data() {
    QTest::addColumn<int>("setup");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("value");
    // The 8-byte answer cannot serve these ranges (416); one it can serve comes as 206, which is
    // not a success either.
    QTest::newRow("range from") << 0 << QByteArray("RANGE") << QByteArray("bytes=100-");
    QTest::newRow("range from-to") << 1 << QByteArray("RANGE") << QByteArray("bytes=100-199");
    QTest::newRow("range served") << 7 << QByteArray("RANGE") << QByteArray("bytes=1-3");
    QTest::newRow("no range") << 2 << QByteArray("RANGE") << QByteArray("<none>");
    QTest::newRow("no cache") << 3 << QByteArray("Cache-Control") << QByteArray("no-cache");
    QTest::newRow("no pragma") << 3 << QByteArray("Pragma") << QByteArray("no-cache");
    QTest::newRow("cache") << 2 << QByteArray("Cache-Control") << QByteArray("<none>");
    QTest::newRow("accept one entry") << 2 << QByteArray("Accept") << QByteArray("text/html, */*");
    QTest::newRow("agent") << 2 << QByteArray("User-Agent") << QByteArray("Kestrel/0.90");
    QTest::newRow("referer") << 2 << QByteArray("Referer") << QByteArray("http://ref.example/");
    QTest::newRow("post method") << 4 << QByteArray(":method") << QByteArray("POST");
    QTest::newRow("post body") << 4 << QByteArray(":body") << QByteArray("a=1&b=2");
    QTest::newRow("post type") << 4 << QByteArray("Content-Type")
                               << QByteArray("application/x-www-form-urlencoded");
    QTest::newRow("forced get") << 5 << QByteArray(":method") << QByteArray("GET");
    QTest::newRow("forced get body") << 5 << QByteArray(":body") << QByteArray("");
    QTest::newRow("extra header") << 6 << QByteArray("X-Kestrel") << QByteArray("yes");
}

void TestHttpClient::requestHeaders() {
    QFETCH(int, setup);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, value);
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.URL = Server.Url("/record");
    http.Referer = "http://ref.example/";
    http.SetWaitThread(true);
    switch (setup) {
        case 0:
            http.Range.StartRange = 100;
            break;
        case 1:
            http.Range.StartRange = 100;
            http.Range.EndRange = 199;
            break;
        case 3:
            http.UseCache = false;
            break;
        case 4:
            http.POSTData = "a=1&b=2";
            break;
        case 5:
            http.POSTData = "a=1&b=2";
            http.RequestMethod = THTTPRequestMethod::rmGET;
            break;
        case 6:
            http.AddHeaders = QStringList{"X-Kestrel: yes"};
            break;
        case 7:
            http.Range.StartRange = 1;
            http.Range.EndRange = 3;
            break;
        default:
            break;
    }
    QVERIFY(http.Read());
    const auto seen = Server.LastRequest();
    const std::string got = header == ":method" ? seen.Method
                            : header == ":body" ? seen.Body
                                                : seen.Header(header.toStdString());
    QCOMPARE(QByteArray::fromStdString(got), value);
    // A range answered with 206 is not a success.
    const QString outcome = setup <= 1   ? QStringLiteral("HTTPError 416")
                            : setup == 7 ? QStringLiteral("HTTPError 206")
                                         : QStringLiteral("Done 8");
    QCOMPARE(r.Events.last(), outcome);
}

void TestHttpClient::outputFile_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("success") << "/page" << true << QStringList{"Done 10"};
    QTest::newRow("404") << "/missing" << false << QStringList{"AnyError", "HTTPError 404"};
    QTest::newRow("short") << "/short" << false << QStringList{"AnyError", "ConnLost 100 10"};
}

void TestHttpClient::outputFile() {
    QFETCH(QString, path);
    QFETCH(bool, kept);
    QFETCH(QStringList, events);
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    const QString name = Dir.filePath("out.bin");
    QFile::remove(name);
    http.URL = Server.Url(path.toLatin1().constData());
    http.OutputFileName = name;
    http.SetWaitThread(true);
    QVERIFY(http.Read());
    QCOMPARE(r.Events, events);
    QCOMPARE(QFile::exists(name), kept);
    if (kept) {
        QVERIFY(r.LastStream.isNull() && r.Body.isEmpty());  // OnDone gets no stream
        QFile f(name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("hello page"));
        QCOMPARE(f.permissions() & 0x7777, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadUser | QFileDevice::WriteUser);
    }
    // A file that cannot be made: OnAnyError alone.
    r.Events.clear();
    http.OutputFileName = Dir.filePath("no/such/dir/out.bin");
    QVERIFY(http.Read());
    if (kept)
        QCOMPARE(r.Events, QStringList{"AnyError"});
}

void TestHttpClient::abortMidBody() {
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    int blocks = 0;
    http.OnProgress = [&](TCustomHTTPClient*, const QString&, qint64 size, qint64 read, qint64,
                          qint64, quint8 percents, float, QIODevice* stream) {
        ++blocks;
        if (blocks == 1)
            r.Events
                << QStringLiteral("Progress %1 %2 %3").arg(size).arg(read > 0).arg(percents < 100);
        stream->readAll();  // the handler moving the stream does not disturb the download
    };
    http.URL = Server.Url("/slow");
    QVERIFY(http.Read());
    QTRY_VERIFY(blocks >= 2);
    QVERIFY(http.Busy());
    QElapsedTimer t;
    t.start();
    http.Abort();
    // Not a speed test: a stop that waited for the server would take seconds.
    QVERIFY(t.elapsed() < 1000);
    QVERIFY(!http.Busy());
    const int seen = blocks;
    Pump(200);
    QCOMPARE(blocks, seen);
    QCOMPARE(r.Events, (QStringList{"Progress 100000 1 1", "Aborted"}));
    http.Abort();  // idle: nothing more
    QCOMPARE(r.Events.size(), 2);
}

void TestHttpClient::readWhileBusyIsRefused() {
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.URL = Server.Url("/slow");
    QVERIFY(http.Read());
    QTRY_VERIFY(http.Busy());
    http.URL = Server.Url("/page");
    QVERIFY(!http.Read());
    QVERIFY(http.Busy());
    http.Abort();
    QCOMPARE(r.Events, QStringList{"Aborted"});
}

void TestHttpClient::readBeforeCompletionDropsTheOldOne() {
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    const int before = Server.RequestCount();
    http.URL = Server.Url("/delayed");
    QVERIFY(http.Read());
    // Without running the event loop: the routine returns, its completion stays queued.
    QElapsedTimer t;
    t.start();
    while (!http.Busy() && t.elapsed() < 2000)
        QThread::msleep(1);
    while (http.Busy() && t.elapsed() < 4000)
        QThread::msleep(1);
    QVERIFY(!http.Busy());
    http.URL = Server.Url("/record");
    QVERIFY(http.Read());
    QTRY_COMPARE(r.Events, QStringList{"Done 8"});
    Pump(100);
    QCOMPARE(r.Events, QStringList{"Done 8"});
    QCOMPARE(Server.RequestCount(), before + 1);
}

void TestHttpClient::freeingMidTransferRaisesNothing() {
    Recorder r;
    int blocks = 0;
    {
        THTTPClient http;
        r.Wire(http);
        http.OnProgress = [&](TCustomHTTPClient*, const QString&, qint64, qint64, qint64, qint64,
                              quint8, float, QIODevice*) { ++blocks; };
        http.URL = Server.Url("/slow");
        QVERIFY(http.Read());
        QTRY_VERIFY(blocks >= 1);
    }
    const int seen = blocks;
    Pump(100);
    QCOMPARE(blocks, seen);
    QVERIFY(r.Events.isEmpty());
}

void TestHttpClient::waitTimeoutExpires() {
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.URL = Server.Url("/slow");
    http.SetWaitThread(true);
    http.SetWaitTimeout(300);
    QVERIFY(!http.Read());
    QCOMPARE(r.Events, QStringList{"WaitTimeout"});
    QVERIFY(!http.Busy());
}

void TestHttpClient::throughProxy_data() {
    QTest::addColumn<QString>("bypass");
    QTest::addColumn<bool>("auth");
    QTest::addColumn<bool>("handler");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("viaProxy");
    QTest::newRow("through the proxy") << "" << false << false << QStringList{"Done 8"} << true;
    QTest::newRow("loopback bypassed")
        << "127.0.0.1;" << false << false << QStringList{"Done 8"} << false;
    QTest::newRow("407 without handler")
        << "" << true << false << QStringList{"AnyError", "HTTPError 407"} << false;
    QTest::newRow("407 with credentials") << "" << true << true << QStringList{"Done 8"} << true;
}

void TestHttpClient::throughProxy() {
    QFETCH(QString, bypass);
    QFETCH(bool, auth);
    QFETCH(bool, handler);
    QFETCH(QStringList, events);
    QFETCH(bool, viaProxy);
    const QString binary = QStandardPaths::findExecutable("tinyproxy", {"/usr/bin", "/usr/sbin"});
    if (binary.isEmpty())
        QSKIP("tinyproxy is not installed");

    RefusingPort free;  // a port of our own for the proxy
    const int port = free.Port;
    ::close(free.Socket);
    free.Socket = -1;
    const QString conf = Dir.filePath("tinyproxy.conf");
    {
        QFile f(conf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray text = "Port " + QByteArray::number(port) +
                          "\nListen 127.0.0.1\nTimeout 10\nMaxClients 10\nAllow 127.0.0.1\n"
                          "LogLevel Critical\nViaProxyName \"kestrel-test\"\n";
        if (auth)
            text += "BasicAuth user pass\n";
        f.write(text);
    }
    QProcess proxy;
    proxy.start(binary, {"-d", "-c", conf});
    QVERIFY(proxy.waitForStarted());
    const auto stop = qScopeGuard([&proxy] {
        proxy.terminate();
        proxy.waitForFinished(2000);
    });
    // Ready once it accepts a connection.
    QElapsedTimer t;
    t.start();
    bool ready = false;
    while (!ready && t.elapsed() < 3000) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(port));
        ready = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        if (!ready)
            QThread::msleep(20);
    }
    QVERIFY(ready);

    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.Proxy.AccessType = THTTPAccessType::atUseProxy;
    http.Proxy.ProxyServer = "127.0.0.1";
    http.Proxy.ProxyPort = port;
    http.Proxy.ProxyBypass = bypass;
    if (handler) {
        http.OnProxyAuthenticationRequest = [](TCustomHTTPClient*, QString& user, QString& pass,
                                               bool& again) {
            again = user.isEmpty();
            user = "user";
            pass = "pass";
        };
    }
    http.URL = Server.Url("/record");
    http.SetWaitThread(true);
    const int before = Server.RequestCount();
    QVERIFY(http.Read());
    QCOMPARE(r.Events, events);
    if (events.first().startsWith("Done")) {
        QCOMPARE(Server.RequestCount(), before + 1);
        const std::string via = Server.LastRequest().Header("Via");
        QCOMPARE(via.find("kestrel-test") != std::string::npos, viaProxy);
    }
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "test_httpclient.moc"
