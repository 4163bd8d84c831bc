#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/online.h"
#include "platform/online/networkstate.h"

using namespace kestrel;

namespace {

// Answers xdg-mime with a fixed text and records what would have been started or opened.
class FakeDesktop : public IDesktopCommands {
public:
    std::optional<QByteArray> Output(const QString& program,
                                     const QStringList& arguments) override {
        Asked << program + u' ' + arguments.join(u' ');
        return Answer;
    }
    bool StartDetached(const QString& program, const QStringList& arguments) override {
        Started << program + u'|' + arguments.join(u'|');
        return true;
    }
    bool OpenUrl(const QUrl& url) override {
        Opened << url;
        return true;
    }

    std::optional<QByteArray> Answer;
    QStringList Asked, Started;
    QList<QUrl> Opened;
};

}  // namespace

class TestOnline : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(Data.isValid());
        qputenv("XDG_DATA_HOME", Data.filePath(QStringLiteral("home")).toLocal8Bit());
        // The system folders stay behind ours: they hold the MIME database.
        qputenv("XDG_DATA_DIRS",
                (Data.filePath(QStringLiteral("system")) + ":/usr/local/share:/usr/share")
                    .toLocal8Bit());
        WriteEntry(QStringLiteral("system/applications/webby.desktop"),
                   "[Desktop Entry]\nName=Webby\nExec=/opt/webby/webby --new-window %u\n"
                   "[Desktop Action private]\nExec=/opt/webby/webby --private %u\n");
        // The user's own entry of the same id wins over the system's.
        WriteEntry(QStringLiteral("system/applications/quoted.desktop"),
                   "[Desktop Entry]\nExec=/usr/bin/system-browser %U\n");
        WriteEntry(QStringLiteral("home/applications/quoted.desktop"),
                   "[Desktop Entry]\nExec=\"/home/me/My Browser/run\" \"%U\"\n");
        WriteEntry(QStringLiteral("system/applications/noexec.desktop"),
                   "[Desktop Entry]\nName=Nothing\n");
    }

    void networkAddresses_data() {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<bool>("online");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("loopback only") << QStringList{"127.0.0.1", "::1"} << false;
        QTest::newRow("link-local v6 only") << QStringList{"127.0.0.1", "fe80::1"} << false;
        QTest::newRow("lan v4") << QStringList{"127.0.0.1", "192.168.1.20"} << true;
        QTest::newRow("global v6") << QStringList{"::1", "2001:db8::5"} << true;
    }
    void networkAddresses() {
        QFETCH(QStringList, addresses);
        QFETCH(bool, online);
        QList<QHostAddress> list;
        for (const QString& text : addresses)
            list << QHostAddress(text);
        QCOMPARE(HasNetworkAddress(list), online);
    }
    // The program asks through its network module, which answers with the same code.
    void theNetworkModuleAnswers() { QCOMPARE(IsInternetConnected(), NetworkLooksOnline()); }

    void associatedProgram_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<std::optional<QByteArray>>("answer");
        QTest::addColumn<QString>("program");
        QTest::newRow("desktop entry")
            << ".html" << std::optional<QByteArray>("webby.desktop\n") << "/opt/webby/webby";
        QTest::newRow("user entry, quoted")
            << ".html" << std::optional<QByteArray>("quoted.desktop") << "/home/me/My Browser/run";
        QTest::newRow("no default") << ".html" << std::optional<QByteArray>("\n") << "";
        QTest::newRow("xdg-mime fails") << ".html" << std::optional<QByteArray>() << "";
        QTest::newRow("entry missing")
            << ".html" << std::optional<QByteArray>("gone.desktop") << "";
        QTest::newRow("entry without Exec")
            << ".html" << std::optional<QByteArray>("noexec.desktop") << "";
        QTest::newRow("path in the answer")
            << ".html" << std::optional<QByteArray>("../webby.desktop") << "";
        QTest::newRow("empty extension") << "" << std::optional<QByteArray>("webby.desktop") << "";
        QTest::newRow("dot only") << "." << std::optional<QByteArray>("webby.desktop") << "";
    }
    void associatedProgram() {
        QFETCH(QString, extension);
        QFETCH(std::optional<QByteArray>, answer);
        QFETCH(QString, program);
        FakeDesktop desktop;
        desktop.Answer = answer;
        QCOMPARE(FindAssociatedProgram(extension, desktop), program);
        if (extension.size() > 1) {
            QCOMPARE(desktop.Asked,
                     QStringList{QStringLiteral("xdg-mime query default text/html")});
        } else {
            QVERIFY(desktop.Asked.isEmpty());
        }
    }

    void openURL() {
        FakeDesktop desktop;
        desktop.Answer = QByteArray("webby.desktop");
        QVERIFY(OpenURL(QStringLiteral("www.example.com/kestrel/"), true, desktop));
        QCOMPARE(desktop.Started,
                 QStringList{QStringLiteral("/opt/webby/webby|http://www.example.com/kestrel/")});
        QVERIFY(desktop.Opened.isEmpty());

        QVERIFY(OpenURL(QStringLiteral("https://www.example.com/a b"), false, desktop));
        QCOMPARE(desktop.Opened,
                 QList<QUrl>{QUrl(QStringLiteral("https://www.example.com/a%20b"))});
        QCOMPARE(desktop.Started.size(), 1);

        desktop.Answer.reset();  // no browser registered: the desktop's handler opens it
        QVERIFY(OpenURL(QStringLiteral("ftp://files.example.com/x.zip"), true, desktop));
        QCOMPARE(desktop.Opened.size(), 2);
        QCOMPARE(desktop.Opened.last(), QUrl(QStringLiteral("ftp://files.example.com/x.zip")));
    }

private:
    void WriteEntry(const QString& relative, const QByteArray& text) {
        const QString path = Data.filePath(relative);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QTemporaryDir Data;
};

QTEST_GUILESS_MAIN(TestOnline)
#include "test_online.moc"
