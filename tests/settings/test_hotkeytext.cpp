#include <QTest>

#include "settings/hotkeytext.h"

using namespace kestrel;

class TestHotKeyText : public QObject {
    Q_OBJECT
private slots:
    void hotKeyText_data();
    void hotKeyText();
};

void TestHotKeyText::hotKeyText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("shortcut");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("F8") << "F8" << 119 << "F8" << 0;
    QTest::newRow("ctrl alt q") << "Ctrl+Alt+Q" << 0xC051 << "Ctrl+Alt+Q" << 3;
    QTest::newRow("any order and case") << "alt+ctrl+q" << 0xC051 << "Ctrl+Alt+Q" << 3;
    QTest::newRow("caret is ctrl") << "^A" << 0x4041 << "Ctrl+A" << 2;
    QTest::newRow("all modifiers") << "Alt+Shift+Ctrl+Del" << 0xE02E << "Shift+Ctrl+Alt+Del" << 7;
    QTest::newRow("shift page down") << "Shift+pgdn" << 0x2022 << "Shift+PgDn" << 4;
    QTest::newRow("F24") << "F24" << 0x87 << "F24" << 0;
    QTest::newRow("keypad star") << "Num *" << 0x6A << "Num *" << 0;
    QTest::newRow("punctuation") << "Ctrl+;" << 0x40BA << "Ctrl+;" << 2;
    QTest::newRow("digit is the main key") << "5" << 0x35 << "5" << 0;
    QTest::newRow("unknown name") << "Foo" << 0 << "" << 0;
    QTest::newRow("empty") << "" << 0 << "" << 0;
    QTest::newRow("modifiers only") << "Ctrl+" << 0 << "" << 0;
    QTest::newRow("blank is not a key") << " F8" << 0 << "" << 0;
}

void TestHotKeyText::hotKeyText() {
    QFETCH(QString, text);
    QFETCH(int, shortcut);
    QFETCH(QString, written);
    QFETCH(int, modifiers);
    QCOMPARE(TextToShortCut(text), shortcut);
    QCOMPARE(ShortCutToText(static_cast<quint16>(shortcut)), written);
    const HotKeyRegistration reg = HotKeyValues(static_cast<quint16>(shortcut));
    QCOMPARE(reg.Modifiers, modifiers);
    QCOMPARE(reg.VirtualKey, shortcut & 0xFF);
}

QTEST_GUILESS_MAIN(TestHotKeyText)
#include "test_hotkeytext.moc"
