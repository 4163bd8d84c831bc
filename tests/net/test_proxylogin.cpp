// `kestrel --print` through a proxy that asks for a login, with the login the settings dialog
// stored: the whole way from the settings file to the proxy.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "servers/quoteserver.h"
#include "settings/profile.h"
#include "settings/settingsload.h"
#include "text/encodings.h"
#include "tinyproxy.h"

using namespace kestrel;

namespace {

class TestProxyLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void print_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::newRow("right password") << "pass" << 0;
        QTest::newRow("wrong password") << "wrong" << 4;
        QTest::newRow("no login") << "" << 4;
    }

    void print() {
        QFETCH(QString, password);
        QFETCH(int, status);
        if (test::Tinyproxy::Binary().isEmpty())
            QSKIP("tinyproxy is not installed");
        QTemporaryDir home;
        test::Tinyproxy proxy;
        QVERIFY(proxy.Start(home.path(), "user pass"));
        test::QuoteServer server;
        QVERIFY(server.Port() > 0);

        // The loopback address itself is never sent through a proxy; its name is.
        const QString ini = home.filePath("kestrel.ini");
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ToCp936(QStringLiteral("[Param]\r\nProxyType=2\r\nProxyAddress=127.0.0.1\r\n"
                                       "ProxyPort=%1\r\nRatesURL=%2\r\n")
                            .arg(proxy.Port)
                            .arg(server.RatesUrl().replace("127.0.0.1", "localhost"))));
        f.close();
        TIniFile file(ini);
        WriteScrambledText(file, "ProxyUsername", password.isEmpty() ? QString() : "user");
        WriteScrambledText(file, "ProxyPassword", password);

        QProcess kestrel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTREL_HOME", home.path());
        kestrel.setProcessEnvironment(env);
        kestrel.start(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel"), {"--print"});
        QVERIFY(kestrel.waitForFinished(30000));
        const QByteArray out = kestrel.readAllStandardOutput();
        QCOMPARE(kestrel.exitCode(), status);
        // Quotes came through the proxy, or none at all.
        QCOMPARE(out.contains("美元"), status == 0);
    }
};

}  // namespace

QTEST_GUILESS_MAIN(TestProxyLogin)
#include "test_proxylogin.moc"
