#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

#include "http_server.h"
#include "net/httpclient.h"
#include "platform/net/curltransfer.h"
#include "platform/networkmodule.h"
#include "raw_server.h"
#include "tinyproxy.h"
#include "version.h"

using namespace kestrel;
using kestrel::test::HttpServer;
using kestrel::test::RawServer;

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

// The libcurl transfer, watched: where it is freed, and optionally deaf to its stop flag for a
// while before it starts (as a blocking call that cannot be interrupted would be).
struct Watch {
    std::atomic<int> Made{0}, Freed{0}, FreedInGui{0};
    int DeafMs = 0;
};

class WatchedTransfer final : public ITransfer {
public:
    explicit WatchedTransfer(std::shared_ptr<Watch> watch)
        : W(std::move(watch)), Inner(MakeCurlTransfer()) {
        W->Made++;
    }
    ~WatchedTransfer() override {
        Inner.reset();
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            W->FreedInGui++;
        W->Freed++;
    }
    bool Open(const TransferSessionOptions& options) override {
        QThread::msleep(W->DeafMs);
        return Inner->Open(options);
    }
    bool Send(const TransferRequest& request) override { return Inner->Send(request); }
    int StatusCode() const override { return Inner->StatusCode(); }
    std::optional<QString> Header(TransferHeader h) const override { return Inner->Header(h); }
    qint64 Read(char* buffer, qint64 size) override { return Inner->Read(buffer, size); }

private:
    std::shared_ptr<Watch> W;
    std::unique_ptr<ITransfer> Inner;
};

qint64 Timed(const std::function<void()>& call) {
    QElapsedTimer t;
    t.start();
    call();
    return t.elapsed();
}

enum class Then { HangUp, Flood, Trickle };

// A misbehaving server: its answer to any path but /final, which gets a small page, and what it
// does after the answer: wait for the client to hang up, or go on sending bytes in a flood or
// one every 50 ms. "PORT" in the answer stands for its own port.
void Misbehave(RawServer& server, int socket, const std::string& request, QByteArray answer,
               Then then) {
    if (request.find(" /final ") != std::string::npos)
        answer = "HTTP/1.1 200 OK\r\nContent-Type: text/final\r\nContent-Length: 5\r\n\r\nfinal";
    answer.replace("PORT", QByteArray::number(server.Port));
    if (!server.Send(socket, answer.toStdString()))
        return;
    if (then == Then::HangUp)
        server.AwaitHangUp(socket);
    const std::string more(then == Then::Flood ? 16384 : 1, 'x');
    while (then != Then::HangUp && server.Send(socket, more)) {
        if (then == Then::Trickle)
            QThread::msleep(50);
    }
}

}  // namespace

class TestHttpClient : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetDefaultTransferFactory(&MakeCurlTransfer); }
    void outcomes_data();
    void outcomes();
    void eventsArriveFromTheEventLoop();
    void passwordRequestRetries();
    void requestHeaders_data();
    void requestHeaders();
    void outputFile_data();
    void outputFile();
    void fullDisk();
    void abortMidBody();
    void readWhileBusyIsRefused();
    void readBeforeCompletionDropsTheOldOne();
    void freeingMidTransferRaisesNothing();
    void waitTimeoutExpires();
    void throughProxy_data();
    void throughProxy();
    void proxyDigestLogin_data();
    void proxyDigestLogin();
    void stopsNeverWaitForTheNetwork_data();
    void stopsNeverWaitForTheNetwork();
    void abortClosesTheConnection();
    void hostileServers_data();
    void hostileServers();
    void cookiesLastForTheComponent();
    void dripStalls_data();
    void dripStalls();
    void progressBeforeAFullBlock();
    void theNetworkModuleLoadsOnFirstUse();
    void bodyBound_data();
    void bodyBound();

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
    QTest::newRow("503 asking for a wait")
        << Server.Url("/busy") << QStringList{"AnyError", "HTTPError 503"} << QByteArray("later")
        << 503;
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
    QCOMPARE(http.RetryAfter(), status == 503 ? 30.0 : 0.0);
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
    QTest::newRow("agent") << 2 << QByteArray("User-Agent")
                           << QByteArray("Kestrel/" KESTREL_VERSION);
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
    // A file that cannot be made: OnAnyError alone, whatever the server answered.
    r.Events.clear();
    http.OutputFileName = Dir.filePath("no/such/dir/out.bin");
    QVERIFY(http.Read());
    QCOMPARE(r.Events, QStringList{"AnyError"});
}

