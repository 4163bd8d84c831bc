// The bus name that decides which tickers count as one: the same settings file however it is
// reached, another file another name, and always a name the bus accepts.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/instancebus.h"

using namespace kestrel;

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
};

QTEST_GUILESS_MAIN(TestInstanceBus)
#include "test_instancebus.moc"
