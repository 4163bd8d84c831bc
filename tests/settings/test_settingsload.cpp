#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "quotes/catalogue.h"
#include "settings/profile.h"
#include "settings/settingskeys.h"
#include "settings/settingsload.h"
#include "text/encodings.h"

using namespace kestrel;

namespace {

const FontDesc kWindowFont{
    QStringLiteral("微软雅黑"), 9, false, false, false, false, 0, clBlack, kGb2312Charset};

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestSettingsLoad : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(dir_.isValid());
        ini_ = dir_.filePath("kestrel.ini");
        ccy_ = dir_.filePath("kestrel.ccy");
        QFile::remove(ini_);
        QFile::remove(ccy_);
    }
    void freshInstallReport();
    void corrections_data();
    void corrections();
    void proxyModesKeepCurrentServer();
    void language();
    void everyKeyRoundTrips();
    void alarmRules();
    void aliases();
    void selectionFile_data();
    void selectionFile();
    void writeSelectionFile();
    void weekendRule_data();
    void weekendRule();

private:
    QTemporaryDir dir_;
    QString ini_, ccy_;
};

void TestSettingsLoad::freshInstallReport() {
    const Settings s = LoadSettings(ini_, ccy_, kWindowFont, {});
    QCOMPARE(
        FormatSettingsReport(s),
        QStringLiteral(
            "[Param]\nInterval=10\nLineSpacing=1\n3D=0\nColorMode=0\nWaitTimeOut=5\n"
            "DisplayTime=1\nDisplayProgressBar=1\nShowChange=0\nShowArrows=0\nShowSparkline=0\n"
            "Font=微软雅黑,9,B,0,clOlive,134\n"
            "HotKey=F8\nAutoPrompt=1\nPromptInterval=10\nUseMonitor=0\nMonitorCcy=\n"
            "MonitorPrice=0\nAlarmSound=0\nAlarmNotify=1\nAlarmCommand=\nProxyType="
            "0\nProxyAddress=\nProxyPort=\n"
            "RatesURL=\n"
            "UpdateURL=https://kestrel.example.org/kestrelmv/kestrelmv.inf\n"
            "HistoryDays=30\n\n"
            "[Sources]\nOrder=portal,ecb\nPortalURL=https://hq.sinajs.cn/list=\n"
            "EcbURL=https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml\n"
            "BocURL=https://www.boc.cn/sourcedb/whpj/\n\n"
            "[Form]\nAlpha=0\nNotRunWeekEnd=0\nPos_X=-1\nPos_Y=-1\nTop=0\n\n"
            "[Chart]\nPos_X=-1\nPos_Y=-1\nWidth=720\nHeight=420\n\n"
            "[Effective]\nTicksPerInterval=100\nHotKeyModifiers=0\n"
            "HotKeyVirtualKey=119\nWaitTimeoutMs=5000\nProxyAccessType=atPreconfig\n"
            "ProxyServer=\nProxyPortNumber=8080\nSelection=") +
            DefaultSelection().join(u',') + u'\n');
    QVERIFY(!QFile::exists(ini_));
}