// A disk that fills up during the download (here: a file size limit of 5 bytes) fails it as a
// lost connection and leaves no file, rather than a short one reported as done.
void TestHttpClient::fullDisk() {
    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    const QString name = Dir.filePath("full.bin");
    http.URL = Server.Url("/page");
    http.OutputFileName = name;
    http.SetWaitThread(true);
    rlimit small = old;
    small.rlim_cur = 5;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool read = http.Read();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    QVERIFY(read);
    QCOMPARE(r.Events, (QStringList{"AnyError", "ConnLost 10 0"}));
    QVERIFY(!QFile::exists(name));
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
    QElapsedTimer t;
    t.start();
    QVERIFY(!http.Read());
    QVERIFY(t.elapsed() >= 300);  // never early
    QCOMPARE(r.Events, QStringList{"WaitTimeout"});
    QVERIFY(!http.Busy());
}

void TestHttpClient::throughProxy_data() {
    QTest::addColumn<QString>("bypass");
    QTest::addColumn<bool>("auth");
    QTest::addColumn<bool>("handler");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("viaProxy");
    QTest::addColumn<QString>("login");  // "user:password" stored with the proxy
    QTest::addColumn<bool>("tunnel");    // an https URL, through CONNECT
    const QStringList refused{"AnyError", "HTTPError 407"};
    QTest::newRow("through the proxy")
        << "" << false << false << QStringList{"Done 8"} << true << "" << false;
    QTest::newRow("loopback bypassed")
        << "127.0.0.1;" << false << false << QStringList{"Done 8"} << false << "" << false;
    QTest::newRow("407 without handler") << "" << true << false << refused << false << "" << false;
    QTest::newRow("407 with credentials")
        << "" << true << true << QStringList{"Done 8"} << true << "" << false;
    QTest::newRow("stored login") << "" << true << false << QStringList{"Done 8"} << true
                                  << "user:pass" << false;
    QTest::newRow("stored login, wrong password")
        << "" << true << false << refused << false << "user:wrong" << false;
    QTest::newRow("tunnel refused for a wrong password")
        << "" << true << false << refused << false << "user:wrong" << true;
}

void TestHttpClient::throughProxy() {
    QFETCH(QString, bypass);
    QFETCH(bool, auth);
    QFETCH(bool, handler);
    QFETCH(QStringList, events);
    QFETCH(bool, viaProxy);
    QFETCH(QString, login);
    QFETCH(bool, tunnel);
    if (test::Tinyproxy::Binary().isEmpty())
        QSKIP("tinyproxy is not installed");
    test::Tinyproxy proxy;
    QVERIFY(proxy.Start(Dir.path(), auth ? "user pass" : ""));
    const int port = proxy.Port;

    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.Proxy.AccessType = THTTPAccessType::atUseProxy;
    http.Proxy.ProxyServer = "127.0.0.1";
    http.Proxy.ProxyPort = port;
    http.Proxy.ProxyBypass = bypass;
    http.Proxy.ProxyUsername = login.section(u':', 0, 0);
    http.Proxy.ProxyPassword = login.section(u':', 1);
    if (handler) {
        http.OnProxyAuthenticationRequest = [](TCustomHTTPClient*, QString& user, QString& pass,
                                               bool& again) {
            again = user.isEmpty();
            user = "user";
            pass = "pass";
        };
    }
    http.URL = Server.Url("/record");
    if (tunnel)
        http.URL.replace("http:", "https:");
    http.SetWaitThread(true);
    const int before = Server.RequestCount();
    QVERIFY(http.Read());
    QCOMPARE(r.Events, events);
    // The refresh cycle names a refused login by this status.
    if (events.last() == "HTTPError 407")
        QCOMPARE(http.StatusCode(), 407);
    if (events.first().startsWith("Done")) {
        QCOMPARE(Server.RequestCount(), before + 1);
        const std::string via = Server.LastRequest().Header("Via");
        QCOMPARE(via.find("kestrel-test") != std::string::npos, viaProxy);
    }
}

