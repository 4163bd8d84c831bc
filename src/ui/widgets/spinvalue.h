// The rules of the spin edit's number: how the text is read and written, the bounds, the steps
// and which typed characters the box takes. Kept apart from the widget so that they can be
// checked without a display.
#pragma once

#include <QChar>
#include <QLocale>
#include <QString>

namespace kestrel {

enum class TValueType { vtInteger, vtFloat, vtHex };

class TSpinValue {
public:
    // The locale gives the decimal separator that floats are read and written with.
    explicit TSpinValue(const QLocale& locale = QLocale());

    TValueType ValueType() const { return valueType_; }
    // Going to vtInteger or vtHex also rounds the step to a whole number, 1 where that gives 0.
    void SetValueType(TValueType value);
    // Digits after the separator shown for vtFloat (0 to 18).
    int Decimal() const { return decimal_; }
    void SetDecimal(int value);
    double Increment() const { return increment_; }
    void SetIncrement(double value) { increment_ = value; }
    // The bounds hold only while they differ; 0 and 0 leave the value free.
    double MinValue() const { return minValue_; }
    void SetMinValue(double value) { minValue_ = value; }
    double MaxValue() const { return maxValue_; }
    void SetMaxValue(double value) { maxValue_ = value; }
    QString DecimalSeparator() const { return locale_.decimalPoint(); }

    // x kept within the bounds when they are in force.
    double CheckValue(double x) const;
    // The number the text shows. A text that is not a number reads as MinValue (rounded for
    // vtInteger and vtHex). Reading never applies the bounds: the user may be half-way through
    // typing a number.
    double ReadValue(const QString& text) const;
    // The text for x, after the bounds.
    QString FormatValue(double x) const;
    // The text after one step up or down from the value that text shows.
    QString Stepped(const QString& text, bool up) const;
    // When the user leaves the box: the clamped, reformatted text for a value outside the
    // bounds, else text unchanged, so that a number as typed stays as typed.
    QString TextOnLeaving(const QString& text) const;
    // Whether a typed character may go into a box whose text, without the selection the
    // character replaces, is rest.
    bool AcceptsChar(QChar c, const QString& rest) const;

private:
    QLocale locale_;
    TValueType valueType_ = TValueType::vtInteger;
    int decimal_ = 2;
    double increment_ = 1;
    double minValue_ = 0;
    double maxValue_ = 0;
};

// x rounded to a whole number, ties going to the even neighbour.
double RoundToEven(double x);

}  // namespace kestrel
