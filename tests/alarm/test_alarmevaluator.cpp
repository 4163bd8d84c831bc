// The rules of [Alarms] over a run of downloads, on a clock the test moves.
#include <QRegularExpression>
#include <QTest>

#include "alarm/alarmevaluator.h"

using namespace kestrel;

namespace {

const QString kEur = QStringLiteral("欧元美元");
const QDateTime kStart(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC);

// One download per step, "MINUTE:PRICE[flags]": ! the rule is to fire on it; d from a demo
// page; s quoted eleven minutes before the download; q without a quote time.
struct Step {
    double minute = 0;
    AlarmTick tick;
    bool fires = false;
};

QList<Step> Steps(const QString& text, double close) {
    QList<Step> steps;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        static const QRegularExpression re(QStringLiteral("^([\\d.]+):([\\d.]+)([!dsq]*)$"));
        const QRegularExpressionMatch m = re.match(word);
        Q_ASSERT(m.hasMatch());
        Step step;
        step.minute = m.captured(1).toDouble();
        const QString flags = m.captured(3);
        const QDateTime at = kStart.addMSecs(qint64(step.minute * 60000));
        step.tick = {kEur, m.captured(2).toDouble(), at, close, flags.contains(u'd')};
        if (flags.contains(u's'))
            step.tick.QuoteTime = at.addSecs(-11 * 60);
        if (flags.contains(u'q'))
            step.tick.QuoteTime = QDateTime();
        step.fires = flags.contains(u'!');
        steps.append(step);
    }
    return steps;
}

}  // namespace

class TestAlarmEvaluator : public QObject {
    Q_OBJECT
private slots:
    void runOfDownloads_data();
    void runOfDownloads();
    void newRulesKeepWhatUnchangedOnesHaveSeen();
    void unreadableRulesAreReportedOnceAndNeverChecked();
    void oneNoticeForAllThatFired();
};