void TestHttpClient::proxyDigestLogin_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("right password") << "pass" << QStringList{"Done 7"};
    QTest::newRow("wrong password") << "wrong" << QStringList{"AnyError", "HTTPError 407"};
}

// A proxy that takes Digest only (RFC 7616 with qop=auth, MD5), checked as a proxy checks it.
void TestHttpClient::proxyDigestLogin() {
    QFETCH(QString, password);
    QFETCH(QStringList, events);
    const auto md5 = [](const QByteArray& text) {
        return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
    };
    const QByteArray challenge =
        "HTTP/1.1 407 Proxy Authentication Required\r\n"
        "Proxy-Authenticate: Digest realm=\"k\", nonce=\"n0nce\", "
        "qop=\"auth\"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    RawServer proxy([&](RawServer& self, int socket, const std::string& head) {
        const QByteArray request = QByteArray::fromStdString(head);
        static const QRegularExpression field(QStringLiteral("(\\w+)=\"?([^\",\\r]*)\"?"));
        const qsizetype at = request.indexOf("Proxy-Authorization: Digest ");
        QMap<QString, QByteArray> f;
        if (at >= 0) {
            const QString line =
                QString::fromLatin1(request.mid(at, request.indexOf("\r\n", at) - at));
            for (const auto& m : field.globalMatch(line.mid(28)))
                f[m.captured(1)] = m.captured(2).toLatin1();
        }
        const QByteArray ha1 = md5("user:k:pass"), ha2 = md5("GET:" + f["uri"]);
        const QByteArray expected =
            md5(ha1 + ":n0nce:" + f["nc"] + ":" + f["cnonce"] + ":auth:" + ha2);
        const bool good = f["username"] == "user" && f["response"] == expected;
        self.Send(socket, good ? "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n"
                                 "\r\ndigest!"
                               : challenge.toStdString());
    });
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.Proxy.AccessType = THTTPAccessType::atUseProxy;
    http.Proxy.ProxyServer = "127.0.0.1";
    http.Proxy.ProxyPort = proxy.Port;
    http.Proxy.ProxyBypass = "";
    http.Proxy.ProxyUsername = "user";
    http.Proxy.ProxyPassword = password;
    http.URL = "http://quotes.invalid/rates/index.aspx";
    http.SetWaitThread(true);
    QVERIFY(http.Read());
    QCOMPARE(r.Events, events);
    QCOMPARE(http.StatusCode(), events.size() == 1 ? 200 : 407);
}

void TestHttpClient::stopsNeverWaitForTheNetwork_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<THTTPAccessType>("access");
    QTest::addColumn<int>("deafMs");
    const QString page = QStringLiteral("http://rates.slow.test:%1/page").arg(Server.Port);
    QTest::newRow("slow name lookup") << page << THTTPAccessType::atDirect << 0;
    QTest::newRow("slow proxy lookup") << Server.Url("/page") << THTTPAccessType::atPreconfig << 0;
    QTest::newRow("deaf to its stop") << Server.Url("/page") << THTTPAccessType::atDirect << 1500;
}

