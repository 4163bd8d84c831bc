#include <QRegularExpression>
#include <QTest>

#include "upgrade/upgradetext.h"

using namespace kestrel;

class TestUpgradeText : public QObject {
    Q_OBJECT

    static QStringList Placeholders(const QString& text) {
        static const QRegularExpression placeholder(QStringLiteral("%[-0-9.]*[a-zA-Z%]"));
        QStringList found;
        for (const QRegularExpressionMatch& m : placeholder.globalMatch(text))
            found.append(m.captured());
        return found;
    }

private slots:
    void cleanup() { SetUpdaterLanguage(wlChineseSimplified); }

    // Every language has all its texts, and a format text of any language takes the same
    // arguments in the same order as the English one (a mismatch would show garbage or crash
    // the formatting of a translated dialog).
    void everyLanguageMatchesEnglish_data() {
        QTest::addColumn<int>("language");
        for (int language = wlEnglish; language <= wlIcelandic; ++language)
            QTest::addRow("%d", language) << language;
    }
    void everyLanguageMatchesEnglish() {
        QFETCH(int, language);
        SetUpdaterLanguage(wlEnglish);
        QStringList english;
        for (int i = 0; i < kUpgradeTextCount; ++i)
            english.append(UpgradeText(i));
        SetUpdaterLanguage(TUpdaterLanguage(language));
        QCOMPARE(LanguageBase(), 41000 + 50 * (language - 1));
        for (int i = 0; i < kUpgradeTextCount; ++i) {
            const QString text = UpgradeText(i);
            QVERIFY2(!text.isEmpty(), qPrintable(QString::number(i)));
            QCOMPARE(Placeholders(text), Placeholders(english.at(i)));
            QCOMPARE(UpgradeString(LanguageBase() + i), text);
        }
        QVERIFY(UpgradeString(LanguageBase() + kUpgradeTextCount).isEmpty());
    }

    void textsAndFixedStrings() {
        SetUpdaterLanguage(wlChineseSimplified);
        QCOMPARE(FormatUpgradeText(23, {QStringLiteral("Kestrel"), QStringLiteral("\n改进\n")}),
                 QStringLiteral("Kestrel已经有新版本推出，\n\n改进\n\n您要升级到新版本吗？"));
        QCOMPARE(FormatUpgradeText(29, {QStringLiteral("a.zip")}),
                 QStringLiteral("远端的文档\"a.zip\"被密码保护，\n\n"
                                "请输入您的帐号及密码[注册用户]来继续进行升级操作。"));
        SetUpdaterLanguage(wlEnglish);
        QCOMPARE(FormatUpgradeText(10, {QStringLiteral("Kestrel")}),
                 QStringLiteral("The update of Kestrel has been successfully completed.\r\r"
                                "Press the OK button to restart program."));
        QCOMPARE(UpgradeString(kStringAppTitle), QStringLiteral("<AppTitle>"));
        QCOMPARE(UpgradeString(kStringUpdaterName), QStringLiteral("Kestrel Updater"));
        QVERIFY(!UpgradeString(kStringDefaultTitleMark).isEmpty());
    }

    void formatText_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("expected");
        QTest::newRow("time left") << "%d:%.2d:%.2d" << QVariantList{1, 2, 5} << "1:02:05";
        QTest::newRow("size") << "%.1f Kb" << QVariantList{1536 / 1024.0} << "1.5 Kb";
        QTest::newRow("integer as size") << "%.1f" << QVariantList{3} << "3.0";
        QTest::newRow("negative padded") << "%.2d" << QVariantList{-5} << "-05";
        QTest::newRow("percent sign") << "100%% %s" << QVariantList{"x"} << "100% x";
        QTest::newRow("argument not re-read")
            << "%s of %d" << QVariantList{"50%d %s", 7} << "50%d %s of 7";
        QTest::newRow("missing arguments") << "[%s|%d|%.1f]" << QVariantList{} << "[|0|0.0]";
        QTest::newRow("unknown kept") << "%q %d" << QVariantList{4} << "%q 4";
        QTest::newRow("trailing percent") << "50%" << QVariantList{} << "50%";
        QTest::newRow("width") << "[%3d|%-3s]" << QVariantList{7, "a"} << "[  7|a  ]";
    }
    void formatText() {
        QFETCH(QString, format);
        QFETCH(QVariantList, args);
        QFETCH(QString, expected);
        QCOMPARE(FormatText(format, args), expected);
    }

    void resolveLanguage_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("expected");
        QTest::newRow("zh_CN") << "zh_CN" << int(wlChineseSimplified);
        QTest::newRow("zh_SG") << "zh_SG" << int(wlChineseSimplified);
        QTest::newRow("zh_TW") << "zh_TW" << int(wlChineseTraditional);
        QTest::newRow("zh_HK") << "zh_HK" << int(wlChineseTraditional);
        QTest::newRow("pt_BR") << "pt_BR" << int(wlPortugueseBrazilian);
        QTest::newRow("pt_PT") << "pt_PT" << int(wlPortuguese);
        QTest::newRow("de_AT") << "de_AT" << int(wlGerman);
        QTest::newRow("ms_MY") << "ms_MY" << int(wlMalay);
        QTest::newRow("ja_JP") << "ja_JP" << int(wlEnglish);
        QTest::newRow("nb_NO") << "nb_NO" << int(wlEnglish);
        QTest::newRow("C") << "C" << int(wlEnglish);
    }
    void resolveLanguage() {
        QFETCH(QString, locale);
        QFETCH(int, expected);
        QCOMPARE(int(ResolveLanguage(QLocale(locale))), expected);
    }

    // wlAuto follows the system's language; it is never a block of its own.
    void autoUsesSystemLanguage() {
        SetUpdaterLanguage(wlAuto);
        QCOMPARE(LanguageBase(), 41000 + 50 * (ResolveLanguage(QLocale::system()) - 1));
        // A language chosen for the whole program wins over the system's, both ways.
        for (const TUpdaterLanguage chosen : {wlEnglish, wlChineseSimplified}) {
            SetProgramLanguage(chosen);
            SetUpdaterLanguage(wlAuto);
            QCOMPARE(LanguageBase(), 41000 + 50 * (chosen - 1));
        }
        SetProgramLanguage(wlAuto);
    }
};

QTEST_GUILESS_MAIN(TestUpgradeText)
#include "test_upgradetext.moc"
