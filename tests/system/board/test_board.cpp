// The board of the demo walk in a real browser: headless Chromium loads it, shows the walk's
// prices with the ticker's texts, follows a move at its next poll and draws it at a phone's
// width. Skipped where Chromium is not installed.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <httplib.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

// The browser driven over its debugging pipe (fd 3 in, fd 4 out, messages ending in NUL).
class Browser {
public:
    Browser(const QString& chromium, const QString& profile) {
        if (pipe2(In, O_CLOEXEC) != 0 || pipe2(Out, O_CLOEXEC) != 0)
            return;
        process_.setChildProcessModifier([this] {
            const int in = fcntl(In[0], F_DUPFD, 10), out = fcntl(Out[1], F_DUPFD, 10);
            dup2(in, 3);
            dup2(out, 4);
        });
        process_.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(
            chromium,
            {QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
             QStringLiteral("--disable-gpu"), QStringLiteral("--remote-debugging-pipe"),
             QStringLiteral("--user-data-dir=") + profile, QStringLiteral("about:blank")});
        ::close(In[0]);
        ::close(Out[1]);
    }
    ~Browser() {
        ::close(In[1]);
        ::close(Out[0]);
        process_.kill();
        process_.waitForFinished();
    }
    // The result of one command, or an empty object after ten seconds without it.
    QJsonObject Call(const QString& method, const QJsonObject& params = {},
                     const QString& session = {}) {
        QJsonObject message{{QStringLiteral("id"), ++Id},
                            {QStringLiteral("method"), method},
                            {QStringLiteral("params"), params}};
        if (!session.isEmpty())
            message.insert(QStringLiteral("sessionId"), session);
        const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
        if (::write(In[1], bytes.constData(), size_t(bytes.size())) != bytes.size())
            return {};
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            const qsizetype end = Buffer.indexOf('\0');
            if (end >= 0) {
                const QJsonObject answer = QJsonDocument::fromJson(Buffer.left(end)).object();
                Buffer.remove(0, end + 1);
                if (answer.value(QStringLiteral("id")).toInt() == Id)
                    return answer.value(QStringLiteral("result")).toObject();
                continue;  // an event
            }
            pollfd fd{Out[0], POLLIN, 0};
            if (::poll(&fd, 1, int(deadline.remainingTime())) <= 0)
                break;
            char chunk[65536];
            const ssize_t n = ::read(Out[0], chunk, sizeof chunk);
            if (n <= 0)
                break;
            Buffer.append(chunk, n);
        }
        return {};
    }
    // A tab on url; the session to address it by.
    QString Open(const QString& url) {
        const QString target =
            Call(QStringLiteral("Target.createTarget"), {{QStringLiteral("url"), url}})
                .value(QStringLiteral("targetId"))
                .toString();
        return Call(QStringLiteral("Target.attachToTarget"),
                    {{QStringLiteral("targetId"), target}, {QStringLiteral("flatten"), true}})
            .value(QStringLiteral("sessionId"))
            .toString();
    }
    QString Text(const QString& session) {
        return Call(QStringLiteral("Runtime.evaluate"),
                    {{QStringLiteral("expression"), QStringLiteral("document.body.innerText")},
                     {QStringLiteral("returnByValue"), true}},
                    session)
            .value(QStringLiteral("result"))
            .toObject()
            .value(QStringLiteral("value"))
            .toString();
    }

private:
    QProcess process_;
    int In[2] = {-1, -1}, Out[2] = {-1, -1};
    int Id = 0;
    QByteArray Buffer;
};

}  // namespace

class TestBoard : public QObject {
    Q_OBJECT

    QString chromium_;
    QProcess server_;
    int port_ = 0;
    QTemporaryDir profile_;

