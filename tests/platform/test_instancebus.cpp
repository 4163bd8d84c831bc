// The bus name that decides which tickers count as one: the same settings file however it is
// reached, another file another name, and always a name the bus accepts; and which bus is silent.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

#include "platform/instancebus.h"

using namespace kestrel;

namespace {

// A socket that takes connections into its queue and never answers; an abstract name when the
// path starts with '@'.
int SilentSocket(const QByteArray& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    std::memcpy(where.sun_path, path.constData(), size_t(path.size()));
    socklen_t length = sizeof where;
    if (path.startsWith('@')) {
        where.sun_path[0] = '\0';
        length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size());
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), length) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

class TestInstanceBus : public QObject {
    Q_OBJECT

private slots:
    void oneNamePerSettingsFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("home")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("other")));
        const QString home = dir.filePath(QStringLiteral("home"));
        QVERIFY(QFile::link(home, dir.filePath(QStringLiteral("link"))));
        const QString name = InstanceBusName(home + QStringLiteral("/kestrel.ini"));

        // The same file through a link, a relative path or a "..": one ticker.
        QCOMPARE(InstanceBusName(dir.filePath(QStringLiteral("link/kestrel.ini"))), name);
        QCOMPARE(InstanceBusName(dir.filePath(QStringLiteral("other/../home/kestrel.ini"))), name);
        QVERIFY(QDir::setCurrent(home));
        QCOMPARE(InstanceBusName(QStringLiteral("kestrel.ini")), name);

        // Another folder, or another program name in the same folder: another ticker.
        QVERIFY(InstanceBusName(dir.filePath(QStringLiteral("other/kestrel.ini"))) != name);
        QVERIFY(InstanceBusName(home + QStringLiteral("/ticker2.ini")) != name);

        // Elements of letters, digits and underscores, none starting with a digit.
        const QRegularExpression valid(QStringLiteral("^org\\.example\\.Kestrel\\.i[0-9a-f]{16}$"));
        QVERIFY2(valid.match(name).hasMatch(), qPrintable(name));
        const QString deep = InstanceBusName(QStringLiteral("/非ASCII/") + QString(300, u'x') +
                                             QStringLiteral("/kestrel.ini"));
        QVERIFY2(valid.match(deep).hasMatch(), qPrintable(deep));
    }

    void commandsByOption_data() {
        QTest::addColumn<QByteArray>("option");
        QTest::addColumn<QString>("method");  // empty: not a command
        QTest::addColumn<bool>("starts");
        QTest::newRow("toggle") << QByteArray("--toggle") << "Toggle" << true;
        QTest::newRow("show") << QByteArray("--show") << "Show" << true;
        QTest::newRow("settings") << QByteArray("--settings") << "Settings" << true;
        QTest::newRow("hide") << QByteArray("--hide") << "Hide" << false;
        QTest::newRow("refresh") << QByteArray("--refresh") << "Refresh" << false;
        QTest::newRow("quit") << QByteArray("--quit") << "Quit" << false;
        QTest::newRow("show-settings is another mode")
            << QByteArray("--show-settings") << QString() << false;
        QTest::newRow("single dash") << QByteArray("-toggle") << QString() << false;
    }
    void commandsByOption() {
        QFETCH(QByteArray, option);
        QFETCH(QString, method);
        QFETCH(bool, starts);
        const auto command = CommandFromOption(option);
        QCOMPARE(command.has_value(), !method.isEmpty());
        if (command) {
            QCOMPARE(CommandMethod(*command), method);
            QCOMPARE(CommandStartsTicker(*command), starts);
        }
    }

    // Only a bus that is there and keeps silent counts as silent: one that is not there fails
    // Qt's connection at once, and other transports are left to Qt.
    void aSilentBusIsTold() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("a bus")));
        const QByteArray abstract = "@kestrel-test-" + QByteArray::number(::getpid());
        const int silent = SilentSocket(path);
        const int silentAbstract = SilentSocket(abstract);
        QVERIFY(silent >= 0 && silentAbstract >= 0);
        const QByteArray escaped = QByteArray(path).replace(' ', "%20");
        const struct {
            QByteArray address;
            bool silent;
        } cases[] = {
            {"unix:path=" + escaped + ",guid=0123", true},
            {"tcp:host=127.0.0.1,port=1;unix:abstract=" + abstract.mid(1), true},
            {"unix:path=" + QFile::encodeName(dir.filePath(QStringLiteral("none"))), false},
            {"tcp:host=127.0.0.1,port=1", false},
        };
        for (const auto& c : cases) {
            qputenv("DBUS_SESSION_BUS_ADDRESS", c.address);
            QCOMPARE(!SessionBusSilence(200).isEmpty(), c.silent);
        }
        ::close(silent);
        ::close(silentAbstract);
    }
};

QTEST_GUILESS_MAIN(TestInstanceBus)
#include "test_instancebus.moc"