void TestSettingsLoad::corrections_data() {
    QTest::addColumn<QString>("param");
    QTest::addColumn<QStringList>("expected");  // report lines that must appear
    QTest::newRow("sources: unknown names dropped, each once")
        << "\r\n[Sources]\r\nOrder= BOC,nonsense,ecb,boc" << QStringList{"Order=boc,ecb"};
    QTest::newRow("sources: nothing known is the default")
        << "\r\n[Sources]\r\nOrder=nonsense" << QStringList{"Order=portal,ecb"};
    QTest::newRow("interval 2 stays")
        << "Interval=2" << QStringList{"Interval=2", "TicksPerInterval=20"};
    QTest::newRow("interval 0 is one second")
        << "Interval=0" << QStringList{"Interval=1", "TicksPerInterval=10"};
    QTest::newRow("negative interval") << "Interval=-30" << QStringList{"TicksPerInterval=10"};
    QTest::newRow("huge interval does not overflow")
        << "Interval=2147483647" << QStringList{"TicksPerInterval=2147483640"};
    QTest::newRow("interval 30") << "Interval=30" << QStringList{"TicksPerInterval=300"};
    QTest::newRow("spacing too small") << "LineSpacing=0.05" << QStringList{"LineSpacing=1"};
    QTest::newRow("spacing too large") << "LineSpacing=3.5" << QStringList{"LineSpacing=1"};
    QTest::newRow("spacing 0.1 kept") << "LineSpacing=0.1" << QStringList{"LineSpacing=0.1"};
    QTest::newRow("spacing 3 kept") << "LineSpacing=3" << QStringList{"LineSpacing=3"};
    QTest::newRow("hot key ctrl alt q")
        << "HotKey=Ctrl+Alt+Q"
        << QStringList{"HotKey=Ctrl+Alt+Q", "HotKeyModifiers=3", "HotKeyVirtualKey=81"};
    QTest::newRow("unknown hot key is F8")
        << "HotKey=Foo" << QStringList{"HotKey=F8", "HotKeyModifiers=0", "HotKeyVirtualKey=119"};
    QTest::newRow("empty hot key is F8") << "HotKey=" << QStringList{"HotKey=F8"};
    QTest::newRow("manual proxy, bad port")
        << "ProxyType=7\nProxyAddress=proxy.lan\nProxyPort=abc"
        << QStringList{"ProxyType=7", "ProxyPort=abc", "ProxyAccessType=atUseProxy",
                       "ProxyServer=proxy.lan", "ProxyPortNumber=8080"};
    QTest::newRow("manual proxy, hex port")
        << "ProxyType=2\nProxyPort=$C38" << QStringList{"ProxyPortNumber=3128"};
    QTest::newRow("direct") << "ProxyType=1" << QStringList{"ProxyAccessType=atDirect"};
    QTest::newRow("wait time out") << "WaitTimeOut=30" << QStringList{"WaitTimeoutMs=30000"};
    QTest::newRow("history off") << "HistoryDays=0" << QStringList{"HistoryDays=0"};
    QTest::newRow("history: unreadable") << "HistoryDays=abc" << QStringList{"HistoryDays=30"};
    QTest::newRow("history: negative") << "HistoryDays=-1" << QStringList{"HistoryDays=30"};
    QTest::newRow("history: over a year") << "HistoryDays=366" << QStringList{"HistoryDays=30"};
    QTest::newRow("font name and size")
        << "Font=宋体,12" << QStringList{"Font=宋体,12,B,0,clOlive,134"};
    QTest::newRow("hand-written booleans")
        << "3D=2\nUseMonitor=$1\nDisplayTime=yes\nAutoPrompt=0"
        << QStringList{"3D=1", "UseMonitor=1", "DisplayTime=1", "AutoPrompt=0"};
    QTest::newRow("alarm values") << "MonitorCcy=现货黄金\nMonitorPrice=1925.5\nAlarmSound=1"
                                  << QStringList{"MonitorCcy=现货黄金", "MonitorPrice=1925.5",
                                                 "AlarmSound=1"};
    QTest::newRow("rates address")
        << "RatesURL=http://quotes.lan/r" << QStringList{"RatesURL=http://quotes.lan/r"};
    QTest::newRow("upgrade address") << "updateurl=http://127.0.0.1:9/u.inf"
                                     << QStringList{"UpdateURL=http://127.0.0.1:9/u.inf"};
}

void TestSettingsLoad::corrections() {
    QFETCH(QString, param);
    QFETCH(QStringList, expected);
    WriteAll(ini_, ToCp936("[Param]\r\n" + param + "\r\n[Form]\r\nTop=1\r\n"));
    const QStringList report =
        FormatSettingsReport(LoadSettings(ini_, ccy_, kWindowFont, {})).split(u'\n');
    for (const QString& line : expected) {
        if (!report.contains(line))
            QFAIL(qPrintable("missing " + line + " in\n" + report.join(u'\n')));
    }
    QVERIFY(report.contains(QStringLiteral("Top=1")));
}

void TestSettingsLoad::proxyModesKeepCurrentServer() {
    WriteAll(ini_, "[Param]\nProxyType=1\nProxyAddress=ignored\nProxyPort=1\n");
    const Settings s = LoadSettings(ini_, ccy_, kWindowFont, {}, "earlier.lan", 3128);
    QCOMPARE(s.AccessType, THTTPAccessType::atDirect);
    QCOMPARE(s.ProxyServer, QStringLiteral("earlier.lan"));
    QCOMPARE(s.ProxyPortNumber, 3128);
}