// Abort, the next Read and freeing the component return at once while the network hangs; the
// stopped transfers end on their own, are freed off the GUI thread and raise nothing.
void TestHttpClient::stopsNeverWaitForTheNetwork() {
    QFETCH(QString, url);
    QFETCH(THTTPAccessType, access);
    QFETCH(int, deafMs);
    // The system proxy comes from a configuration script whose server name takes seconds.
    qputenv("http_proxy", "pac+http://pac.slow.test/proxy.pac");
    const auto restore = qScopeGuard([] { qunsetenv("http_proxy"); });
    auto watch = std::make_shared<Watch>();
    watch->DeafMs = deafMs;
    Recorder r;
    auto http =
        std::make_unique<THTTPClient>([watch] { return std::make_unique<WatchedTransfer>(watch); });
    r.Wire(*http);
    http->URL = url;
    http->Proxy.AccessType = access;
    QVERIFY(http->Read());
    QTRY_COMPARE(watch->Made.load(), 1);
    QThread::msleep(300);  // well inside the lookup
    // Not speed tests: a stop that waited would take seconds.
    QVERIFY(Timed([&] { http->Abort(); }) < 500);
    QVERIFY(Timed([&] { QVERIFY(http->Read()); }) < 500);
    QTRY_COMPARE(watch->Made.load(), 2);
    QThread::msleep(300);
    QVERIFY(Timed([&] { http.reset(); }) < 500);
    QTRY_COMPARE_WITH_TIMEOUT(watch->Freed.load(), 2, 5000);
    QCOMPARE(watch->FreedInGui.load(), 0);
    Pump(50);
    QCOMPARE(r.Events, QStringList{"Aborted"});
}

// The stopped transfer's connection is closed at once, not when the component goes.
void TestHttpClient::abortClosesTheConnection() {
    RawServer server([](RawServer& self, int socket, const std::string&) {
        self.Send(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
        self.AwaitHangUp(socket);
    });
    THTTPClient http;
    http.Proxy.AccessType = THTTPAccessType::atDirect;
    http.URL = server.Url("/rates");
    QVERIFY(http.Read());
    QTRY_COMPARE(server.Accepted.load(), 1);
    http.Abort();
    QTRY_COMPARE_WITH_TIMEOUT(server.HangUps.load(), 1, 2000);
}

void TestHttpClient::hostileServers_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<Then>("then");
    QTest::addColumn<QStringList>("events");  // each a prefix of the event seen
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("withinMs");
    QTest::addColumn<int>("connections");
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    // A 64 KB cap and an 800 ms limit in the test.
    QTest::newRow("endless body") << ok + "\r\n"
                                  << Then::Flood << QStringList{"AnyError", "ConnLost 0 "}
                                  << QByteArray() << 5000 << 1;
    QTest::newRow("length over the cap")
        << ok + "Content-Length: 1000000000\r\n\r\n"
        << Then::Flood << QStringList{"AnyError", "ConnLost 1000000000 0"} << QByteArray() << 5000
        << 1;
    QTest::newRow("trickling body")
        << ok + "Content-Length: 1000\r\n\r\n"
        << Then::Trickle << QStringList{"AnyError", "ConnLost 1000 "} << QByteArray() << 5000 << 1;
    QTest::newRow("trickling headers")
        << ok + "X-Slow: " << Then::Trickle << QStringList{"AnyError", "HostUnreachable"}
        << QByteArray() << 5000 << 1;
    // 400 ms of silence, counted in milliseconds rather than whole seconds.
    QTest::newRow("silent server")
        << ok + "Content-Length: 100\r\n\r\n0123456789" << Then::HangUp
        << QStringList{"AnyError", "ConnLost 100 10"} << QByteArray("0123456789") << 900 << 1;
    QTest::newRow("chunked with a length")
        << ok + "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n"
                "a\r\npart one, \r\n8\r\npart two\r\n0\r\n\r\n"
        << Then::HangUp << QStringList{"Done 18"} << QByteArray("part one, part two") << 5000 << 1;
    // The ftp address is this server: a client that went there would be seen.
    QTest::newRow("redirect to ftp")
        << QByteArray(
               "HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1:PORT/\r\n"
               "Content-Length: 0\r\n\r\n")
        << Then::HangUp << QStringList{"AnyError", "HTTPError 302"} << QByteArray() << 5000 << 1;
    for (const QByteArray status : {"300", "305"}) {
        QTest::addRow("%s followed", status.constData())
            << "HTTP/1.1 " + status +
                   " Redirect\r\nConnection: close\r\nLocation: /final\r\nContent-Type: "
                   "text/first\r\n"
                   "Content-Length: 5\r\n\r\nfirst"
            << Then::HangUp << QStringList{"Done 5"} << QByteArray("final") << 5000 << 2;
    }
}

