// Every text a window shows passes through a translator: with the pseudo-translation, which
// gives each entry as its Chinese source between ⟦ and ⟧, no Chinese character may be shown
// outside the marks in any window, page, menu, list, tool tip, message box, quote line, tray
// tip or alarm notification.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "alarm/alarmevaluator.h"
#include "platform/desktop/platformservices.h"
#include "platform/fake/fakehotkey.h"
#include "platform/fake/fakesound.h"
#include "platform/fake/faketrayshell.h"
#include "platform/fake/fakewindowservices.h"
#include "platform/programfiles.h"
#include "ui/alarm/alarmform.h"
#include "ui/chart/chartform.h"
#include "ui/mainwindow/aboutform.h"
#include "ui/mainwindow/mainform.h"
#include "ui/mainwindow/session.h"
#include "ui/settings/setupform.h"

using namespace kestrel;

namespace {

// A Chinese character; the brackets and spaces of the quote labels (【】, U+3000) are kept in
// every language.
bool IsChinese(QChar c) {
    const char16_t u = c.unicode();
    return u >= 0x3400 && u <= 0x9FFF;
}

// The text with its marked parts taken out still holds a Chinese character.
bool Unmarked(const QString& text) {
    int depth = 0;
    for (const QChar c : text) {
        if (c == u'⟦')
            ++depth;
        else if (c == u'⟧')
            depth = qMax(0, depth - 1);
        else if (depth == 0 && IsChinese(c))
            return true;
    }
    return false;
}

// Collects the texts of a window that a user reads, unmarked ones as "Window: text".
class Walk {
public:
    QStringList found;

    void Window(const QString& name, QWidget* root) {
        name_ = name;
        Text(root->windowTitle());
        QList<QWidget*> widgets = root->findChildren<QWidget*>();
        widgets.prepend(root);
        for (QWidget* w : std::as_const(widgets)) {
            Text(w->toolTip());
            if (auto* label = qobject_cast<QLabel*>(w))
                Text(label->text());
            if (auto* button = qobject_cast<QAbstractButton*>(w))
                Text(button->text());
            if (auto* edit = qobject_cast<QPlainTextEdit*>(w))
                Text(edit->toPlainText());
            if (auto* group = qobject_cast<QGroupBox*>(w))
                Text(group->title());
            if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
                for (int i = 0; i < tabs->count(); ++i)
                    Text(tabs->tabText(i));
            }
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                for (int i = 0; i < combo->count(); ++i)
                    Text(combo->itemText(i));
            }
            if (auto* list = qobject_cast<QListWidget*>(w)) {
                // A row shows what its delegate makes of its text (the name is data).
                const auto* rows = qobject_cast<QStyledItemDelegate*>(list->itemDelegate());
                for (int i = 0; i < list->count(); ++i)
                    Text(rows ? rows->displayText(list->item(i)->text(), QLocale())
                              : list->item(i)->text());
            }
            if (auto* menu = qobject_cast<QMenu*>(w))
                Text(menu->title());
            for (const QAction* action : w->actions())
                Text(action->text());
        }
    }

    void Named(const QString& name) { name_ = name; }
    void Text(const QString& text) {
        if (Unmarked(text))
            found << name_ + QStringLiteral(": ") + text;
    }

private:
    QString name_;
};

// Walks every message box as it is shown, and closes it: a modal one would hold the test.
class BoxWalk : public QObject {
public:
    explicit BoxWalk(Walk& walk) : walk_(walk) { qApp->installEventFilter(this); }
    int Seen = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            ++Seen;
            walk_.Window(QStringLiteral("message box"), box);
            QMetaObject::invokeMethod(box, &QDialog::reject, Qt::QueuedConnection);
        }
        return false;
    }

private:
    Walk& walk_;
};

void Report(const Walk& walk) {
    if (!walk.found.isEmpty()) {
        QFAIL(
            qPrintable(QStringLiteral("%1 texts are shown untranslated:\n").arg(walk.found.size()) +
                       walk.found.join(u'\n')));
    }
}

}  // namespace

class TestPseudoTranslation : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    ProgramFiles files_;
    QTranslator pseudo_;