// Param/Language: the three values in any case; a missing file, a missing key and anything
// else are the desktop's language. The dialog's values read back as themselves.
void TestSettingsLoad::language() {
    QCOMPARE(ReadUiLanguage(ini_), UiLanguage::Auto);
    const QList<std::pair<QString, UiLanguage>> rows{
        {"en", UiLanguage::English}, {" ZH_cn ", UiLanguage::Chinese},
        {"auto", UiLanguage::Auto},  {"fr", UiLanguage::Auto},
        {"", UiLanguage::Auto},      {"english", UiLanguage::Auto},
    };
    for (const auto& [text, expected] : rows) {
        WriteAll(ini_, "[Param]\nLanguage=" + text.toUtf8() + "\n");
        QCOMPARE(ReadUiLanguage(ini_), expected);
        QCOMPARE(LoadSettings(ini_, ccy_, kWindowFont, {}).Language, expected);
    }
    for (const UiLanguage language : {UiLanguage::Auto, UiLanguage::Chinese, UiLanguage::English})
        QCOMPARE(ParseUiLanguage(UiLanguageText(language)), language);
}

// Every key of the table, written with a value other than its default, must come back from
// the loader under its own name: a key the loader reads under another name or section, or
// not at all, fails here.
void TestSettingsLoad::everyKeyRoundTrips() {
    TIniFile ini(ini_);
    TIniEdit edit(ini);
    QStringList expected;
    int index = 0;  // makes the values of keys of one type differ
    for (const SettingKey* key : kSettingKeys) {
        ++index;
        QString text;
        switch (key->Type) {
            case KeyType::Integer: {
                const int value = key->Min < key->Max ? static_cast<int>(key->Max)
                                                      : key->IntegerDefault() + index;
                WriteInteger(edit, *key, value);
                text = QString::number(value);
                break;
            }
            case KeyType::Boolean:
                WriteBoolean(edit, *key, !key->BooleanDefault());
                text = key->BooleanDefault() ? "0" : "1";
                break;
            case KeyType::Float: {
                const double value = key->Min < key->Max ? key->Max : key->Default + index + 0.25;
                WriteFloat(edit, *key, value);
                text = FloatToText(value);
                break;
            }
            case KeyType::Text:
                text = key == &keys::SourceOrder ? "boc,portal" : "值-" + key->NameText();
                WriteText(edit, *key, text);
                break;
            case KeyType::Font: {
                const FontDesc font{"宋体", 12, false,   true,          false,
                                    false,  0,  clWhite, kGb2312Charset};
                WriteFont(edit, *key, font);
                text = FontToText(font);
                break;
            }
            case KeyType::HotKey:
                WriteHotKey(edit, *key, 'Q' | kCtrlMask | kAltMask);
                text = "Ctrl+Alt+Q";
                break;
        }
        expected << key->NameText() + u'=' + text;
    }
    edit.Commit();
    const Settings s = LoadSettings(ini_, ccy_, kWindowFont, {});
    const QStringList report = FormatSettingsReport(s).split(u'\n');
    const QStringList unreported{"ProxyUsername=" + s.ProxyUsername,
                                 "ProxyPassword=" + s.ProxyPassword,
                                 "UpgradeKeys=" + s.UpgradeKeys};
    for (const QString& line : expected) {
        if (!report.contains(line) && !unreported.contains(line))
            QFAIL(qPrintable("missing " + line + " in\n" + report.join(u'\n')));
    }
}

void TestSettingsLoad::selectionFile_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("current");
    QTest::addColumn<QStringList>("expected");
    const QString eur = QStringLiteral("欧元美元");
    const QString gold = QStringLiteral("现货黄金");
    QTest::newRow("near misses dropped") << true << ToCp936(eur + "\r\n" + eur + " \r\nEURUSD\r\n")
                                         << QStringList{gold} << QStringList{eur};
    QTest::newRow("only unknown names")
        << true << QByteArray("abc\r\nxyz\r\n") << QStringList{gold} << DefaultSelection();
    QTest::newRow("empty file") << true << QByteArray() << QStringList{gold} << DefaultSelection();
    QTest::newRow("missing file keeps current")
        << false << QByteArray() << QStringList{gold, eur} << QStringList{gold, eur};
    QTest::newRow("missing file, nothing current")
        << false << QByteArray() << QStringList{} << DefaultSelection();
    QTest::newRow("utf8 with bom, lf and cr, duplicates")
        << true << QByteArray("\xEF\xBB\xBF") + (gold + "\n" + eur + "\r" + gold).toUtf8()
        << QStringList{} << QStringList{gold, eur, gold};
}