void TestHttpClient::hostileServers() {
    QFETCH(QByteArray, answer);
    QFETCH(Then, then);
    QFETCH(QStringList, events);
    QFETCH(QByteArray, body);
    QFETCH(int, withinMs);
    QFETCH(int, connections);
    RawServer server([&](RawServer& self, int socket, const std::string& request) {
        Misbehave(self, socket, request, answer, then);
    });
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.Proxy.AccessType = THTTPAccessType::atDirect;
    http.URL = server.Url("/rates");
    http.MaxBodySize = 65536;
    http.MaxTransferTime = 800;
    http.Timeouts.ReceiveTimeout = 400;
    http.SetWaitThread(true);
    http.SetWaitTimeout(8000);
    const qint64 took = Timed([&] { QVERIFY(http.Read()); });
    QCOMPARE(r.Events.size(), events.size());
    for (qsizetype i = 0; i < events.size(); ++i)
        QVERIFY2(r.Events[i].startsWith(events[i]), qPrintable(r.Events.join(", ")));
    QVERIFY(r.Body.startsWith(body));
    QVERIFY(r.Body.size() <= 65536);
    QVERIFY2(took < withinMs, qPrintable(QString::number(took)));
    if (withinMs < 1000)
        QVERIFY(took >= 400);
    if (connections == 2)
        QCOMPARE(r.ContentType, QStringLiteral("text/final"));
    QCOMPARE(server.Accepted.load(), connections);
}

// A cookie a server sets goes with the component's later requests, and with no other's.
void TestHttpClient::cookiesLastForTheComponent() {
    const auto cookieSent = [this](THTTPClient& http) {
        http.URL = Server.Url("/record");
        http.SetWaitThread(true);
        http.Read();
        return Server.LastRequest().Header("Cookie");
    };
    THTTPClient http;
    http.URL = Server.Url("/cookie");
    http.SetWaitThread(true);
    QVERIFY(http.Read());
    QCOMPARE(cookieSent(http), std::string("session=k42"));
    QCOMPARE(cookieSent(http), std::string("session=k42"));
    http.UseCookies = false;
    QCOMPARE(cookieSent(http), std::string("<none>"));
    THTTPClient other;
    QCOMPARE(cookieSent(other), std::string("<none>"));
}

// A body that keeps coming a byte at a time never falls silent; the low-speed bound ends it
// within a few idle time-outs, while a slow body that keeps up with the bound gets through.
void TestHttpClient::dripStalls_data() {
    QTest::addColumn<int>("bytesPer50Ms");
    QTest::addColumn<QString>("event");
    QTest::newRow("drip") << 1 << QStringLiteral("ConnLost 1500 ");
    QTest::newRow("slow but steady") << 60 << QStringLiteral("Done 1500");
}

