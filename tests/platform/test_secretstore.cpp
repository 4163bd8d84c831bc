// The proxy password in a real Secret Service: gnome-keyring-daemon on a session bus of the
// test's own, so that no user's keyring is touched.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "platform/keychain/keychainstore.h"
#include "settings/profile.h"
#include "settings/settingsload.h"

using namespace kestrel;

namespace {

class TestSecretStore : public QObject {
    Q_OBJECT

    QTemporaryDir home_;
    QProcess bus_;
    QProcess keyring_;

    // Whether a name is owned on the test's bus.
    static bool HasOwner(const QString& name) {
        QProcess ask;
        ask.start("dbus-send",
                  {"--session", "--print-reply", "--dest=org.freedesktop.DBus",
                   "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", "string:" + name});
        return ask.waitForFinished(5000) && ask.readAllStandardOutput().contains("true");
    }

    void StartKeyring() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path());
        env.insert("XDG_DATA_HOME", home_.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", home_.path());
        keyring_.setProcessEnvironment(env);
        keyring_.start("gnome-keyring-daemon",
                       {"--foreground", "--unlock", "--components=secrets"});
        QVERIFY(keyring_.waitForStarted());
        // The password of the login keyring, which --unlock creates.
        keyring_.write("test");
        keyring_.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(HasOwner("org.freedesktop.secrets"), 10000);
    }

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable("gnome-keyring-daemon").isEmpty() ||
            QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QSKIP("gnome-keyring or dbus-daemon is not installed");
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        QVERIFY(bus_.waitForReadyRead(10000));
        const QByteArray address = bus_.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        // Before anything in this process talks to a bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        StartKeyring();
    }

    void cleanupTestCase() {
        for (QProcess* p : {&keyring_, &bus_}) {
            p->terminate();
            p->waitForFinished(5000);
        }
    }

    void keepsAndForgets() {
        auto store = MakeKeychainStore();
        QVERIFY(store->Write("proxy-password:/a/kestrel.ini", QStringLiteral("密码 p@ss")));
        QVERIFY(store->Write("proxy-password:/b/kestrel.ini", QStringLiteral("other")));
        QCOMPARE(store->Read("proxy-password:/a/kestrel.ini"), QStringLiteral("密码 p@ss"));
        QVERIFY(store->Remove("proxy-password:/a/kestrel.ini"));
        QCOMPARE(store->Read("proxy-password:/a/kestrel.ini"), std::nullopt);
        QCOMPARE(store->Read("proxy-password:/b/kestrel.ini"), QStringLiteral("other"));
    }

    void loadFindsThePasswordInTheStore() {
        InstallSecretStore(MakeKeychainStore());
        const QString ini = home_.filePath("kestrel.ini");
        QVERIFY(InstalledSecretStore()->Write(ProxyPasswordKey(ini), "s3cret"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Param]\r\nProxyType=2\r\nProxyAddress=proxy.lan\r\n");
        f.close();
        TIniFile file(ini);
        WriteScrambledText(file, "ProxyUsername", "trader");
        const Settings s = LoadSettings(ini, home_.filePath("kestrel.ccy"), {}, {});
        QCOMPARE(s.ProxyPassword, QStringLiteral("s3cret"));
        InstallSecretStore(nullptr);
    }

    void withoutAServiceNothingIsKept() {
        keyring_.terminate();
        QVERIFY(keyring_.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!HasOwner("org.freedesktop.secrets"), 5000);
        auto store = MakeKeychainStore();
        QVERIFY(!store->Write("proxy-password:/c/kestrel.ini", "x"));
        QCOMPARE(store->Read("proxy-password:/b/kestrel.ini"), std::nullopt);
    }
};

}  // namespace

QTEST_GUILESS_MAIN(TestSecretStore)
#include "test_secretstore.moc"