void TestAlarmEvaluator::runOfDownloads_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<double>("close");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("enabledAfter");
    // clang-format off
    QTest::newRow("above once turns itself off") << "1;欧元美元;above;1.1;once" << 0.0 << "0:1.099 1:1.1005! 2:1.0 3:1.2" << false;
    QTest::newRow("above: exact touch") << "1;欧元美元;above;1.1;once" << 0.0 << "0:1.1000!" << false;
    QTest::newRow("below from above") << "1;欧元美元;below;1.1;once" << 0.0 << "0:1.101 1:1.1001 2:1.0999!" << false;
    QTest::newRow("zero, stale, demo, undated ignored") << "1;欧元美元;above;1.1;once" << 0.0 << "0:0 1:1.2s 2:1.2d 3:1.2q 4:1.2!" << false;
    QTest::newRow("demo rule on demo prices") << "1;欧元美元;above;1.1;once;demo" << 0.0 << "0:1.2d!" << false;
    QTest::newRow("disabled rule never fires") << "0;欧元美元;above;1.1;once" << 0.0 << "0:1.2 1:1.3" << false;
    QTest::newRow("cross rising") << "1;欧元美元;cross;7;once" << 0.0 << "0:6.999 1:7.001!" << false;
    QTest::newRow("cross falling") << "1;欧元美元;cross;7;once" << 0.0 << "0:7.001 1:6.999!" << false;
    QTest::newRow("cross: first price only recorded") << "1;欧元美元;cross;7;rearm" << 0.0 << "0:7 1:7.5! " << true;
    QTest::newRow("cross: started beyond, comes back") << "1;欧元美元;cross;7;once" << 0.0 << "0:7.5 1:7.6 2:7!" << false;
    QTest::newRow("cross: stale price is no reference") << "1;欧元美元;cross;7;once" << 0.0 << "0:7.5s 1:6.9 2:7.1!" << false;
    QTest::newRow("change_pct up, exact") << "1;欧元美元;change_pct;0.5;once" << 1.1 << "0:1.105 1:1.1055!" << false;
    QTest::newRow("change_pct down") << "1;欧元美元;change_pct;0.5;once" << 1.1 << "0:1.0945!" << false;
    QTest::newRow("change_pct without close") << "1;欧元美元;change_pct;0.5;once" << 0.0 << "0:2" << true;
    QTest::newRow("move_pct within its window") << "1;欧元美元;move_pct;0.5@15;once" << 0.0 << "0:1 10:1.003 14:1.005!" << false;
    QTest::newRow("move_pct falling") << "1;欧元美元;move_pct;0.5@15;once" << 0.0 << "0:1 5:0.995!" << false;
    QTest::newRow("move_pct: old price left the window") << "1;欧元美元;move_pct;0.5@15;once" << 0.0 << "0:1 16:1.005 17:1.0051" << true;
    QTest::newRow("move_pct: stale price not in the window") << "1;欧元美元;move_pct;0.5@15;once" << 0.0 << "0:1s 1:1.005 2:1.0052" << true;
    // Dead-band 0.001 (a tenth of 1.1 − 1.09); five minutes between firings.
    QTest::newRow("rearm above: band and five minutes") << "1;欧元美元;above;1.1;rearm" << 0.0 << "0:1.09 1:1.11! 2:1.095 3:1.11 6:1.11! 7:1.12" << true;
    QTest::newRow("rearm above: inside the band") << "1;欧元美元;above;1.1;rearm" << 0.0 << "0:1.09 1:1.11! 2:1.0995 7:1.11 8:1.0985 9:1.11!" << true;
    QTest::newRow("rearm cross") << "1;欧元美元;cross;7;rearm" << 0.0 << "0:6.9 1:7.1! 2:6.95 3:7.1 6:7.1! 7:7.2" << true;
    QTest::newRow("rearm cross: inside the band") << "1;欧元美元;cross;7;rearm" << 0.0 << "0:6.9 1:7.1! 2:6.995 8:7.1 9:6.98 10:7.01!" << true;
    QTest::newRow("rearm change_pct: band of a tenth") << "1;欧元美元;change_pct;1;rearm" << 1.0 << "0:1.01! 1:1.0095 6:1.0101 7:1.0085 8:1.0101!" << true;
    QTest::newRow("rearm move_pct") << "1;欧元美元;move_pct;0.5@10;rearm" << 0.0 << "0:1 1:1.006! 3:1.006 12:1.006 13:1.0121!" << true;
    // clang-format on
}

void TestAlarmEvaluator::runOfDownloads() {
    QFETCH(QString, line);
    QFETCH(double, close);
    QFETCH(QString, steps);
    QFETCH(bool, enabledAfter);

    QDateTime now = kStart;
    AlarmEvaluator evaluator([&now] { return now; });
    evaluator.SetRules({ParseAlarmLine(QStringLiteral("Alarm1"), line)});
    QVERIFY(evaluator.Rules().first().Readable);
    for (const Step& step : Steps(steps, close)) {
        now = kStart.addMSecs(qint64(step.minute * 60000));
        // Another instrument in the same download never fires this rule.
        AlarmTick other = step.tick;
        other.Name = QStringLiteral("英镑美元");
        const AlarmCheck check = evaluator.Check({other, step.tick});
        const QString where = QStringLiteral("minute %1").arg(step.minute);
        QVERIFY2(check.Fired.size() == (step.fires ? 1 : 0), qPrintable(where));
        if (!step.fires)
            continue;
        QCOMPARE(check.Fired.first().Tick.Price, step.tick.Price);
        QCOMPARE(check.Fired.first().At, now);
        const bool once = check.Fired.first().Rule.Repeat == AlarmRepeat::Once;
        QCOMPARE(check.Changed.size(), once ? 1 : 0);
        if (once)
            QVERIFY(FormatAlarmLine(check.Changed.first()).startsWith(QStringLiteral("0;")));
    }
    QCOMPARE(evaluator.Rules().first().Enabled, enabledAfter);
}