void TestHttpClient::dripStalls() {
    QFETCH(int, bytesPer50Ms);
    QFETCH(QString, event);
    RawServer server([&](RawServer& self, int socket, const std::string&) {
        if (!self.Send(socket, "HTTP/1.1 200 OK\r\nContent-Length: 1500\r\n\r\n"))
            return;
        for (int sent = 0; sent < 1500 && self.Send(socket, std::string(bytesPer50Ms, 'x'));
             sent += bytesPer50Ms)
            QThread::msleep(50);
    });
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    http.Proxy.AccessType = THTTPAccessType::atDirect;
    http.URL = server.Url("/drip");
    http.MaxTransferTime = 0;
    http.Timeouts.ReceiveTimeout = 500;
    http.Timeouts.MinBytesPerSecond = 200;
    http.SetWaitThread(true);
    http.SetWaitTimeout(20000);
    const qint64 took = Timed([&] { QVERIFY(http.Read()); });
    QVERIFY2(r.Events.constLast().startsWith(event), qPrintable(r.Events.join(", ")));
    const bool stalled = event.startsWith(u"ConnLost");
    QCOMPARE(http.LastFailure().Stalled, stalled);
    if (stalled)
        QVERIFY2(took < 3000, qPrintable(QString::number(took)));
}

// The first bytes of a body show as progress while the rest of the block is still to come.
void TestHttpClient::progressBeforeAFullBlock() {
    std::atomic<bool> release{false};
    RawServer server([&](RawServer& self, int socket, const std::string&) {
        if (!self.Send(socket, "HTTP/1.1 200 OK\r\nContent-Length: 8192\r\n\r\n0123456789"))
            return;
        while (!release)
            QThread::msleep(10);
        self.Send(socket, std::string(8182, 'x'));
    });
    THTTPClient http;
    Recorder r;
    r.Wire(http);
    QList<qint64> progress;
    http.OnProgress = [&](TCustomHTTPClient*, const QString&, qint64, qint64 done, qint64, qint64,
                          quint8, float, QIODevice*) { progress << done; };
    http.Proxy.AccessType = THTTPAccessType::atDirect;
    http.URL = server.Url("/slow");
    QVERIFY(http.Read());
    QTRY_COMPARE_WITH_TIMEOUT(progress.value(0), qint64(10), 5000);
    release = true;
    QTRY_COMPARE_WITH_TIMEOUT(r.Events, QStringList{QStringLiteral("Done 8192")}, 5000);
    QCOMPARE(progress.constLast(), qint64(8192));
}

// The program downloads through the module built beside it; where there is none, a download fails
// as one that found no way out, at once and with its events, and the program goes on.
void TestHttpClient::theNetworkModuleLoadsOnFirstUse() {
    const auto restore = qScopeGuard([] { SetDefaultTransferFactory(&MakeCurlTransfer); });
    for (const bool present : {true, false}) {
        InstallTransferModule(present ? ModuleFolder() : Dir.filePath(QStringLiteral("none")));
        THTTPClient http;
        Recorder r;
        r.Wire(http);
        http.URL = Server.Url("/page");
        http.SetWaitThread(true);
        QVERIFY(http.Read());
        const QStringList expected =
            present ? QStringList{"Done 10"} : QStringList{"AnyError", "HostUnreachable"};
        QCOMPARE(r.Events, expected);
    }
}

// A body over the caller's bound fails its read, after what came within it; one of exactly the
// bound is whole.
void TestHttpClient::bodyBound_data() {
    QTest::addColumn<qint64>("bound");
    QTest::addColumn<qint64>("last");  // what the final Read returns
    QTest::newRow("one byte short") << qint64(9) << qint64(-1);
    QTest::newRow("exactly") << qint64(10) << qint64(0);
}
void TestHttpClient::bodyBound() {
    QFETCH(qint64, bound);
    QFETCH(qint64, last);
    const std::unique_ptr<ITransfer> transfer = MakeCurlTransfer();
    TransferSessionOptions session;
    session.AccessType = THTTPAccessType::atDirect;
    QVERIFY(transfer->Open(session));
    TransferRequest request;
    request.URL = Server.Url("/page");
    request.MaxBodyBytes = bound;
    QVERIFY(transfer->Send(request));
    char block[64];
    qint64 got = 0, total = 0;
    while ((got = transfer->Read(block, sizeof block)) > 0)
        total += got;
    QCOMPARE(got, last);
    QVERIFY(total <= bound);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "test_httpclient.moc"
