#include <QTest>

#include "settings/fonttext.h"

using namespace kestrel;

class TestFontText : public QObject {
    Q_OBJECT
private slots:
    void textToFont_data();
    void textToFont();
    void fontToText();
};

void TestFontText::textToFont_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString base = QStringLiteral("微软雅黑,9,B,0,clOlive,134");
    QTest::newRow("unchanged") << base << base;
    QTest::newRow("name and size only") << "宋体,12"
                                        << "宋体,12,B,0,clOlive,134";
    QTest::newRow("style letters anywhere") << "宋体,12,bu"
                                            << "宋体,12,BU,0,clOlive,134";
    QTest::newRow("empty style is plain") << "宋体,12,,1"
                                          << "宋体,12,,1,clOlive,134";
    QTest::newRow("all styles, semicolons") << " Arial ; 10 ; sIuB ; 2 ; clRed ; 0 "
                                            << "Arial,10,BIUS,2,clRed,0";
    QTest::newRow("colour number") << "A,9,B,0,$00123456,1"
                                   << "A,9,B,0,$00123456,1";
    QTest::newRow("colour decimal") << "A,9,B,0,255,1"
                                    << "A,9,B,0,clRed,1";
    QTest::newRow("system colour any case") << "A,9,B,0,CLBTNFACE,1"
                                            << "A,9,B,0,clBtnFace,1";
    QTest::newRow("bad colour keeps colour") << "A,9,B,0,reddish,1"
                                             << "A,9,B,0,clOlive,1";
    QTest::newRow("bad numbers keep values") << "A,big,B,x,clRed,y"
                                             << "A,9,B,0,clRed,134";
    QTest::newRow("empty name keeps name") << ",11"
                                           << "微软雅黑,11,B,0,clOlive,134";
}

void TestFontText::textToFont() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    FontDesc font{QStringLiteral("微软雅黑"), 9, false, false, false, false, 0, clBlack, 134};
    font = DefaultQuoteFont(font);
    TextToFont(text, font);
    QCOMPARE(FontToText(font), expected);
}

void TestFontText::fontToText() {
    FontDesc font{QStringLiteral("宋体"), 9, false, true, false, true, 2, 0xFF000005, 134};
    QCOMPARE(FontToText(font), QStringLiteral("宋体,9,IS,2,clWindow,134"));
    font.Color = 0x00ABCDEF;
    QCOMPARE(FontToText(font), QStringLiteral("宋体,9,IS,2,$00ABCDEF,134"));
    QCOMPARE(RgbOf(clOlive), 0x808000u);
    QCOMPARE(RgbOf(0x00FF8040), 0x4080FFu);
    quint32 color = clWhite;
    QVERIFY(!TextToColor(QStringLiteral("clNoSuch"), color));
    QCOMPARE(color, clWhite);
}

QTEST_GUILESS_MAIN(TestFontText)
#include "test_fonttext.moc"
