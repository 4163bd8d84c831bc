#include <QTest>

#include "ui/widgets/spinvalue.h"

using namespace kestrel;

Q_DECLARE_METATYPE(kestrel::TValueType)

class TestSpinValue : public QObject {
    Q_OBJECT
private slots:
    void rules_data();
    void rules();
    void typing_data();
    void typing();
    void wholeStep();
};

namespace {
constexpr TValueType vtInteger = TValueType::vtInteger;
constexpr TValueType vtFloat = TValueType::vtFloat;
constexpr TValueType vtHex = TValueType::vtHex;
}  // namespace

// op: "write" a number, "read" a text, step "up"/"down" from a text, "leave" the box with a
// text. The answer is the text shown, or for "read" the number.
void TestSpinValue::rules_data() {
    QTest::addColumn<TValueType>("type");
    QTest::addColumn<int>("decimal");
    QTest::addColumn<double>("minValue");
    QTest::addColumn<double>("maxValue");
    QTest::addColumn<double>("increment");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("answer");
    auto row = [](const char* name, TValueType type, int decimal, double min, double max,
                  double inc, const char* op, const char* input, const char* answer) {
        QTest::newRow(name) << type << decimal << min << max << inc << op << input << answer;
    };
    row("write below bound", vtInteger, 2, 5, 600, 1, "write", "2", "5");
    row("leave above bound", vtInteger, 2, 5, 600, 1, "leave", "700", "600");
    row("leave in bounds keeps text", vtInteger, 2, 5, 600, 1, "leave", "+020", "+020");
    row("junk reads as min", vtInteger, 2, 5, 600, 1, "read", "abc", "5");
    row("read does not clamp", vtInteger, 2, 5, 600, 1, "read", "700", "700");
    row("equal bounds are off", vtInteger, 2, 0, 0, 1, "write", "-7", "-7");
    row("tie to even down", vtInteger, 2, 0, 0, 1, "write", "2.5", "2");
    row("tie to even up", vtInteger, 2, 0, 0, 1, "write", "3.5", "4");
    row("no negative zero", vtInteger, 2, 0, 0, 1, "write", "-0.4", "0");
    row("float decimals", vtFloat, 2, 0.5, 3, 0.1, "write", "1", "1.00");
    row("float step up", vtFloat, 2, 0.5, 3, 0.1, "up", "1.00", "1.10");
    row("float step at max", vtFloat, 2, 0.5, 3, 0.1, "up", "3.00", "3.00");
    row("step from junk starts at min", vtFloat, 2, 0.5, 3, 0.1, "up", "abc", "0.60");
    row("float rounds to decimals", vtFloat, 4, 0, 0, 1, "write", "1.23456", "1.2346");
    row("float tie as typed", vtFloat, 2, 0, 0, 1, "write", "2.675", "2.68");
    row("float negative tie", vtFloat, 3, 0, 0, 1, "write", "-1.0005", "-1.001");
    row("float negative zero", vtFloat, 2, 0, 0, 1, "write", "-0.001", "0.00");
    row("float 15 digits", vtFloat, 4, 0, 0, 1, "write", "1234567890123.4567",
        "1234567890123.4600");
    row("float exponent", vtFloat, 2, 0, 0, 1, "read", "1.5e2", "150");
    row("float infinity is junk", vtFloat, 2, -1, 1, 1, "read", "inf", "-1");
    row("float group separator is junk", vtFloat, 2, -1, 1, 1, "read", "1,5", "-1");
    row("hex write", vtHex, 2, 0, 0, 1, "write", "255", "FF");
    row("hex negative round trip", vtHex, 2, 0, 0, 1, "up", "-1B", "-1A");
}

void TestSpinValue::rules() {
    QFETCH(TValueType, type);
    QFETCH(int, decimal);
    QFETCH(double, minValue);
    QFETCH(double, maxValue);
    QFETCH(double, increment);
    QFETCH(QString, op);
    QFETCH(QString, input);
    QFETCH(QString, answer);
    TSpinValue rules(QLocale::c());
    rules.SetValueType(type);
    rules.SetDecimal(decimal);
    rules.SetMinValue(minValue);
    rules.SetMaxValue(maxValue);
    rules.SetIncrement(increment);
    if (op == u"write")
        QCOMPARE(rules.FormatValue(input.toDouble()), answer);
    else if (op == u"read")
        QCOMPARE(rules.ReadValue(input), answer.toDouble());
    else if (op == u"leave")
        QCOMPARE(rules.TextOnLeaving(input), answer);
    else
        QCOMPARE(rules.Stepped(input, op == u"up"), answer);
}

void TestSpinValue::typing_data() {
    QTest::addColumn<TValueType>("type");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QChar>("typed");
    QTest::addColumn<bool>("accepted");
    auto row = [](const char* name, TValueType type, const char* locale, const char* rest,
                  QChar typed, bool accepted) {
        QTest::newRow(name) << type << locale << rest << typed << accepted;
    };
    row("digit", vtInteger, "C", "12", u'7', true);
    row("control", vtInteger, "C", "1", u'\b', true);
    row("no point in integers", vtInteger, "C", "1", u'.', false);
    row("full-width digit", vtInteger, "C", "", QChar(0xFF11), false);
    row("first point", vtFloat, "C", "1", u'.', true);
    row("second point", vtFloat, "C", "1.5", u'.', false);
    row("first E", vtFloat, "C", "1.5", u'E', true);
    row("second E other case", vtFloat, "C", "1e5", u'E', false);
    row("hex letter in float", vtFloat, "C", "1", u'a', false);
    row("comma separator", vtFloat, "de_DE", "1", u',', true);
    row("point not separator", vtFloat, "de_DE", "1", u'.', false);
    row("hex letter", vtHex, "C", "1", u'f', true);
    row("beyond hex", vtHex, "C", "1", u'G', false);
}

void TestSpinValue::typing() {
    QFETCH(TValueType, type);
    QFETCH(QString, locale);
    QFETCH(QString, rest);
    QFETCH(QChar, typed);
    QFETCH(bool, accepted);
    TSpinValue rules{QLocale(locale)};
    rules.SetValueType(type);
    QCOMPARE(rules.AcceptsChar(typed, rest), accepted);
}

void TestSpinValue::wholeStep() {
    // A float step carried over into a whole-number box would never change its text.
    TSpinValue rules(QLocale::c());
    rules.SetValueType(vtFloat);
    rules.SetIncrement(0.4);
    rules.SetValueType(vtInteger);
    QCOMPARE(rules.Increment(), 1.0);
    QCOMPARE(rules.Stepped("7", true), QStringLiteral("8"));
    rules.SetValueType(vtFloat);
    rules.SetIncrement(2.6);
    rules.SetValueType(vtHex);
    QCOMPARE(rules.Increment(), 3.0);
}

QTEST_GUILESS_MAIN(TestSpinValue)
#include "test_spinvalue.moc"
