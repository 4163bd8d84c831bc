#include <QTest>

#include "settings/hotkeytext.h"
#include "settings/keycodes.h"

using namespace kestrel;

class TestKeyCodes : public QObject {
    Q_OBJECT
private slots:
    void keyPresses_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");  // "" for a press that gives no shortcut
        const Qt::KeyboardModifiers none;
        QTest::newRow("ctrl alt letter")
            << int(Qt::Key_Q) << (Qt::ControlModifier | Qt::AltModifier) << "Ctrl+Alt+Q";
        QTest::newRow("shifted digit is the digit key")
            << int(Qt::Key_Exclam) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "Shift+1";
        QTest::newRow("shifted symbol")
            << int(Qt::Key_Colon) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "Shift+;";
        QTest::newRow("keypad star")
            << int(Qt::Key_Asterisk) << Qt::KeyboardModifiers(Qt::KeypadModifier) << "Num *";
        QTest::newRow("main star is shift 8")
            << int(Qt::Key_Asterisk) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "Shift+8";
        QTest::newRow("back tab is shift tab") << int(Qt::Key_Backtab) << none << "Shift+Tab";
        QTest::newRow("F24") << int(Qt::Key_F24) << none << "F24";
        QTest::newRow("super cannot be stored")
            << int(Qt::Key_Q) << Qt::KeyboardModifiers(Qt::MetaModifier) << "";
        QTest::newRow("modifier alone")
            << int(Qt::Key_Control) << Qt::KeyboardModifiers(Qt::ControlModifier) << "";
        QTest::newRow("key without a code") << int(Qt::Key_VolumeUp) << none << "";
    }
    void keyPresses() {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        const quint16 shortcut = ShortCutOfKey(key, modifiers);
        QCOMPARE(shortcut == 0 ? QString() : ShortCutToText(shortcut), text);
    }

    // A key the box takes must be stored as text that reads back as the same key, or the hot
    // key registered after a restart is not the one the user pressed. Keypad digits are the
    // exception: their text is the digit, which reads back as the main keyboard's.
    void everyKeyReadsBack() {
        int taken = 0;
        for (int key = Qt::Key_Space; key <= Qt::Key_AsciiTilde; ++key) {
            for (const auto modifiers : {Qt::KeyboardModifiers(Qt::ControlModifier),
                                         Qt::ControlModifier | Qt::KeypadModifier}) {
                const quint16 shortcut = ShortCutOfKey(key, modifiers);
                if (shortcut == 0 ||
                    (modifiers & Qt::KeypadModifier && key >= Qt::Key_0 && key <= Qt::Key_9))
                    continue;
                ++taken;
                QVERIFY2(TextToShortCut(ShortCutToText(shortcut)) == shortcut,
                         qPrintable(ShortCutToText(shortcut)));
            }
        }
        for (int key = Qt::Key_Escape; key <= Qt::Key_F24; ++key) {
            const quint16 shortcut = ShortCutOfKey(key, Qt::AltModifier);
            if (shortcut == 0)
                continue;
            ++taken;
            QVERIFY2(TextToShortCut(ShortCutToText(shortcut)) == shortcut,
                     qPrintable(ShortCutToText(shortcut)));
        }
        QVERIFY(taken > 100);
    }
};

QTEST_GUILESS_MAIN(TestKeyCodes)
#include "test_keycodes.moc"
