#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/fake/fakesound.h"
#include "settings/profile.h"
#include "ui/alarm/alarmform.h"
#include "ui/errorreport.h"

using namespace kestrel;

namespace {

const AlarmSettings kGold{true, QStringLiteral("现货黄金"), 1640.0L, true};

}  // namespace

class TestAlarmForm : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void repeatedAlarmsListEveryLineAndRestartTheSound();
    void soundOnlyWhenChosenAndPresent_data();
    void soundOnlyWhenChosenAndPresent();
    void closingClearsStopsHidesAndDisarms();
    void refusedDisarmIsReportedAndTheAlarmStillCloses();
    void titleBarCloseOnlyHides();
    void timerBringsTheShownWindowToFront();
    void layoutFitsTheChineseTexts();

private:
    QString wavPath() const { return dir_->filePath(QStringLiteral("kestrel.wav")); }
    QString iniPath() const { return dir_->filePath(QStringLiteral("kestrel.ini")); }

    std::unique_ptr<QTemporaryDir> dir_;
    FakeSoundPlayer sound_;
};

void TestAlarmForm::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QFile wav(wavPath());
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.write("RIFF");
    sound_ = FakeSoundPlayer();
}

void TestAlarmForm::cleanup() {
    dir_.reset();
}

void TestAlarmForm::repeatedAlarmsListEveryLineAndRestartTheSound() {
    TAlarmForm form(&sound_, wavPath(), iniPath());
    QVERIFY(!form.isVisible());
    QCOMPARE(form.lblAlarmPrice->text(), QStringLiteral("0.0000"));

    // The first alarm and three further downloads that still find the price beyond P.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const long double quotes[] = {1642.35L, 1643.1L, 1641.0L, 1644.99L};
    for (const long double quote : quotes) {
        form.RaiseAlarm(kGold, quote);
        form.show();
    }
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const QStringList lines = form.mmAlarmInfo->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    const QStringList prices{"1642.35", "1643.10", "1641.00", "1644.99"};
    static const QRegularExpression shape(QStringLiteral(
        "^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d) 【现货黄金】 (\\d+\\.\\d\\d)$"));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = shape.match(lines[i]);
        QVERIFY2(match.hasMatch(), qPrintable(lines[i]));
        const QDateTime stamp =
            QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QVERIFY2(stamp >= before && stamp <= after, qPrintable(lines[i]));
        QCOMPARE(match.captured(2), prices[i]);
    }
    QCOMPARE(form.lblAlarmPrice->text(), QStringLiteral("1640.00"));

    const QString play = QStringLiteral("play ") + wavPath();
    QCOMPARE(sound_.Requests, QStringList(4, play));
    QCOMPARE(sound_.Playing, wavPath());
}

void TestAlarmForm::soundOnlyWhenChosenAndPresent_data() {
    QTest::addColumn<bool>("alarmSound");
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<bool>("plays");

    QTest::newRow("chosen, file there") << true << true << true;
    QTest::newRow("chosen, file missing") << true << false << false;
    QTest::newRow("not chosen, file there") << false << true << false;
}

void TestAlarmForm::soundOnlyWhenChosenAndPresent() {
    QFETCH(bool, alarmSound);
    QFETCH(bool, fileThere);
    QFETCH(bool, plays);

    if (!fileThere)
        QVERIFY(QFile::remove(wavPath()));
    TAlarmForm form(&sound_, wavPath(), iniPath());
    AlarmSettings settings = kGold;
    settings.AlarmSound = alarmSound;
    form.RaiseAlarm(settings, 1642.35L);
    // The alarm itself is raised either way.
    QCOMPARE(form.mmAlarmInfo->blockCount(), 1);
    QCOMPARE(sound_.IsPlaying(), plays);
}

