// The alarm command: its line split as an Exec line, the program run with what fired in its
// environment, and bounded in time and in number.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "platform/alarmcommand.h"

using namespace kestrel;

class TestAlarmCommand : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void runsTheProgramWithWhatFired();
    void failuresReportAfterRunReturns();
    void hangingCommandIsKilledAndCountsTowardsTheLimit();

private:
    QTemporaryDir dir_;
};

void TestAlarmCommand::split_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("argv");
    // clang-format off
    QTest::newRow("plain") << "notify-send Kestrel" << true << QStringList{"notify-send", "Kestrel"};
    QTest::newRow("blanks around and between") << " \t/usr/bin/x   a  " << true << QStringList{"/usr/bin/x", "a"};
    QTest::newRow("quoted, empty quoted") << "x \"two words\" \"\"" << true << QStringList{"x", "two words", ""};
    QTest::newRow("escapes in quotes") << R"(x "a \"b\" \$c \\ \`d\` \n")" << true << QStringList{"x", R"(a "b" $c \ `d` \n)"};
    QTest::newRow("percent and field codes") << "x 50%% %f %U arg" << true << QStringList{"x", "50%", "arg"};
    QTest::newRow("no shell") << "x $HOME;rm -rf / | y" << true << QStringList{"x", "$HOME;rm", "-rf", "/", "|", "y"};
    QTest::newRow("empty") << "" << false << QStringList{};
    QTest::newRow("blank") << "   " << false << QStringList{};
    QTest::newRow("field code alone") << "%u" << false << QStringList{};
    QTest::newRow("open quote") << "x \"open" << false << QStringList{};
    QTest::newRow("lone percent") << "x 50%" << false << QStringList{};
    QTest::newRow("unknown field code") << "x %z" << false << QStringList{};
    // clang-format on
}

void TestAlarmCommand::split() {
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(QStringList, argv);
    const std::optional<QStringList> split = SplitExecLine(line);
    QCOMPARE(split.has_value(), ok);
    if (ok)
        QCOMPARE(*split, argv);
}

void TestAlarmCommand::runsTheProgramWithWhatFired() {
    const QString script = dir_.filePath("on alarm.sh");
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "#!/bin/sh\nprintf '%s\\n' \"$KESTREL_ALARM_NAME\" \"$KESTREL_ALARM_PRICE\" "
        "\"$KESTREL_ALARM_RULE\" \"$KESTREL_ALARM_TIME\" \"$2\" > \"$1\"\nexit 3\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString out = dir_.filePath("out");

    AlarmCommandRunner runner;
    QList<int> codes;
    runner.OnFinished = [&](AlarmCommandRunner*, int code) { codes.append(code); };
    const QDateTime at(QDate(2026, 3, 2), QTime(9, 30, 15), Qt::OffsetFromUTC, 8 * 3600);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ended with status 3"));
    QVERIFY(runner.Run(
        '"' + script + "\" \"" + out + "\" \"$HOME\"",
        {QStringLiteral("欧元美元"), QStringLiteral("1.1002"), QStringLiteral("高于 1.1000"), at}));
    QTRY_COMPARE_WITH_TIMEOUT(codes, QList<int>{3}, 10000);
    QFile result(out);
    QVERIFY(result.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(result.readAll()),
             QStringLiteral("欧元美元\n1.1002\n高于 1.1000\n2026-03-02T09:30:15+08:00\n$HOME\n"));
    QCOMPARE(runner.Running(), 0);
}

void TestAlarmCommand::failuresReportAfterRunReturns() {
    AlarmCommandRunner runner;
    QList<int> codes;
    runner.OnFinished = [&](AlarmCommandRunner*, int code) { codes.append(code); };
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot be read"));
    QVERIFY(!runner.Run(QStringLiteral("x \"open"), {}));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not be started"));
    QVERIFY(runner.Run(dir_.filePath("no such program"), {}));
    QVERIFY(codes.isEmpty());
    QTRY_COMPARE(codes, QList<int>{-1});
    QCOMPARE(runner.Running(), 0);
}

void TestAlarmCommand::hangingCommandIsKilledAndCountsTowardsTheLimit() {
    AlarmCommandRunner runner(std::chrono::milliseconds(300), 1);
    QList<int> codes;
    runner.OnFinished = [&](AlarmCommandRunner*, int code) { codes.append(code); };
    QVERIFY(runner.Run(QStringLiteral("sleep 60"), {}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("are still running"));
    QVERIFY(!runner.Run(QStringLiteral("true"), {}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("killed after"));
    QTRY_COMPARE_WITH_TIMEOUT(codes, QList<int>{-1}, 10000);
    QVERIFY(runner.Run(QStringLiteral("true"), {}));
    QTRY_COMPARE(codes, (QList<int>{-1, 0}));
}

QTEST_GUILESS_MAIN(TestAlarmCommand)
#include "test_alarmcommand.moc"
