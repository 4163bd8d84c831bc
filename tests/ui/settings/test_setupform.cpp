// The settings dialog on the offscreen platform against files in a temporary folder: what it
// shows from the files, what OK writes back, and the main window's menu command around it.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <type_traits>

#include <sys/inotify.h>
#include <unistd.h>

#include "platform/desktop/platformservices.h"
#include "platform/fake/fakehotkey.h"
#include "platform/fake/fakesecretstore.h"
#include "platform/fake/fakeshortcuts.h"
#include "platform/fake/faketrayshell.h"
#include "platform/fake/fakewindowservices.h"
#include "platform/programfiles.h"
#include "quotes/catalogue.h"
#include "servers/pageserver.h"
#include "settings/profile.h"
#include "settings/scrambler.h"
#include "settings/settingskeys.h"
#include "settings/settingsload.h"
#include "text/encodings.h"
#include "ui/mainwindow/mainform.h"
#include "ui/mainwindow/session.h"
#include "ui/settings/alarmruleform.h"
#include "ui/settings/setupform.h"
#include "ui/widgets/spinedit.h"

using namespace kestrel;

namespace {

const FontDesc kWindowFont{QStringLiteral("宋体"), 9, false, false, false, false, 0, clBlack, 134};

long double FakeQuote(const QString& name) {
    if (name == QStringLiteral("现货黄金"))
        return 1650.25L;
    return name == QStringLiteral("欧元美元") ? 1.1602L : 0;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList Items(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items += list->item(i)->text();
    return items;
}

// Runs `act` on each modal window of type Form that comes up while `run` runs (the settings
// dialog, or the rule dialog it opens), and closes message boxes after recording their texts.
template <class Form = TSetupForm>
QStringList DriveModals(const std::function<void()>& run,
                        const std::type_identity_t<std::function<void(Form&)>>& act) {
    QStringList messages;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages += box->text();
            box->close();
        } else if (auto* form = qobject_cast<Form*>(modal); form && form->isVisible()) {
            act(*form);
        }
    });
    poll.start(10);
    run();
    return messages;
}

// The names of the files that took another's place in a folder, one per rename, in order: a
// save cut short at any point leaves old or new only when each file is replaced once.
class Renames {
public:
    explicit Renames(const QString& folder) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        // The moves away from the unique temporary names keep two replacements of the same file
        // from being merged into one event.
        ::inotify_add_watch(fd_, QFile::encodeName(folder).constData(),
                            IN_MOVED_FROM | IN_MOVED_TO);
    }
    ~Renames() { ::close(fd_); }
    QStringList Names() const {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) {
            for (const char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->mask & IN_MOVED_TO)
                    names += QFile::decodeName(event->name);
                p += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int fd_;
};

class TestSetupForm : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    ProgramFiles files_;
    FakeSecretStore* secrets_ = nullptr;  // installed; without a store unless a test starts it

    std::unique_ptr<TSetupForm> MakeForm(IShortcutService* shortcuts = nullptr) {
        return std::make_unique<TSetupForm>(files_, kWindowFont, FakeQuote, shortcuts);
    }