void TestAlarmForm::closingClearsStopsHidesAndDisarms() {
    QFile ini(iniPath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(
        QStringLiteral("[Param]\r\nUseMonitor=1\r\nMonitorCcy=现货黄金\r\nMonitorPrice=1640\r\n"
                       "AlarmSound=1\r\n")
            .toUtf8());
    ini.close();

    TAlarmForm form(&sound_, wavPath(), iniPath());
    int closedCalls = 0;
    form.OnAlarmClosed = [&] { ++closedCalls; };
    form.RaiseAlarm(kGold, 1642.35L);
    form.RaiseAlarm(kGold, 1643.0L);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(closedCalls, 1);
    QVERIFY(form.mmAlarmInfo->toPlainText().isEmpty());
    QVERIFY(!sound_.IsPlaying());
    QCOMPARE(sound_.Requests.last(), QStringLiteral("stop"));
    QVERIFY(!form.isVisible());

    const TIniFile settings(iniPath());
    QCOMPARE(settings.ReadString("Param", "UseMonitor", "?"), QStringLiteral("0"));
    // The alarm's instrument and price stay for the next time.
    QCOMPARE(settings.ReadString("Param", "MonitorCcy", ""), QStringLiteral("现货黄金"));
    QCOMPARE(settings.ReadFloat("Param", "MonitorPrice", 0), 1640.0);
    QVERIFY(settings.ReadBool("Param", "AlarmSound", false));

    // A new alarm after closing starts a fresh list.
    form.RaiseAlarm(kGold, 1641.0L);
    QCOMPARE(form.mmAlarmInfo->blockCount(), 1);
}

void TestAlarmForm::refusedDisarmIsReportedAndTheAlarmStillCloses() {
    const QString unwritable = dir_->filePath(QStringLiteral("no-such-folder/kestrel.ini"));
    TAlarmForm form(&sound_, wavPath(), unwritable);
    bool disarmed = false;
    form.OnAlarmClosed = [&] { disarmed = true; };
    form.RaiseAlarm(kGold, 1642.35L);
    form.show();

    // The error report is a modal box: read it and dismiss it from inside its event loop.
    QString reported;
    QTimer dismiss;
    connect(&dismiss, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            reported = box->text();
            box->close();
        }
    });
    dismiss.start(20);
    form.Button1Click();

    QCOMPARE(reported, QStringLiteral("Unable to write to ") + unwritable);
    QVERIFY(disarmed);
    QVERIFY(!form.isVisible());
    QVERIFY(!sound_.IsPlaying());
    QVERIFY(form.mmAlarmInfo->toPlainText().isEmpty());

    // The same refusal again is only logged (no box for every closed alarm); after the switch
    // for the program's end (the last use of the report here), so is a new one.
    const auto closeLoggedOnly = [&](const QString& path) {
        reported.clear();
        TAlarmForm again(&sound_, wavPath(), path);
        again.RaiseAlarm(kGold, 1642.35L);
        QTest::ignoreMessage(QtWarningMsg, qUtf8Printable("Unable to write to " + path));
        again.Button1Click();
        QTest::qWait(50);
        QCOMPARE(reported, QString());
    };
    closeLoggedOnly(unwritable);
    ReportToLogFromNow();
    closeLoggedOnly(dir_->filePath(QStringLiteral("gone/kestrel.ini")));
}

void TestAlarmForm::titleBarCloseOnlyHides() {
    TAlarmForm form(&sound_, wavPath(), iniPath());
    bool disarmed = false;
    form.OnAlarmClosed = [&] { disarmed = true; };
    form.RaiseAlarm(kGold, 1642.35L);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
    QVERIFY(!disarmed);
    QCOMPARE(sound_.Playing, wavPath());
    QVERIFY(!sound_.Requests.contains(QStringLiteral("stop")));
    QCOMPARE(form.mmAlarmInfo->blockCount(), 1);

    // The next download beyond P shows it again with both lines.
    form.RaiseAlarm(kGold, 1643.0L);
    form.show();
    QVERIFY(form.isVisible());
    QCOMPARE(form.mmAlarmInfo->blockCount(), 2);
}

void TestAlarmForm::timerBringsTheShownWindowToFront() {
    TAlarmForm form(&sound_, wavPath(), iniPath());
    QVERIFY(form.tmTime->isActive());
    QCOMPARE(form.tmTime->interval(), 1000);

    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));

    // Hidden: the timer leaves it hidden.
    form.tmTimeTimer();
    QVERIFY(!form.isVisible());

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    // In front, but what the user types keeps going to the other window.
    form.tmTimeTimer();
    QTest::qWait(100);
    QVERIFY(form.isVisible());
    QVERIFY(other.isActiveWindow());
}

void TestAlarmForm::layoutFitsTheChineseTexts() {
    TAlarmForm form(&sound_, wavPath(), iniPath());
    form.RaiseAlarm(AlarmSettings{true, QStringLiteral("美元指数"), 82.15L, true}, 82.2L);
    form.RaiseAlarm(kGold, 1642.35L);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QCOMPARE(form.windowTitle(), QStringLiteral("到达警报价格"));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // Every text gets at least the room its font asks for, inside the window, without overlap.
    const QList<QWidget*> topLine{form.Image1, form.Label1, form.lblAlarmPrice, form.Label2};
    for (QWidget* w : topLine + QList<QWidget*>{form.mmAlarmInfo, form.Button1}) {
        QVERIFY2(form.rect().contains(w->geometry()), qPrintable(w->objectName()));
        QVERIFY(w->width() >= w->sizeHint().width());
        QVERIFY(w->height() >= w->sizeHint().height() || w == form.mmAlarmInfo);
    }
    for (qsizetype i = 1; i < topLine.size(); ++i)
        QVERIFY(topLine[i - 1]->geometry().right() < topLine[i]->geometry().left());
    QVERIFY(form.Label1->geometry().bottom() < form.mmAlarmInfo->geometry().top());
    QVERIFY(form.mmAlarmInfo->geometry().bottom() < form.Button1->geometry().top());
    // Both lines fit the width of the list without wrapping.
    QCOMPARE(form.mmAlarmInfo->document()->lineCount(), 2);

    QVERIFY(form.grab().save(QStringLiteral(KESTREL_BINARY_DIR "/alarmform.png")));
}

QTEST_MAIN(TestAlarmForm)
#include "test_alarmform.moc"
