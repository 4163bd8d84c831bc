#include <QTest>

#include "settings/scrambler.h"
#include "text/encodings.h"

using namespace kestrel;

class TestScrambler : public QObject {
    Q_OBJECT
private slots:
    void scrambler_data();
    void scrambler();
    void scramblerKeyRules();
};

void TestScrambler::scrambler_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("ascii") << QByteArray("proxyuser") << QByteArray(kScrambleKey);
    QTest::newRow("longer than key") << QByteArray("a much longer password!") << QByteArray("ab");
    QTest::newRow("gbk chinese") << ToCp936(QStringLiteral("张三的密码"))
                                 << QByteArray(kScrambleKey);
    QTest::newRow("utf8 chinese") << QStringLiteral("张三").toUtf8() << QByteArray(kScrambleKey);
    QTest::newRow("empty text") << QByteArray() << QByteArray(kScrambleKey);
}

void TestScrambler::scrambler() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    const QByteArray scrambled = ScrambleText(text, key);
    QCOMPARE(scrambled.size(), text.size());
    QCOMPARE(ScrambleText(scrambled, key), text);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto s = static_cast<unsigned char>(scrambled[i]);
        QCOMPARE(s & 0xF0, b & 0xF0);
        QCOMPARE((s ^ b) & 0x0F, static_cast<unsigned char>(key[i % key.size()]) & 0x0F);
    }
}

void TestScrambler::scramblerKeyRules() {
    // 'A' 0x41 with 'k' 0x6B: 0x40 | (1 ^ 0xB) = 'J'; 'k' with itself keeps only its high bits.
    QCOMPARE(ScrambleText("Ak", "kk"), QByteArray("J`"));
    QCOMPARE(ScrambleText("secret text", {}), ScrambleText("secret text", kDefaultScrambleKey));
    QVERIFY(ScrambleText("secret text", {}) != ScrambleText("secret text", kScrambleKey));
}

QTEST_GUILESS_MAIN(TestScrambler)
#include "test_scrambler.moc"