private Q_SLOTS:
    void initTestCase() {
        InstallPlatformServices();
        QVERIFY(pseudo_.load(QStringLiteral(KESTREL_PSEUDO_QM)));
        QCoreApplication::installTranslator(&pseudo_);
        files_ = ProgramFilesIn(dir_.path(), QStringLiteral("kestrel"));
    }

    // The marks themselves: a marked text passes, Chinese outside or after them does not.
    void marks() {
        QVERIFY(!Unmarked(QStringLiteral("⟦现货黄金⟧ 1650.25")));
        QVERIFY(!Unmarked(QStringLiteral("EUR/USD")));
        QVERIFY(Unmarked(QStringLiteral("⟦刷新⟧ 秒")));
        QVERIFY(Unmarked(QStringLiteral("设置")));
    }

    void everyWindowIsTranslated() {
        Walk walk;
        FakeWindowServices window;
        FakeHotKeyService hotKey;
        TMainForm main(files_,
                       MainFormServices{&window, &hotKey, std::make_unique<FakeTrayShell>(),
                                        nullptr, nullptr, false},
                       {QStringLiteral("kestrel")});
        walk.Window(QStringLiteral("main window"), &main);
        TSetupForm setup(
            files_, WindowFontDesc(), [](const QString&) { return 0.0L; }, nullptr);
        walk.Window(QStringLiteral("settings"), &setup);
        FakeSoundPlayer sound;
        TAlarmForm alarm(&sound, files_.WavPath, files_.IniPath);
        walk.Window(QStringLiteral("alarm"), &alarm);
        TAboutForm about([](const QString&) {});
        walk.Window(QStringLiteral("about"), &about);
        TChartForm chart(QStringLiteral("现货黄金"), {}, files_.IniPath);
        walk.Window(QStringLiteral("chart"), &chart);
        Report(walk);
    }

    // What the program says rather than shows: its message boxes, the quote lines and the tray
    // tip of a source that cannot be reached, and the notification and alarm window
    // lines of every kind of alarm.
    void everyMessageIsTranslated() {
        Walk walk;
        BoxWalk boxes(walk);
        QFile ini(files_.IniPath);
        QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(
            "[Param]\r\nProxyType=1\r\n[Sources]\r\nOrder=ecb\r\n"
            "EcbURL=http://127.0.0.1:1/\r\n");
        ini.close();
        FakeWindowServices window;
        FakeHotKeyService hotKey;
        auto tray = std::make_unique<FakeTrayShell>();
        FakeTrayShell* shell = tray.get();
        TMainForm main(files_,
                       MainFormServices{&window, &hotKey, std::move(tray), nullptr, nullptr, false},
                       {QStringLiteral("kestrel")});
        main.show();
        main.StartFetch();
        QTRY_VERIFY(main.DisplayLines().join(QString()).contains(QStringLiteral("127.0.0.1:1")));
        walk.Named(QStringLiteral("quote lines and tray tip"));
        walk.Text(main.DisplayLines().join(u'\n'));  // a long message wraps over lines
        QVERIFY(!shell->Current.Tip.isEmpty());
        walk.Text(shell->Current.Tip);
        // Without a tray, closing the window tells how to get it back.
        shell->AcceptAdd = false;
        shell->HostChanged();
        main.close();
        QCOMPARE(boxes.Seen, 1);

        TSetupForm setup(
            files_, WindowFontDesc(), [](const QString&) { return 0.0L; }, nullptr);
        setup.rbManualSetProxy->setChecked(true);
        setup.leProxyAddress->setText(QStringLiteral("http://proxy"));
        setup.accept();
        QCOMPARE(boxes.Seen, 2);

        FakeSoundPlayer sound;
        TAlarmForm alarm(&sound, files_.WavPath, files_.IniPath);
        walk.Named(QStringLiteral("alarm notification"));
        for (const AlarmKind kind : {AlarmKind::Cross, AlarmKind::Above, AlarmKind::Below,
                                     AlarmKind::ChangePct, AlarmKind::MovePct}) {
            AlarmRule rule;
            rule.Name = QStringLiteral("现货黄金");
            rule.Kind = kind;
            rule.Value = 2;
            rule.Minutes = 5;
            const QDateTime now = QDateTime::currentDateTimeUtc();
            const AlarmTick tick{rule.Name, 2000, now, 1990, false};
            const AlarmNotice notice = ComposeAlarmNotice({{rule, tick, now}, {rule, tick, now}});
            walk.Text(notice.Summary);
            walk.Text(notice.Body);
            for (const auto& action : notice.Actions)
                walk.Text(action.second);
            alarm.RaiseRule({rule, tick, now}, false);
        }
        walk.Window(QStringLiteral("alarm window"), &alarm);
        Report(walk);
    }
};

QTEST_MAIN(TestPseudoTranslation)
#include "test_pseudotranslation.moc"