private Q_SLOTS:
    void initTestCase() {
        InstallPlatformServices();
        auto secrets = std::make_unique<FakeSecretStore>();
        secrets_ = secrets.get();
        InstallSecretStore(std::move(secrets));
    }

    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        files_ = ProgramFilesIn(dir_->path(), QStringLiteral("kestrel"));
        secrets_->Running = false;
        secrets_->Secrets.clear();
    }

    void everyControlReachesTheFile() {
        WriteAll(files_.CcyPath, ToCp936(QStringLiteral("美元日元\r\n")));
        auto form = MakeForm();
        form->lbAll->setCurrentRow(int(InstrumentCatalogue().indexOf(QStringLiteral("欧元美元"))));
        form->btSelect->click();
        form->lbPriceList->setCurrentRow(1);
        form->sbMoveUp->click();
        form->seInterval->setText(QStringLiteral("30"));
        form->seLineSpacing->UpClick();
        form->rbColorMode1->setChecked(true);
        form->cbDisplayTime->setChecked(false);
        form->cbDisplayProgressBar->setChecked(false);
        form->cbShowChange->setChecked(true);
        form->cbShowArrows->setChecked(true);
        form->cbShowSparkline->setChecked(true);
        form->ChooseFont = [](FontDesc& font) {
            font.Name = QStringLiteral("黑体");
            font.Size = 12;
            font.Italic = true;
            return true;
        };
        form->btMemoFont->click();
        form->ChooseColor = [](quint32& color) {
            color = 0x00FF0000;  // clBlue
            return true;
        };
        form->btMemoColor->click();
        form->cbAutoAlphaBlend->setChecked(true);
        form->cbNotRunWeekEnd->setChecked(true);
        QTest::keyClick(form->hkHotKey, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
        form->cbAllowPrompt->setChecked(false);
        form->sePromptInterval->setText(QStringLiteral("20"));
        form->cbUseMonitor->setChecked(true);
        const int euro = form->cbMonitorCurrency->findText(QStringLiteral("欧元美元"));
        form->cbMonitorCurrency->setCurrentIndex(euro);
        emit form->cbMonitorCurrency->activated(euro);
        form->seMonitorPrice->setText(QStringLiteral("1.2345"));
        form->cbAlarmSound->setChecked(true);
        form->cbAlarmNotify->setChecked(false);
        form->leAlarmCommand->setText(QStringLiteral(" notify-send 警报 "));
        form->rbManualSetProxy->setChecked(true);
        form->leProxyAddress->setText(QStringLiteral("proxy.lan"));
        form->leProxyPort->setText(QStringLiteral("3128"));
        form->leProxyUsername->setText(QStringLiteral("交易员"));
        // A pasted line break cannot stand in the file; the rest of the password is kept.
        form->leProxyPassword->setText(QStringLiteral("pa\tss\nword"));
        form->rbRatesURL->setChecked(true);
        form->leRatesURL->setText(QStringLiteral(" http://office.lan/rates/index.aspx "));
        form->BitBtn1->click();
        QCOMPARE(form->result(), int(QDialog::Accepted));
        const Renames renames(dir_->path());
        form->WriteSettings();
        QCOMPARE(renames.Names(), (QStringList{"kestrel.ccy", "kestrel.ini"}));

        QCOMPARE(ReadAll(files_.CcyPath), ToCp936(QStringLiteral("欧元美元\r\n美元日元\r\n")));
        const QByteArray user = ScrambleText(ToCp936(QStringLiteral("交易员")), kScrambleKey);
        const QByteArray password = ScrambleText("password", kScrambleKey);
        QCOMPARE(ReadAll(files_.IniPath),
                 ToCp936(QStringLiteral("[Param]\r\nInterval=30\r\nLineSpacing=1.1\r\n"
                                        "ColorMode=1\r\nDisplayTime=0\r\nDisplayProgressBar=0\r\n"
                                        "ShowChange=1\r\nShowArrows=1\r\nShowSparkline=1\r\n"
                                        "Font=黑体,12,BI,0,clBlue,134\r\nHotKey=Ctrl+Alt+Q\r\n"
                                        "AutoPrompt=0\r\nPromptInterval=20\r\nUseMonitor=1\r\n"
                                        "MonitorCcy=欧元美元\r\nMonitorPrice=1.2345\r\n"
                                        "AlarmSound=1\r\nAlarmNotify=0\r\n"
                                        "AlarmCommand=notify-send 警报\r\nProxyType=2\r\n"
                                        "ProxyAddress=proxy.lan\r\nProxyPort=3128\r\n"
                                        "RatesURL=http://office.lan/rates/index.aspx\r\n"
                                        "ProxyUsername=")) +
                     user + "\r\nProxyPassword=" + password +
                     "\r\n\r\n[Form]\r\nAlpha=1\r\nNotRunWeekEnd=1\r\n");

        // Opened again, the dialog shows what it wrote.
        auto again = MakeForm();
        QCOMPARE(Items(again->lbPriceList), (QStringList{"欧元美元", "美元日元"}));
        QCOMPARE(again->FontDialog.Name, QStringLiteral("黑体"));
        QCOMPARE(again->FontDialog.Color, quint32(0x00FF0000));
        QCOMPARE(again->hkHotKey->text(), QStringLiteral("Ctrl+Alt+Q"));
        QCOMPARE(again->leProxyUsername->text(), QStringLiteral("交易员"));
        QCOMPARE(again->leProxyPassword->text(), QStringLiteral("password"));
        QVERIFY(!again->sePromptInterval->isEnabled());
        QVERIFY(again->leProxyAddress->isEnabled());
        QVERIFY(again->rbRatesURL->isChecked() && again->leRatesURL->isEnabled());
        QVERIFY(!again->cbAlarmNotify->isChecked());
        QCOMPARE(again->leAlarmCommand->text(), QStringLiteral("notify-send 警报"));
    }

    void opensWithWhatTheFileHolds_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("no file") << ""
                                 << "hkHotKey"
                                 << "F8"
                                 << "HotKey"
                                 << "F8";
        QTest::newRow("interval below the box") << "Interval=2"
                                                << "seInterval"
                                                << "5"
                                                << "Interval"
                                                << "5";
        QTest::newRow("spacing above the box") << "LineSpacing=3.5"
                                               << "seLineSpacing"
                                               << "3.00"
                                               << "LineSpacing"
                                               << "3";
        QTest::newRow("gold price with two decimals")
            << "MonitorCcy=现货黄金\r\nMonitorPrice=1.2345"
            << "seMonitorPrice"
            << "1.23"
            << "MonitorPrice"
            << "1.23";
        QTest::newRow("instrument in other case") << "MonitorCcy=nymex原油"
                                                  << "cbMonitorCurrency"
                                                  << "纽约原油"
                                                  << "MonitorCcy"
                                                  << "NYMEX原油";
        QTest::newRow("unknown instrument") << "MonitorCcy=Foo"
                                            << "cbMonitorCurrency" << InstrumentCatalogue().first()
                                            << "MonitorCcy" << InstrumentCatalogue().first();
        QTest::newRow("proxy type 5") << "ProxyType=5\r\nProxyAddress=proxy.lan"
                                      << "proxy"
                                      << "manual"
                                      << "ProxyType"
                                      << "2";
        QTest::newRow("no rates page: the built-in sources") << "ProxyType=1"
                                                             << "source"
                                                             << "builtin"
                                                             << "RatesURL"
                                                             << "";
        QTest::newRow("rates page") << "RatesURL= http://10.1.2.3/rates/index.aspx "
                                    << "source"
                                    << "http://10.1.2.3/rates/index.aspx"
                                    << "RatesURL"
                                    << "http://10.1.2.3/rates/index.aspx";
        QTest::newRow("colour mode 3") << "ColorMode=3"
                                       << "colours"
                                       << "3"
                                       << "ColorMode"
                                       << "3";
        QTest::newRow("unknown colour mode") << "ColorMode=7"
                                             << "colours"
                                             << "1"
                                             << "ColorMode"
                                             << "1";
    }

    void opensWithWhatTheFileHolds() {
        QFETCH(QString, ini);
        QFETCH(QString, control);
        QFETCH(QString, shown);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        if (!ini.isEmpty())
            WriteAll(files_.IniPath, ToCp936(QStringLiteral("[Param]\r\n") + ini + "\r\n"));
        auto form = MakeForm();
        const QMap<QString, std::function<QString()>> text{
            {"hkHotKey", [&] { return form->hkHotKey->text(); }},
            {"seInterval", [&] { return form->seInterval->text(); }},
            {"seLineSpacing", [&] { return form->seLineSpacing->text(); }},
            {"seMonitorPrice", [&] { return form->seMonitorPrice->text(); }},
            {"cbMonitorCurrency", [&] { return form->cbMonitorCurrency->currentText(); }},
            {"proxy", [&] { return form->rbManualSetProxy->isChecked() ? "manual" : "other"; }},
            {"colours",
             [&] {
                 const QRadioButton* modes[] = {form->rbColorMode0, form->rbColorMode1,
                                                form->rbColorMode2, form->rbColorMode3};
                 QString checked;
                 for (int i = 0; i < 4; ++i)
                     checked += modes[i]->isChecked() ? QString::number(i) : QString();
                 return checked;
             }},
            {"source",
             [&] {
                 return form->rbBuiltinSource->isChecked() ? QStringLiteral("builtin")
                                                           : form->leRatesURL->text();
             }},
        };
        QCOMPARE(text[control](), shown);
        form->BitBtn1->click();
        form->WriteSettings();
        QCOMPARE(TIniFile(files_.IniPath).ReadString("Param", key, "<none>"), stored);
    }

    void displaySwitchesAndAliases() {
        WriteAll(files_.CcyPath, ToCp936(QStringLiteral("欧元美元\r\n美元日元\r\nnymex原油\r\n")));
        WriteAll(files_.IniPath,
                 ToCp936(QStringLiteral(
                     "[Param]\r\nColorMode=2\r\nShowChange=1\r\n\r\n"
                     "[Form]\r\nTop=0\r\n\r\n[Aliases]\r\n欧元美元=欧美\r\n现货黄金=金\r\n"
                     "美元日元=日元\r\n")));
        auto form = MakeForm();
        const auto shown = [&](int row) {
            return static_cast<QStyledItemDelegate*>(form->lbPriceList->itemDelegate())
                ->displayText(form->lbPriceList->item(row)->text(), QLocale());
        };
        QVERIFY(form->rbColorMode2->isChecked());
        QVERIFY(form->cbShowChange->isChecked() && !form->cbShowArrows->isChecked());
        QCOMPARE(shown(0), QStringLiteral("欧元美元（欧美）"));
        QCOMPARE(shown(2), QStringLiteral("纽约原油"));

        form->rbColorMode3->setChecked(true);
        form->cbShowChange->setChecked(false);
        form->cbShowArrows->setChecked(true);
        const auto rename = [&](int row, const QString& shortName) {
            form->lbPriceList->setCurrentRow(row);
            form->AskAlias = [shortName](const QString&, QString& answer) {
                answer = shortName;
                return true;
            };
            return DriveModals([&] { form->btAlias->click(); }, [](TSetupForm&) {});
        };
        QVERIFY(rename(0, QStringLiteral(" 欧元 ")).isEmpty());
        QVERIFY(rename(1, QString()).isEmpty());  // removed
        QVERIFY(rename(2, QStringLiteral("纽油")).isEmpty());
        QCOMPARE(rename(2, QStringLiteral("一二三四五六七八九")),
                 QStringList{QStringLiteral("错误：简称不能超过 8 个字符！")});
        QCOMPARE(shown(0), QStringLiteral("欧元美元（欧元）"));
        QCOMPARE(shown(1), QStringLiteral("美元日元"));
        QCOMPARE(shown(2), QStringLiteral("纽约原油（纽油）"));
        form->BitBtn1->click();
        form->WriteSettings();

        // The selection file keeps its names; 现货黄金, not selected, keeps its short name.
        QCOMPARE(ReadAll(files_.CcyPath),
                 ToCp936(QStringLiteral("欧元美元\r\n美元日元\r\nnymex原油\r\n")));
        const QByteArray ini = ReadAll(files_.IniPath);
        QVERIFY(ini.startsWith("[Param]\r\nColorMode=3\r\nShowChange=0\r\n"));
        QVERIFY(
            ini.contains("\r\nDisplayProgressBar=1\r\nShowArrows=1\r\nShowSparkline=0\r\nFont="));
        QCOMPARE(ini.mid(ini.indexOf("[Aliases]")),
                 ToCp936(QStringLiteral("[Aliases]\r\n欧元美元=欧元\r\n现货黄金=金\r\n"
                                        "NYMEX原油=纽油\r\n")));
    }

    // The lists and boxes show "纽约原油" where the files hold "NYMEX原油".
    void instrumentsShowTheirDisplayNames() {
        WriteAll(files_.IniPath, ToCp936(QStringLiteral("[Param]\r\nMonitorCcy=nymex原油\r\n")));
        auto form = MakeForm();
        const QListWidgetItem* item =
            form->lbAll->item(int(InstrumentCatalogue().indexOf(QStringLiteral("NYMEX原油"))));
        QCOMPARE(item->text(), QStringLiteral("NYMEX原油"));
        QCOMPARE(static_cast<QStyledItemDelegate*>(form->lbAll->itemDelegate())
                     ->displayText(item->text(), QLocale()),
                 QStringLiteral("纽约原油"));
        QCOMPARE(form->cbMonitorCurrency->currentText(), QStringLiteral("纽约原油"));
        form->WriteSettings();
        QCOMPARE(TIniFile(files_.IniPath).ReadString("Param", "MonitorCcy", "<none>"),
                 QStringLiteral("NYMEX原油"));
    }

    // The language is written only when it was changed: a file without the key, or with one the
    // program does not read, is left as it is.
    void languageIsWrittenWhenChanged() {
        WriteAll(files_.IniPath, "[Param]\r\nLanguage=fr\r\n");
        auto form = MakeForm();
        QCOMPARE(form->cbLanguage->currentData().toInt(), int(UiLanguage::Auto));
        form->WriteSettings();
        QCOMPARE(ReadText(TIniFile::Snapshot(files_.IniPath), keys::Language),
                 QStringLiteral("fr"));
        form->cbLanguage->setCurrentIndex(form->cbLanguage->findData(int(UiLanguage::English)));
        form->WriteSettings();
        QCOMPARE(ReadUiLanguage(files_.IniPath), UiLanguage::English);
        QCOMPARE(MakeForm()->cbLanguage->currentData().toInt(), int(UiLanguage::English));
    }

    void firstUseShowsTheDefaultSelection() {
        auto form = MakeForm();
        QCOMPARE(Items(form->lbPriceList), DefaultSelection());
        // Adding one keeps the others.
        const auto extra =
            std::find_if(InstrumentCatalogue().cbegin(), InstrumentCatalogue().cend(),
                         [](const QString& name) { return !DefaultSelection().contains(name); });
        form->lbAll->setCurrentRow(int(extra - InstrumentCatalogue().cbegin()));
        form->btSelect->click();
        form->WriteSettings();
        QCOMPARE(ReadSelectionFile(files_.CcyPath).value_or(QStringList()),
                 DefaultSelection() + QStringList{*extra});
    }

    void selectionListKeepsHandEditedNames() {
        // A UTF-8 file stays UTF-8; a name outside the catalogue stays as it is.
        WriteAll(files_.CcyPath, "nymex原油\n我的自选\n美元日元\n");
        auto form = MakeForm();
        QCOMPARE(Items(form->lbPriceList), (QStringList{"nymex原油", "我的自选", "美元日元"}));

        form->lbAll->setCurrentRow(int(InstrumentCatalogue().indexOf(QStringLiteral("NYMEX原油"))));
        form->btSelect->click();
        QCOMPARE(form->lbPriceList->count(), 3);

        form->lbPriceList->setCurrentRow(0);
        form->sbMoveUp->click();  // the first stays first
        QCOMPARE(form->lbPriceList->currentRow(), 0);
        form->sbMoveDown->click();
        form->sbMoveDown->click();
        form->sbMoveDown->click();  // the last stays last
        QCOMPARE(Items(form->lbPriceList), (QStringList{"我的自选", "美元日元", "nymex原油"}));
        QCOMPARE(form->lbPriceList->currentRow(), 2);

        form->lbPriceList->setCurrentRow(1);
        form->btDelete->click();
        form->WriteSettings();
        QCOMPARE(ReadAll(files_.CcyPath), QByteArray("我的自选\r\nnymex原油\r\n"));
    }

    void alarmInstrumentSetsDecimalsAndPrice() {
        auto form = MakeForm();
        const auto pick = [&](const QString& name) {
            const int i = form->cbMonitorCurrency->findText(name);
            form->cbMonitorCurrency->setCurrentIndex(i);
            emit form->cbMonitorCurrency->activated(i);
        };
        pick(QStringLiteral("欧元美元"));
        QCOMPARE(form->seMonitorPrice->text(), QStringLiteral("1.1602"));
        QCOMPARE(form->seMonitorPrice->Increment(), 0.0001);
        pick(QStringLiteral("现货黄金"));
        QCOMPARE(form->seMonitorPrice->text(), QStringLiteral("1650.25"));
        QCOMPARE(form->seMonitorPrice->Increment(), 0.01);
        pick(QStringLiteral("现货白银"));  // no price in the page yet
        QCOMPARE(form->seMonitorPrice->text(), QStringLiteral("0.00"));
    }

    void alarmRulesRoundTrip() {
        WriteAll(files_.IniPath,
                 ToCp936(QStringLiteral("[Param]\r\nHotKey=F8\r\n\r\n[Form]\r\nTop=0\r\n\r\n"
                                        "[Alarms]\r\nAlarm1 =  1;欧元美元;sideways;1.1;once \r\n"
                                        "Alarm2=1;欧元美元;above;1.1;rearm;demo\r\n"
                                        "Alarm3=1;现货黄金;below;1600;once\r\n"
                                        "Alarm4=garbage\r\nNote=mine\r\n"
                                        "Alarm6=0;美元日元;cross;150;once\r\n")));
        auto form = MakeForm();
        QCOMPARE(Items(form->lbAlarms),
                 (QStringList{"无法读取：1;欧元美元;sideways;1.1;once",
                              "欧元美元 高于 1.1000（重复）（演示行情）",
                              "现货黄金 低于 1600.00（一次）", "无法读取：garbage"}));
        QCOMPARE(form->lblAlarmsUnreadable->text(),
                 QStringLiteral("有 2 行警报规则无法读取，将原样保留，不能编辑。"));
        form->lbAlarms->setCurrentRow(0);
        QVERIFY(!form->btAlarmEdit->isEnabled() && form->btAlarmDelete->isEnabled());

        form->lbAlarms->item(1)->setCheckState(Qt::Unchecked);
        form->lbAlarms->setCurrentRow(2);
        form->btAlarmDelete->click();
        DriveModals<TAlarmRuleForm>([&] { form->btAlarmAdd->click(); },
                                    [](TAlarmRuleForm& rule) {
                                        rule.cbInstrument->setEditText(QStringLiteral("现货白银"));
                                        rule.cbKind->setCurrentIndex(4);  // 短时波动
                                        QVERIFY(rule.leMinutes->isEnabled());
                                        rule.leValue->setText(QStringLiteral("0.5"));
                                        rule.leMinutes->setText(QStringLiteral("30"));
                                        rule.cbRepeat->setCurrentIndex(1);  // 重复
                                        rule.btOk->click();
                                    });
        QCOMPARE(form->lbAlarms->item(3)->text(),
                 QStringLiteral("现货白银 30分钟内波动 ≥ 0.5%（重复）"));
        form->BitBtn1->click();
        form->WriteSettings();

        // The bad line that kept its number keeps its bytes; the one that moved keeps its value.
        const QByteArray ini = ReadAll(files_.IniPath);
        QCOMPARE(ini.mid(ini.indexOf("[Alarms]")),
                 ToCp936(QStringLiteral("[Alarms]\r\nAlarm1 =  1;欧元美元;sideways;1.1;once \r\n"
                                        "Alarm2=0;欧元美元;above;1.1;rearm;demo\r\n"
                                        "Alarm3=garbage\r\n"
                                        "Alarm4=1;现货白银;move_pct;0.5@30;rearm\r\n"
                                        "Note=mine\r\n")));
    }

    void alarmRuleValuesAreChecked_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("message");  // empty: the rule is taken
        QTest::addColumn<QString>("row");
        const QString price = "错误：报警价格须是大于 0 的数字！";
        const QString window = "错误：时间窗口须是 1 到 1440 之间的分钟数！";
        QTest::newRow("name in other case") << "nymex原油" << int(AlarmKind::Cross) << " 75.5 "
                                            << ""
                                            << ""
                                            << "NYMEX原油 穿越 75.50（一次）";
        QTest::newRow("display name") << "纽约原油" << int(AlarmKind::Above) << "75.5"
                                      << ""
                                      << ""
                                      << "NYMEX原油 高于 75.50（一次）";
        QTest::newRow("unknown name") << "美元火星币" << int(AlarmKind::Above) << "1"
                                      << ""
                                      << "错误：请从列表中选择货币或商品，“美元火星币”不在其中！"
                                      << "";
        QTest::newRow("price 0") << "欧元美元" << int(AlarmKind::Below) << "0"
                                 << "" << price << "";
        QTest::newRow("not a number") << "欧元美元" << int(AlarmKind::Above) << "1,1"
                                      << "" << price << "";
        QTest::newRow("percentage 0") << "欧元美元" << int(AlarmKind::ChangePct) << "0.000"
                                      << ""
                                      << "错误：报警幅度须是大于 0 的数字！"
                                      << "";
        QTest::newRow("window of 0 minutes") << "现货黄金" << int(AlarmKind::MovePct) << "1"
                                             << "0" << window << "";
        QTest::newRow("window over a day") << "现货黄金" << int(AlarmKind::MovePct) << "1"
                                           << "1441" << window << "";
        // Cut to the line's 15 digits, it rounds up beyond the largest number.
        QTest::newRow("value the line cannot hold")
            << "欧元美元" << int(AlarmKind::Above) << "1.7976931348623157e308"
            << "" << price << "";
    }

    void alarmRuleValuesAreChecked() {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(QString, value);
        QFETCH(QString, minutes);
        QFETCH(QString, message);
        QFETCH(QString, row);
        auto form = MakeForm();
        // A refused rule leaves the dialog open for a second look, which cancels it.
        int looks = 0;
        const QStringList messages = DriveModals<TAlarmRuleForm>(
            [&] { form->btAlarmAdd->click(); },
            [&](TAlarmRuleForm& rule) {
                if (++looks > 1) {
                    rule.btCancel->click();
                    return;
                }
                rule.cbInstrument->setEditText(name);
                rule.cbKind->setCurrentIndex(rule.cbKind->findData(kind));
                rule.leValue->setText(value);
                rule.leMinutes->setText(minutes);
                // Queued: a refusal's message box needs the poll.
                QMetaObject::invokeMethod(rule.btOk, &QPushButton::click, Qt::QueuedConnection);
            });
        QCOMPARE(messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(looks > 1, !message.isEmpty());
        QCOMPARE(Items(form->lbAlarms), row.isEmpty() ? QStringList() : QStringList{row});
    }

    void hotKeyBox_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("shown");
        QTest::newRow("function key") << int(Qt::Key_F9) << 0 << "F9";
        QTest::newRow("function key with Shift")
            << int(Qt::Key_F24) << int(Qt::ShiftModifier) << "Shift+F24";
        QTest::newRow("Pause alone") << int(Qt::Key_Pause) << 0 << "Pause";
        QTest::newRow("Scroll Lock alone") << int(Qt::Key_ScrollLock) << 0 << "Scroll Lock";
        QTest::newRow("letter with modifiers")
            << int(Qt::Key_Q) << int(Qt::ControlModifier | Qt::AltModifier) << "Ctrl+Alt+Q";
        QTest::newRow("shifted digit is the digit key")
            << int(Qt::Key_Exclam) << int(Qt::ShiftModifier | Qt::ControlModifier)
            << "Shift+Ctrl+1";
        QTest::newRow("keypad operator")
            << int(Qt::Key_Asterisk) << int(Qt::KeypadModifier | Qt::AltModifier) << "Alt+Num *";
        // Keys that type something would be taken from every program.
        QTest::newRow("bare letter refused") << int(Qt::Key_Z) << 0 << "F8";
        QTest::newRow("Shift+letter refused") << int(Qt::Key_Z) << int(Qt::ShiftModifier) << "F8";
        QTest::newRow("bare keypad key refused")
            << int(Qt::Key_5) << int(Qt::KeypadModifier) << "F8";
        QTest::newRow("bare space refused") << int(Qt::Key_Space) << 0 << "F8";
        QTest::newRow("page key with Ctrl")
            << int(Qt::Key_PageDown) << int(Qt::ControlModifier) << "Ctrl+PgDn";
        QTest::newRow("Ctrl+Tab is a key")
            << int(Qt::Key_Tab) << int(Qt::ControlModifier) << "Ctrl+Tab";
        QTest::newRow("Super cannot be stored") << int(Qt::Key_A) << int(Qt::MetaModifier) << "F8";
        QTest::newRow("key without a code") << int(Qt::Key_VolumeUp) << 0 << "F8";
        QTest::newRow("modifier alone") << int(Qt::Key_Control) << int(Qt::ControlModifier) << "F8";
        QTest::newRow("backspace empties") << int(Qt::Key_Backspace) << 0 << "";
    }

    void hotKeyBox() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, shown);
        auto form = MakeForm();
        form->show();
        form->PageControl->setCurrentIndex(1);
        form->hkHotKey->setFocus();
        QTest::keyClick(form->hkHotKey, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(form->hkHotKey->text(), shown);
        QCOMPARE(TextToShortCut(shown), form->hkHotKey->HotKey());
        // A refused key is explained under the box; the next good key clears the line.
        const bool refused = shown == "F8" && key != Qt::Key_Control;
        QCOMPARE(form->lblHotKeyHint->text().isEmpty(), !refused);
        QTest::keyClick(form->hkHotKey, Qt::Key_F7);
        QVERIFY(form->lblHotKeyHint->text().isEmpty());
    }

    void bareHotKeyFromTheFileIsExplained() {
        WriteAll(files_.IniPath, "[Param]\r\nHotKey=Z\r\n");
        auto form = MakeForm();
        QCOMPARE(form->hkHotKey->text(), QStringLiteral("Z"));
        QVERIFY(!form->lblHotKeyHint->text().isEmpty());
    }

    void fontSizeIsClamped_data() {
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("message");
        QTest::newRow("too large") << 200 << 48 << "牌价字体不能大于 48 磅，已改为 48 磅。";
        QTest::newRow("too small") << 2 << 6 << "牌价字体不能小于 6 磅，已改为 6 磅。";
        QTest::newRow("largest allowed") << 48 << 48 << "";
    }

    void fontSizeIsClamped() {
        QFETCH(int, chosen);
        QFETCH(int, kept);
        QFETCH(QString, message);
        auto form = MakeForm();
        form->show();
        form->PageControl->setCurrentIndex(2);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QSize dialog = form->size(), sample = form->pnlFontDemo->size();
        form->ChooseFont = [chosen](FontDesc& font) {
            font.Size = chosen;
            return true;
        };
        const QStringList messages = DriveModals([&] { form->btMemoFont->click(); }, [](auto&) {});
        QCOMPARE(messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(form->FontDialog.Size, kept);
        // The sample elides instead of growing the dialog off the screen.
        QApplication::processEvents();
        QCOMPARE(form->pnlFontDemo->size(), sample);
        QCOMPARE(form->size(), dialog);
    }

    void proxyValuesAreChecked_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("message");
        const QString badAddress =
            "错误：代理服务器地址须是主机名或 IP 地址，不带“http://”、空格或端口！";
        const QString badPort = "错误：代理服务器端口须是 1 到 65535 之间的数字！";
        QTest::newRow("host and port") << "proxy.lan"
                                       << "3128"
                                       << "";
        QTest::newRow("IPv4, highest port") << "10.0.0.1"
                                            << "65535"
                                            << "";
        QTest::newRow("IPv6 in brackets, no port") << "[::1]"
                                                   << ""
                                                   << "";
        QTest::newRow("scheme") << "http://proxy.lan"
                                << "3128" << badAddress;
        QTest::newRow("port in the address") << "proxy.lan:3128"
                                             << "" << badAddress;
        QTest::newRow("blank inside") << "proxy lan"
                                      << "3128" << badAddress;
        QTest::newRow("no address") << ""
                                    << "3128" << badAddress;
        QTest::newRow("bare IPv6") << "::1"
                                   << "3128" << badAddress;
        QTest::newRow("port 0") << "proxy.lan"
                                << "0" << badPort;
        QTest::newRow("port above 65535") << "proxy.lan"
                                          << "65536" << badPort;
    }

    void proxyValuesAreChecked() {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(QString, message);
        auto form = MakeForm();
        form->show();
        form->rbManualSetProxy->setChecked(true);
        form->leProxyAddress->setText(address);
        // Only digits can be typed into the port.
        QTest::keyClicks(form->leProxyPort, "a" + port + "b");
        QCOMPARE(form->leProxyPort->text(), port);
        const QStringList messages = DriveModals([&] { form->BitBtn1->click(); }, [](auto&) {});
        QCOMPARE(messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(form->isVisible(), !message.isEmpty());
        if (!message.isEmpty())
            QCOMPARE(form->PageControl->currentIndex(), 5);
    }

    void proxyRulesSpareAnUnusedProxy() {
        // A hand-written file keeps loading; its values are only checked once the proxy is used.
        WriteAll(files_.IniPath, "[Param]\r\nProxyType=1\r\nProxyPort=abc\r\n");
        auto form = MakeForm();
        form->BitBtn1->click();
        QCOMPARE(form->result(), int(QDialog::Accepted));
        form->WriteSettings();
        QCOMPARE(TIniFile(files_.IniPath).ReadString("Param", "ProxyPort", {}), "abc");
    }

    void passwordGoesToTheSecretStore() {
        secrets_->Running = true;
        // A file of an older version holds the scrambled password.
        WriteAll(files_.IniPath,
                 "[Param]\r\nProxyType=2\r\nProxyAddress=proxy.lan\r\n"
                 "ProxyUsername=" +
                     ScrambleText("trader", kScrambleKey) +
                     "\r\nProxyPassword=" + ScrambleText("s3cret", kScrambleKey) + "\r\n");
        auto form = MakeForm();
        QCOMPARE(form->leProxyPassword->text(), QStringLiteral("s3cret"));
        form->BitBtn1->click();
        form->WriteSettings();
        const QString key = ProxyPasswordKey(files_.IniPath);
        QCOMPARE(secrets_->Secrets.value(key), QStringLiteral("s3cret"));
        QCOMPARE(TIniFile(files_.IniPath).ReadString("Param", "ProxyPassword", "<none>"), "");

        // Read back from the store by the dialog and by the ticker's load.
        auto again = MakeForm();
        QCOMPARE(again->leProxyPassword->text(), QStringLiteral("s3cret"));
        const Settings loaded = LoadSettings(files_.IniPath, files_.CcyPath, kWindowFont, {});
        QCOMPARE(loaded.ProxyUsername, QStringLiteral("trader"));
        QCOMPARE(loaded.ProxyPassword, QStringLiteral("s3cret"));

        // A password cleared in the dialog leaves the store too.
        again->leProxyPassword->clear();
        again->BitBtn1->click();
        again->WriteSettings();
        QVERIFY(!secrets_->Secrets.contains(key));
    }

    // Each feed's row: "name=mirror" and whether it is used, "+" or "-".
    static QStringList SourceRows(const TSetupForm& form) {
        QStringList rows;
        for (int i = 0; i < form.lbSources->count(); ++i) {
            const QListWidgetItem* item = form.lbSources->item(i);
            rows << item->data(Qt::UserRole).toString() + u'=' +
                        item->data(TSetupForm::kMirrorRole).toString() +
                        (item->checkState() == Qt::Checked ? u'+' : u'-');
        }
        return rows;
    }

    // The feeds, their order and their mirrors go to [Sources] and come back; the source line
    // names what is chosen, a mirror by its host. What was not changed is not written.
    void sourcesRoundTrip() {
        WriteAll(files_.IniPath,
                 "[Sources]\r\nOrder=ECB, portal,nonsense\r\n"
                 "EcbURL=http://mirror.lan:8080/ecb.xml\r\n"
                 "BocURL=https://www.boc.cn/sourcedb/whpj/\r\n");
        auto form = MakeForm();
        form->show();
        QCOMPARE(SourceRows(*form),
                 (QStringList{"ecb=http://mirror.lan:8080/ecb.xml+", "portal=+", "boc=-"}));
        QCOMPARE(form->rbBuiltinSource->text(),
                 QStringLiteral("内置行情源（mirror.lan + 新浪财经）"));
        QCOMPARE(form->leSourceMirror->text(), QStringLiteral("http://mirror.lan:8080/ecb.xml"));
        form->BitBtn1->click();
        form->WriteSettings();
        QVERIFY(ReadAll(files_.IniPath).startsWith("[Sources]\r\nOrder=ECB, portal,nonsense\r\n"));

        // The portal first, with a mirror; the bank's board in; the ECB at its own address.
        auto again = MakeForm();
        again->show();
        again->lbSources->setCurrentRow(0);
        again->sbSourceDown->click();
        QCOMPARE(again->lbSources->currentRow(), 1);
        again->lbSources->item(2)->setCheckState(Qt::Checked);
        QTest::keyClick(again->leSourceMirror, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(again->leSourceMirror, Qt::Key_Delete);
        again->lbSources->setCurrentRow(0);
        QTest::keyClicks(again->leSourceMirror, "https://quotes.office.example/list=");
        QCOMPARE(again->rbBuiltinSource->text(),
                 QStringLiteral("内置行情源（quotes.office.example + 欧洲央行 + 中国银行）"));
        again->BitBtn1->click();
        QCOMPARE(again->result(), int(QDialog::Accepted));
        again->WriteSettings();
        const Settings loaded = LoadSettings(files_.IniPath, files_.CcyPath, kWindowFont, {});
        QCOMPARE(loaded.SourceOrder, (QStringList{"portal", "ecb", "boc"}));
        QCOMPARE(loaded.PortalURL, QStringLiteral("https://quotes.office.example/list="));
        QCOMPARE(loaded.EcbURL, keys::EcbURL.TextDefault());
        QCOMPARE(TIniFile(files_.IniPath).ReadString("Sources", "EcbURL", "<none>"), "<none>");
        QCOMPARE(SourceRows(*MakeForm()),
                 (QStringList{"portal=https://quotes.office.example/list=+", "ecb=+", "boc=+"}));
    }

    void badSourcesKeepTheDialogOpen_data() {
        QTest::addColumn<QString>("mirror");  // of the second row, the ECB
        QTest::addColumn<bool>("noneUsed");
        QTest::addColumn<QString>("message");
        const QString bad = "错误：镜像地址须是以 http:// 或 https:// 开头的网址，不可含空格！";
        QTest::newRow("good") << "http://10.0.0.5:8080/ecb.xml" << false << "";
        QTest::newRow("blank inside") << "http://mirror lan/ecb.xml" << false << bad;
        QTest::newRow("tab inside") << "http://mirror.lan/\tecb.xml" << false << bad;
        QTest::newRow("no scheme") << "mirror.lan/ecb.xml" << false << bad;
        QTest::newRow("another scheme") << "ftp://mirror.lan/ecb.xml" << false << bad;
        QTest::newRow("no host") << "http:///ecb.xml" << false << bad;
        QTest::newRow("no feed used") << "" << true << "错误：请至少勾选一个内置行情源！";
    }

    void badSourcesKeepTheDialogOpen() {
        QFETCH(QString, mirror);
        QFETCH(bool, noneUsed);
        QFETCH(QString, message);
        auto form = MakeForm();
        form->show();
        form->lbSources->setCurrentRow(1);
        form->leSourceMirror->setText(mirror);
        Q_EMIT form->leSourceMirror->textEdited(mirror);
        form->lbSources->setCurrentRow(0);
        for (int i = 0; noneUsed && i < form->lbSources->count(); ++i)
            form->lbSources->item(i)->setCheckState(Qt::Unchecked);
        const QStringList messages = DriveModals([&] { form->BitBtn1->click(); }, [](auto&) {});
        QCOMPARE(messages, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(form->isVisible(), !message.isEmpty());
        if (!message.isEmpty()) {
            QCOMPARE(form->PageControl->currentIndex(), 5);
            QCOMPARE(form->lbSources->currentRow(), noneUsed ? 0 : 1);
        }
        // Feeds that are not used are not checked: they stay as they are.
        form->rbRatesURL->setChecked(true);
        form->leRatesURL->setText(QStringLiteral("http://127.0.0.1:8936/rates/index.aspx"));
        QVERIFY(DriveModals([&] { form->BitBtn1->click(); }, [](auto&) {}).isEmpty());
        QVERIFY(!form->isVisible());
        form->WriteSettings();
        if (!message.isEmpty())
            QCOMPARE(TIniFile(files_.IniPath).ReadString("Sources", "EcbURL", "<none>"), "<none>");
    }

    // After OK the running ticker reads the feeds at the mirror chosen.
    void theTickerAsksTheNewMirror() {
        test::PageServer portal;
        test::PageServer mirror;
        WriteAll(files_.IniPath,
                 "[Param]\r\nProxyType=1\r\n[Sources]\r\nOrder=portal\r\n"
                 "PortalURL=" +
                     portal.Url().toUtf8() + "?list=\r\n");
        FakeWindowServices window;
        FakeHotKeyService hotKey;
        TMainForm main(files_, {&window, &hotKey, std::make_unique<FakeTrayShell>(), nullptr},
                       {QStringLiteral("kestrel")});
        DriveModals([&] { main.mnSetupParameterClick(); },
                    [&](TSetupForm& form) {
                        form.lbSources->setCurrentRow(0);
                        form.leSourceMirror->setText(mirror.Url() + QStringLiteral("?list="));
                        Q_EMIT form.leSourceMirror->textEdited(form.leSourceMirror->text());
                        form.BitBtn1->click();
                    });
        QTRY_VERIFY(mirror.Hits() > 0);
        QCOMPARE(portal.Hits(), 0);
    }

    void emptyHotKeyKeepsTheDialogOpen() {
        WriteAll(files_.IniPath, "[Param]\r\nHotKey=Foo\r\nInterval=20\r\n");
        const QByteArray before = ReadAll(files_.IniPath);
        auto form = MakeForm();
        QCOMPARE(form->hkHotKey->text(), QString());
        form->seInterval->setText(QStringLiteral("40"));
        form->show();
        const QStringList messages = DriveModals([&] { form->BitBtn1->click(); }, [](auto&) {});
        QCOMPARE(messages, QStringList{"错误：弹出窗口的热键必须设置，不可以为空！"});
        QVERIFY(form->isVisible());
        QCOMPARE(form->PageControl->currentIndex(), 1);
        QCOMPARE(form->focusWidget(), form->hkHotKey);
        form->BitBtn2->click();
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QCOMPARE(ReadAll(files_.IniPath), before);
    }

    void shortcutButtonActsAtOnce() {
        FakeShortcutService shortcuts;
        shortcuts.Folders = {{TShortcutFolder::Startup, "/auto/"},
                             {TShortcutFolder::QuickLaunch, "/apps/"}};
        auto form = MakeForm(&shortcuts);
        form->btnCreatShortCut->click();
        QCOMPARE(shortcuts.Created.size(), 1);
        QCOMPARE(shortcuts.Created[0].LinkPath, QStringLiteral("/apps/Kestrel.desktop"));
        QCOMPARE(form->lblShortcutResult->text(),
                 QStringLiteral("应用程序菜单：已创建；桌面快捷方式：未创建（没有桌面文件夹）"));
        form->btnCreatShortCut->click();
        QCOMPARE(form->lblShortcutResult->text(),
                 QStringLiteral(
                     "应用程序菜单：未创建（已经存在）；桌面快捷方式：未创建（没有桌面文件夹）"));
        // The login switch waits for OK: Cancel leaves it as it was.
        QVERIFY(!form->cbShctStartup->isChecked());
        form->cbShctStartup->setChecked(true);
        form->BitBtn2->click();
        QVERIFY(!QFile::exists(files_.IniPath));
        QVERIFY(!shortcuts.Files.contains("/auto/Kestrel.desktop"));
    }

    void loginSwitch() {
        FakeShortcutService shortcuts;
        shortcuts.Folders = {{TShortcutFolder::Startup, "/auto/"},
                             {TShortcutFolder::QuickLaunch, "/apps/"}};
        shortcuts.Installed = "/usr/bin/kestrel";
        auto form = MakeForm(&shortcuts);
        QVERIFY(!form->cbShctStartup->isChecked());
        form->cbShctQuickLaunch->setChecked(true);
        form->btnCreatShortCut->click();
        QCOMPARE(form->lblShortcutResult->text(),
                 QStringLiteral("应用程序菜单：未创建（安装包已提供菜单项）；"
                                "桌面快捷方式：未创建（没有桌面文件夹）"));
        form->cbShctStartup->setChecked(true);
        form->BitBtn1->click();
        form->WriteSettings();
        QCOMPARE(shortcuts.Created.size(), 1);
        QCOMPARE(shortcuts.Created[0].LinkPath, QStringLiteral("/auto/Kestrel.desktop"));
        QCOMPARE(shortcuts.Created[0].TargetPath, QStringLiteral("/usr/bin/kestrel"));
        QCOMPARE(shortcuts.Created[0].Arguments, QStringLiteral("-AUTO"));

        auto again = MakeForm(&shortcuts);
        QVERIFY(again->cbShctStartup->isChecked());
        again->cbShctStartup->setChecked(false);
        again->BitBtn1->click();
        again->WriteSettings();
        QVERIFY(!shortcuts.Files.contains("/auto/Kestrel.desktop"));

        // A refused entry is a refused write, reported like one; with none wanted, none failed.
        shortcuts.Refused = {"/auto/Kestrel.desktop"};
        auto refused = MakeForm(&shortcuts);
        refused->BitBtn1->click();
        refused->WriteSettings();
        refused->cbShctStartup->setChecked(true);
        QVERIFY_THROWS_EXCEPTION(WriteError, refused->WriteSettings());
    }

    // The menu command around the dialog: OK applies at once, Cancel and refused writes do not.
    void menuCommand_data() {
        QTest::addColumn<QString>("blocked");  // the file whose path is taken by a folder
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message");
        QTest::newRow("OK") << "" << true << "";
        QTest::newRow("Cancel") << "" << false << "";
        QTest::newRow("selection refused")
            << "ccy" << true << "Cannot create file \"%ccy\". Filename refers to a directory";
        QTest::newRow("settings refused") << "ini" << true << "Unable to write to %ini";
    }

    void menuCommand() {
        QFETCH(QString, blocked);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        test::PageServer server;
        WriteAll(files_.IniPath, "[Param]\r\nRatesURL=" + server.Url().toUtf8() + "\r\n");
        FakeWindowServices window;
        FakeHotKeyService hotKey;
        TMainForm main(files_, {&window, &hotKey, std::make_unique<FakeTrayShell>(), nullptr},
                       {QStringLiteral("kestrel")});
        QCOMPARE(hotKey.VirtualKey(), quint16(VK_F8));
        // The folder stands where the file would go; root may write into read-only folders, so
        // this is the refusal that also holds in a root container.
        const QString path = blocked == "ccy" ? files_.CcyPath : files_.IniPath;
        QByteArray iniBefore = ReadAll(files_.IniPath);
        if (!blocked.isEmpty()) {
            if (blocked == "ini")
                QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
            iniBefore = ReadAll(files_.IniPath);
        }
        QVERIFY(!main.DisplayLines().isEmpty());
        const QStringList messages =
            DriveModals([&] { main.mnSetupParameterClick(); },
                        [&](TSetupForm& form) {
                            form.seInterval->setText("30");
                            QTest::keyClick(form.hkHotKey, Qt::Key_F9, Qt::ControlModifier);
                            (ok ? form.BitBtn1 : form.BitBtn2)->click();
                        });
        QString expected = message;
        expected.replace("%ccy", files_.CcyPath).replace("%ini", files_.IniPath);
        QCOMPARE(messages, expected.isEmpty() ? QStringList() : QStringList{expected});

        const bool applied = ok && blocked.isEmpty();
        QCOMPARE(main.IntervalSeconds(), applied ? 30 : 10);
        QCOMPARE(main.DisplayLines().isEmpty(), applied);
        // OK starts a download at once (the countdown would have waited ten seconds).
        QTest::qWait(applied ? 0 : 300);
        QTRY_COMPARE(server.Hits(), applied ? 1 : 0);
        // The new hot key is registered in place of the old one.
        QVERIFY(hotKey.IsRegistered());
        QCOMPARE(hotKey.VirtualKey(), quint16(applied ? 0x78 : VK_F8));
        QCOMPARE(hotKey.Modifiers(), quint16(applied ? MOD_CONTROL : 0));
        if (blocked == "ccy" || !ok)
            QCOMPARE(ReadAll(files_.IniPath), iniBefore);
        // The window saves its position when it goes.
        if (!blocked.isEmpty())
            QDir(path).removeRecursively();
    }

    // The key in use can be typed into the box: the grab is let go while the box has the focus,
    // taken again when it loses it, and OK with the box still focused leaves the new key held.
    void theHotKeyBoxTakesTheKeyInUse() {
        test::PageServer server;
        WriteAll(files_.IniPath, "[Param]\r\nRatesURL=" + server.Url().toUtf8() + "\r\n");
        FakeWindowServices window;
        FakeHotKeyService hotKey;
        TMainForm main(files_, {&window, &hotKey, std::make_unique<FakeTrayShell>(), nullptr},
                       {QStringLiteral("kestrel")});
        QList<bool> held;  // after the box gets the focus, loses it, gets it again
        DriveModals([&] { main.mnSetupParameterClick(); },
                    [&](TSetupForm& form) {
                        if (!held.isEmpty())
                            return;
                        form.activateWindow();
                        QVERIFY(QTest::qWaitForWindowActive(&form));
                        for (QWidget* focus :
                             QList<QWidget*>{form.hkHotKey, form.seInterval, form.hkHotKey}) {
                            focus->setFocus();
                            held << hotKey.IsRegistered();
                        }
                        QTest::keyClick(form.hkHotKey, Qt::Key_F9, Qt::ControlModifier);
                        form.BitBtn1->click();
                    });
        QCOMPARE(held, (QList<bool>{false, true, false}));
        QVERIFY(hotKey.IsRegistered());
        QCOMPARE(hotKey.VirtualKey(), quint16(0x78));
        QCOMPARE(hotKey.Modifiers(), quint16(MOD_CONTROL));
    }
};

}  // namespace

QTEST_MAIN(TestSetupForm)
#include "test_setupform.moc"