    QString Url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(port_); }

    // The walk moves only when its page is asked for: this sets a price and takes no step.
    void Set(const char* nameAndPrice) {
        httplib::Client client("127.0.0.1", port_);
        const auto res =
            client.Get(std::string("/rates/index.aspx?step=0&set=") +
                       QUrl::toPercentEncoding(QString::fromUtf8(nameAndPrice)).toStdString());
        QVERIFY(res && res->status == 200);
    }

    QByteArray Headless(const QStringList& arguments) {
        QProcess browser;
        browser.setStandardErrorFile(QProcess::nullDevice());
        browser.start(
            chromium_,
            QStringList{
                QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
                QStringLiteral("--disable-gpu"), QStringLiteral("--hide-scrollbars"),
                QStringLiteral("--user-data-dir=") + profile_.filePath(QStringLiteral("cli")),
                QStringLiteral("--virtual-time-budget=5000")} +
                arguments + QStringList{Url()});
        if (!browser.waitForFinished(60000))
            browser.kill();
        return browser.readAllStandardOutput();
    }

private slots:
    void initTestCase() {
        chromium_ = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium_.isEmpty())
            QSKIP("chromium is not installed");
        server_.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"),
                      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--source"),
                       QStringLiteral("walk"), QStringLiteral("--fixed")});
        QVERIFY(server_.waitForReadyRead(5000));
        port_ = QRegularExpression(QStringLiteral(":(\\d+)/"))
                    .match(QString::fromUtf8(server_.readAllStandardOutput()))
                    .captured(1)
                    .toInt();
        QVERIFY(port_ > 0);
    }
    void cleanupTestCase() {
        server_.terminate();
        server_.waitForFinished(5000);
    }

    // What the page shows once loaded: every row, the ticker's texts, the demo's mark.
    void loads() {
        Set("欧元美元:1.1612,现货黄金:4205.60");
        const QString dom = QString::fromUtf8(Headless({QStringLiteral("--dump-dom")}));
        QVERIFY2(dom.contains(QStringLiteral("【演示牌价】")), qPrintable(dom.left(2000)));
        const QRegularExpression euro(QStringLiteral(
            "<tr data-code=\"EURUSD\"><td class=\"name\">欧元美元</td><td[^>]*>1\\.1612</td>"));
        QVERIFY2(euro.match(dom).hasMatch(), qPrintable(dom.left(2000)));
        QVERIFY(dom.contains(QStringLiteral(">纽约原油<")));
        QVERIFY(dom.contains(QStringLiteral(">4205.60<")));
        QCOMPARE(dom.count(QStringLiteral("<tr data-code=")), 34);
        QVERIFY(!dom.contains(QStringLiteral("N/A")));
    }

    // A move reaches an open page at its next poll, coloured by the change since the close.
    void followsAMove() {
        Browser browser(chromium_, profile_.filePath(QStringLiteral("pipe")));
        const QString tab = browser.Open(Url());
        QVERIFY(!tab.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(browser.Text(tab).contains(QStringLiteral("1.1612")), 10000);
        Set("欧元美元:1.1712");
        QTRY_VERIFY_WITH_TIMEOUT(browser.Text(tab).contains(QStringLiteral("1.1712")), 10000);
        const QString text = browser.Text(tab);
        QVERIFY2(text.contains(QStringLiteral("+0.0100")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("+0.86%")), qPrintable(text));
    }

    // At a phone's width and on a desktop; the pictures are kept for a look.
    void screenshots_data() {
        QTest::addColumn<QString>("size");
        QTest::newRow("phone") << QStringLiteral("390,844");
        QTest::newRow("desktop") << QStringLiteral("1000,1100");
    }
    void screenshots() {
        QFETCH(QString, size);
        const QString shot = QStringLiteral(KESTREL_SHOTS_DIR "/board-%1.png")
                                 .arg(QString::fromLatin1(QTest::currentDataTag()));
        QFile::remove(shot);
        Headless({QStringLiteral("--screenshot=") + shot, QStringLiteral("--window-size=") + size});
        QFile png(shot);
        QVERIFY2(png.open(QIODevice::ReadOnly), qPrintable(shot));
        QVERIFY(png.read(8) == QByteArray("\x89PNG\r\n\x1a\n", 8));
        QVERIFY(png.size() > 10000);
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "test_board.moc"
