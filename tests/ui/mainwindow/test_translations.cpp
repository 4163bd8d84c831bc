// Which language the windows speak: the setting, else the desktop's locale as Qt reads it from
// the environment, and the translators installed for it.
#include <QApplication>
#include <QProcess>
#include <QTest>
#include <cstdio>

#include "ui/mainwindow/session.h"

using namespace kestrel;

namespace {

// The child this test runs under a given environment: prints the language the locale picks.
constexpr char kDesktopLanguage[] = "--desktop-language";

}  // namespace

class TestTranslations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data() {
        QTest::addColumn<UiLanguage>("setting");
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<bool>("english");
        const QStringList en{"en-US", "en"};
        QTest::newRow("auto, English") << UiLanguage::Auto << en << true;
        QTest::newRow("auto, British underscore")
            << UiLanguage::Auto << QStringList{"en_GB"} << true;
        QTest::newRow("auto, Chinese")
            << UiLanguage::Auto << QStringList{"zh-Hans-CN", "zh"} << false;
        QTest::newRow("auto, C") << UiLanguage::Auto << QStringList{"C"} << false;
        QTest::newRow("auto, none") << UiLanguage::Auto << QStringList{} << false;
        QTest::newRow("auto, German only")
            << UiLanguage::Auto << QStringList{"de-DE", "de"} << false;
        QTest::newRow("auto, German then English")
            << UiLanguage::Auto << QStringList{"de-DE", "en-GB"} << true;
        QTest::newRow("auto, Chinese before English")
            << UiLanguage::Auto << QStringList{"zh-TW", "en-US"} << false;
        QTest::newRow("auto, Esperanto is not English")
            << UiLanguage::Auto << QStringList{"eo", "enm"} << false;
        QTest::newRow("Chinese over an English desktop") << UiLanguage::Chinese << en << false;
        QTest::newRow("English over a C locale") << UiLanguage::English << QStringList{"C"} << true;
    }
    void choice() {
        QFETCH(UiLanguage, setting);
        QFETCH(QStringList, languages);
        QFETCH(bool, english);
        QCOMPARE(ShowsEnglish(setting, languages), english);
    }

    // The locale as Qt reads it from LANGUAGE, LC_ALL, LC_MESSAGES and LANG.
    void desktopLanguage_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QByteArray>("language");
        QTest::newRow("unset") << QStringList{} << QByteArray("zh");
        QTest::newRow("C") << QStringList{"LANG=C"} << QByteArray("zh");
        QTest::newRow("C.UTF-8") << QStringList{"LC_ALL=C.UTF-8"} << QByteArray("zh");
        QTest::newRow("Chinese") << QStringList{"LANG=zh_CN.UTF-8"} << QByteArray("zh");
        QTest::newRow("English") << QStringList{"LANG=en_US.UTF-8"} << QByteArray("en");
        QTest::newRow("English messages")
            << QStringList{"LANG=zh_CN.UTF-8", "LC_MESSAGES=en_GB.UTF-8"} << QByteArray("en");
        QTest::newRow("LANGUAGE list")
            << QStringList{"LANG=zh_CN.UTF-8", "LANGUAGE=de:en"} << QByteArray("en");
        QTest::newRow("no translation") << QStringList{"LANG=fr_FR.UTF-8"} << QByteArray("zh");
    }
    void desktopLanguage() {
        QFETCH(QStringList, environment);
        QFETCH(QByteArray, language);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            env.remove(QString::fromLatin1(name));
        for (const QString& pair : environment)
            env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kDesktopLanguage)});
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.readAllStandardOutput().trimmed(), language);
    }

    // Chinese installs no translator of the program's texts; English shows the English file's.
    void installs() {
        QVERIFY(!InstallTranslations(UiLanguage::Auto));  // the tests run in a C locale
        QCOMPARE(QCoreApplication::translate("MarketHours", "休市"), QStringLiteral("休市"));
        QVERIFY(InstallTranslations(UiLanguage::English));
        QCOMPARE(QCoreApplication::translate("MarketHours", "休市"), QStringLiteral("Closed"));
    }
};

int main(int argc, char* argv[]) {
    if (argc == 2 && qstrcmp(argv[1], kDesktopLanguage) == 0) {
        QCoreApplication app(argc, argv);
        std::puts(ShowsEnglish(UiLanguage::Auto, QLocale::system().uiLanguages()) ? "en" : "zh");
        return 0;
    }
    QApplication app(argc, argv);
    TestTranslations test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_translations.moc"