void TestSettingsLoad::selectionFile() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, current);
    QFETCH(QStringList, expected);
    if (exists)
        WriteAll(ccy_, bytes);
    QCOMPARE(LoadSettings(ini_, ccy_, kWindowFont, current).Selection, expected);
}

void TestSettingsLoad::writeSelectionFile() {
    const QStringList names{QStringLiteral("NYMEX原油"), QStringLiteral("美元指数")};
    WriteSelectionFile(ccy_, names);
    QCOMPARE(ReadAll(ccy_), ToCp936(names.join("\r\n") + "\r\n"));
    WriteAll(ccy_, QStringLiteral("欧元美元\n").toUtf8());
    WriteSelectionFile(ccy_, names);
    QCOMPARE(ReadAll(ccy_), (names.join("\r\n") + "\r\n").toUtf8());
    QCOMPARE(LoadSettings(ini_, ccy_, kWindowFont, {}).Selection, names);
    WriteAll(dir_.filePath("plain-file"), "x");
    QVERIFY_THROWS_EXCEPTION(WriteError,
                             WriteSelectionFile(dir_.filePath("plain-file/kestrel.ccy"), names));
}

void TestSettingsLoad::weekendRule_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("ruleOn");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<bool>("ends");
    const QDate saturday(2024, 6, 1), sunday(2024, 6, 2), monday(2024, 6, 3);
    QTest::newRow("lower case on saturday") << "/auto" << true << saturday << true;
    QTest::newRow("dash on sunday, padded") << " \t-AUTO\r\n" << true << sunday << true;
    QTest::newRow("monday") << "/AUTO" << true << monday << false;
    QTest::newRow("no argument") << "" << true << saturday << false;
    QTest::newRow("other argument") << "/AUTOSTART" << true << saturday << false;
    QTest::newRow("rule off") << "-AUTO" << false << saturday << false;
}

void TestSettingsLoad::weekendRule() {
    QFETCH(QString, argument);
    QFETCH(bool, ruleOn);
    QFETCH(QDate, today);
    QFETCH(bool, ends);
    QCOMPARE(ShouldEndAutomaticStart(argument, ruleOn, today), ends);
}

// The rules are kept as stored, unreadable ones too, from Alarm1 up to the first gap.
void TestSettingsLoad::alarmRules() {
    WriteAll(ini_,
             "[Alarms]\r\nAlarm1=1;欧元美元;above;1.2;once\r\nAlarm2=nonsense\r\n"
             "Alarm3=\r\nAlarm5=1;现货黄金;below;2000;once\r\n");
    const Settings s = LoadSettings(ini_, ccy_, kWindowFont, {});
    const QList<std::pair<QString, QString>> expected{
        {"Alarm1", "1;欧元美元;above;1.2;once"}, {"Alarm2", "nonsense"}, {"Alarm3", ""}};
    QCOMPARE(s.Alarms, expected);
    QVERIFY(FormatSettingsReport(s).contains(
        "\n[Alarms]\nAlarm1=1;欧元美元;above;1.2;once\nAlarm2=nonsense\nAlarm3=\n\n[Effective]"));
}

void TestSettingsLoad::aliases() {
    // Kept: a padded short name, a key in another letter case, eight characters. Passed over: a
    // blank one, nine characters, a control character, a name outside the catalogue, a repeat.
    WriteAll(ini_, ToCp936(QStringLiteral("[Aliases]\r\n欧元美元 =  欧美 \r\n美元日元=\r\n"
                                          "nymex原油=纽油\r\n现货黄金=一二三四五六七八九\r\n"
                                          "现货白银=银\x01\r\n我的自选=自选\r\n欧元美元=欧\r\n"
                                          "英镑美元=一二三四五六七八\r\n")));
    const Settings s = LoadSettings(ini_, ccy_, kWindowFont, {});
    const QList<std::pair<QString, QString>> expected{
        {"欧元美元", "欧美"}, {"NYMEX原油", "纽油"}, {"英镑美元", "一二三四五六七八"}};
    QCOMPARE(s.Aliases, expected);
    QVERIFY(FormatSettingsReport(s).contains(
        "\n[Aliases]\n欧元美元=欧美\nNYMEX原油=纽油\n英镑美元=一二三四五六七八\n\n[Effective]"));
}

QTEST_GUILESS_MAIN(TestSettingsLoad)
#include "test_settingsload.moc"
