// The lines of [Alarms]: read, written back unchanged in meaning, and described.
#include <QTest>

#include "alarm/alarmrule.h"

using namespace kestrel;

class TestAlarmRule : public QObject {
    Q_OBJECT
private slots:
    void readableLines_data();
    void readableLines();
    void unreadableLinesAreKeptAsTheyStood_data();
    void unreadableLinesAreKeptAsTheyStood();
};

void TestAlarmRule::readableLines_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("text");
    // clang-format off
    QTest::newRow("above") << "1;欧元美元;above;1.1;once" << "1;欧元美元;above;1.1;once" << "高于 1.1000";
    QTest::newRow("below, two decimals") << "0;现货黄金;below;1642.5;rearm" << "0;现货黄金;below;1642.5;rearm" << "低于 1642.50";
    QTest::newRow("cross made on demo prices") << "1;欧元美元;cross;1.1;rearm;demo" << "1;欧元美元;cross;1.1;rearm;demo" << "穿越 1.1000";
    QTest::newRow("change_pct") << "1;美元日元;change_pct;0.5;once" << "1;美元日元;change_pct;0.5;once" << "涨跌幅 ≥ 0.5%";
    QTest::newRow("move_pct") << "1;欧元美元;move_pct;0.5@15;rearm" << "1;欧元美元;move_pct;0.5@15;rearm" << "15分钟内波动 ≥ 0.5%";
    QTest::newRow("blanks and case") << " 1 ; 欧元美元 ; ABOVE ; 1.10 ; Once " << "1;欧元美元;above;1.1;once" << "高于 1.1000";
    QTest::newRow("fifteen digits survive") << "1;欧元美元;below;1.23456789012345;once" << "1;欧元美元;below;1.23456789012345;once" << "低于 1.2346";
    QTest::newRow("small value in exponent form") << "1;欧元美元;change_pct;1e-05;once" << "1;欧元美元;change_pct;1e-05;once" << "涨跌幅 ≥ 1e-05%";
    // clang-format on
}

void TestAlarmRule::readableLines() {
    QFETCH(QString, line);
    QFETCH(QString, written);
    QFETCH(QString, text);
    const AlarmRule rule = ParseAlarmLine(QStringLiteral("Alarm1"), line);
    QVERIFY(rule.Readable);
    QCOMPARE(rule.Key, QStringLiteral("Alarm1"));
    QCOMPARE(FormatAlarmLine(rule), written);
    QCOMPARE(AlarmRuleText(rule), text);
    // What is written reads back to the same rule.
    const AlarmRule again = ParseAlarmLine(rule.Key, written);
    QCOMPARE(FormatAlarmLine(again), written);
    QCOMPARE(again.Value, rule.Value);
}

void TestAlarmRule::unreadableLinesAreKeptAsTheyStood_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("empty") << "";
    QTest::newRow("four fields") << "1;欧元美元;above;1.1";
    QTest::newRow("seven fields") << "1;欧元美元;above;1.1;once;demo;x";
    QTest::newRow("enabled 2") << "2;欧元美元;above;1.1;once";
    QTest::newRow("no name") << "1;;above;1.1;once";
    QTest::newRow("unknown kind") << "1;欧元美元;over;1.1;once";
    QTest::newRow("value not a number") << "1;欧元美元;above;abc;once";
    QTest::newRow("value zero") << "1;欧元美元;above;0;once";
    QTest::newRow("value negative") << "1;欧元美元;below;-1;once";
    QTest::newRow("decimal comma") << "1;欧元美元;above;1,1;once";
    QTest::newRow("value overflows") << "1;欧元美元;above;1e999;once";
    QTest::newRow("value nan") << "1;欧元美元;above;nan;once";
    QTest::newRow("move without minutes") << "1;欧元美元;move_pct;0.5;once";
    QTest::newRow("move over zero minutes") << "1;欧元美元;move_pct;0.5@0;once";
    QTest::newRow("move over more than a day") << "1;欧元美元;move_pct;0.5@1441;once";
    QTest::newRow("unknown repeat") << "1;欧元美元;above;1.1;sometimes";
    QTest::newRow("sixth field not demo") << "1;欧元美元;above;1.1;once;x";
}

void TestAlarmRule::unreadableLinesAreKeptAsTheyStood() {
    QFETCH(QString, line);
    const AlarmRule rule = ParseAlarmLine(QStringLiteral("Alarm7"), line);
    QVERIFY(!rule.Readable);
    QCOMPARE(rule.Key, QStringLiteral("Alarm7"));
    QCOMPARE(FormatAlarmLine(rule), line);
    QCOMPARE(AlarmRuleText(rule), QString());
}

QTEST_APPLESS_MAIN(TestAlarmRule)
#include "test_alarmrule.moc"