void TestAlarmEvaluator::newRulesKeepWhatUnchangedOnesHaveSeen() {
    QDateTime now = kStart;
    AlarmEvaluator evaluator([&now] { return now; });
    const AlarmRule cross = ParseAlarmLine(QStringLiteral("Alarm1"), "1;欧元美元;cross;7;once");
    const AlarmRule moved = ParseAlarmLine(QStringLiteral("Alarm1"), "1;欧元美元;cross;7.05;once");
    const auto tick = [&](double price) { return AlarmTick{kEur, price, now, 0, false}; };

    evaluator.SetRules({cross});
    QVERIFY(evaluator.Check({tick(6.9)}).Fired.isEmpty());
    // The same rule again (the settings were saved) keeps its reference price.
    evaluator.SetRules({cross});
    QCOMPARE(evaluator.Check({tick(7.1)}).Fired.size(), 1);

    // A changed rule is armed afresh: its first price is only recorded.
    evaluator.SetRules({cross});
    evaluator.Check({tick(6.9)});
    evaluator.SetRules({moved});
    QVERIFY(evaluator.Check({tick(7.1)}).Fired.isEmpty());
    QCOMPARE(evaluator.Check({tick(7.0)}).Fired.size(), 1);
}

void TestAlarmEvaluator::unreadableRulesAreReportedOnceAndNeverChecked() {
    QDateTime now = kStart;
    AlarmEvaluator evaluator([&now] { return now; });
    const QList<AlarmRule> rules{
        ParseAlarmLine(QStringLiteral("Alarm1"), "1;欧元美元;above;x;once"),
        ParseAlarmLine(QStringLiteral("Alarm2"), "1;欧元美元;above;1;once")};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Alarm1 cannot be read"));
    evaluator.SetRules(rules);
    QTest::failOnWarning(QRegularExpression("cannot be read"));
    evaluator.SetRules(rules);
    const AlarmCheck check = evaluator.Check({{kEur, 1.5, now, 0, false}});
    QCOMPARE(check.Fired.size(), 1);
    QCOMPARE(check.Fired.first().Rule.Key, QStringLiteral("Alarm2"));
    QCOMPARE(FormatAlarmLine(evaluator.Rules().first()), QStringLiteral("1;欧元美元;above;x;once"));
}

void TestAlarmEvaluator::oneNoticeForAllThatFired() {
    const auto firing = [](const QString& key, const QString& line, double price) {
        const AlarmRule rule = ParseAlarmLine(key, line);
        return AlarmFiring{rule, {rule.Name, price, kStart, 0, false}, kStart};
    };
    const AlarmFiring move = firing("Alarm1", "1;欧元美元;move_pct;0.5@15;once", 1.10026);
    AlarmNotice one = ComposeAlarmNotice({move});
    QCOMPARE(one.Summary, QStringLiteral("欧元美元 1.1003"));
    QCOMPARE(one.Body, QStringLiteral("15分钟内波动 ≥ 0.5%"));
    QVERIFY(!one.Critical);

    const AlarmNotice three =
        ComposeAlarmNotice({move, firing("Alarm2", "1;欧元美元;above;1.1;once", 1.10026),
                            firing("Alarm3", "1;现货黄金;below;1650;rearm", 1642.35)});
    QCOMPARE(three.Summary, QStringLiteral("欧元美元 1.1003，现货黄金 1642.35"));
    QCOMPARE(three.Body, QStringLiteral("欧元美元：15分钟内波动 ≥ 0.5%\n欧元美元：高于 1.1000\n"
                                        "现货黄金：低于 1650.00"));
    QVERIFY(three.Critical);
    QCOMPARE(three.Actions.size(), 2);
    QCOMPARE(three.Actions.first().first, kAlarmShowTicker);
}

QTEST_APPLESS_MAIN(TestAlarmEvaluator)
#include "test_alarmevaluator.moc"
