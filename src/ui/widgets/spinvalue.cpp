#include "ui/widgets/spinvalue.h"

#include <algorithm>
#include <cmath>

namespace kestrel {

namespace {

// "-0" or "-0.00" reads as a fault to a user; a value rounded to zero shows without a sign.
QString WithoutNegativeZero(QString text) {
    if (text.startsWith(u'-') && std::all_of(text.cbegin() + 1, text.cend(),
                                             [](QChar c) { return !c.isDigit() || c == u'0'; }))
        text.remove(0, 1);
    return text;
}

qint64 ToInt64(double x) {
    // The cast of a value beyond qint64 is undefined; such a value saturates instead.
    constexpr double limit = 9223372036854774784.0;  // the largest double below 2^63
    return static_cast<qint64>(std::clamp(x, -limit, limit));
}

// x with at most 15 significant digits and then `decimals` digits after the point, both rounded
// in decimal, half away from zero: 2.675 keeps the 2.68 it was typed as, where its binary
// fraction (2.67499…) would round down.
double RoundedDecimal(double x, int decimals) {
    const QString text = QString::number(std::fabs(x), 'e', 14);  // d.dddddddddddddde±XX
    const qsizetype e = text.indexOf(u'e');
    const qint64 mantissa = (text.left(1) + text.mid(2, e - 2)).toLongLong();
    const int exponent = text.mid(e + 1).toInt() - 14;  // |x| = mantissa × 10^exponent
    const int cut = -(exponent + decimals);             // the digits that go
    if (cut <= 0)
        return std::copysign(QString::number(x, 'g', 15).toDouble(), x);
    if (cut > 15)
        return 0;
    qint64 unit = 1;
    for (int i = 0; i < cut; ++i)
        unit *= 10;
    const qint64 kept = mantissa / unit + (mantissa % unit * 2 >= unit ? 1 : 0);
    const double rounded =
        (QString::number(kept) + QStringLiteral("e-") + QString::number(decimals)).toDouble();
    return std::copysign(rounded, x);
}

}  // namespace

double RoundToEven(double x) {
    // nearbyint follows the current rounding mode, which is to-nearest-even unless someone
    // changed it; rounding explicitly keeps the result independent of that.
    const double down = std::floor(x);
    const double diff = x - down;
    if (diff < 0.5)
        return down;
    if (diff > 0.5)
        return down + 1;
    return std::fmod(down, 2.0) == 0 ? down : down + 1;
}

TSpinValue::TSpinValue(const QLocale& locale) : locale_(locale) {
    locale_.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
}

void TSpinValue::SetValueType(TValueType value) {
    valueType_ = value;
    if (value != TValueType::vtFloat) {
        increment_ = RoundToEven(increment_);
        if (increment_ == 0)
            increment_ = 1;
    }
}

void TSpinValue::SetDecimal(int value) {
    decimal_ = std::clamp(value, 0, 18);
}

double TSpinValue::CheckValue(double x) const {
    if (maxValue_ == minValue_)
        return x;
    if (x < minValue_)
        return minValue_;
    if (x > maxValue_)
        return maxValue_;
    return x;
}

double TSpinValue::ReadValue(const QString& text) const {
    bool ok = false;
    switch (valueType_) {
        case TValueType::vtFloat: {
            const double value = locale_.toDouble(text, &ok);
            // "inf" and "nan" parse, but neither is a number a box can show or step.
            if (ok && std::isfinite(value))
                return value;
            return minValue_;
        }
        case TValueType::vtInteger: {
            const qint64 value = locale_.toLongLong(text, &ok);
            return ok ? static_cast<double>(value) : RoundToEven(minValue_);
        }
        case TValueType::vtHex: {
            const qint64 value = text.trimmed().toLongLong(&ok, 16);
            return ok ? static_cast<double>(value) : RoundToEven(minValue_);
        }
    }
    return minValue_;
}

QString TSpinValue::FormatValue(double x) const {
    x = CheckValue(x);
    switch (valueType_) {
        case TValueType::vtFloat: {
            // At most 15 significant digits: the digits beyond are noise of the binary fraction.
            const double shown = QString::number(x, 'g', 15).toDouble();
            if (std::fabs(shown) >= 1e15)
                return locale_.toString(shown, 'g', 15);
            return WithoutNegativeZero(
                locale_.toString(RoundedDecimal(shown, decimal_), 'f', decimal_));
        }
        case TValueType::vtInteger:
            return WithoutNegativeZero(QString::number(RoundToEven(x), 'f', 0));
        case TValueType::vtHex: {
            const qint64 value = ToInt64(RoundToEven(x));
            // A sign and the magnitude, so that the text reads back as the same number.
            const QString digits =
                QString::number(value < 0 ? -quint64(value) : quint64(value), 16);
            return (value < 0 ? QStringLiteral("-") : QString()) + digits.toUpper();
        }
    }
    return {};
}

QString TSpinValue::Stepped(const QString& text, bool up) const {
    const double value = ReadValue(text);
    return FormatValue(up ? value + increment_ : value - increment_);
}

QString TSpinValue::TextOnLeaving(const QString& text) const {
    const double value = ReadValue(text);
    const double checked = CheckValue(value);
    return checked != value ? FormatValue(checked) : text;
}

bool TSpinValue::AcceptsChar(QChar c, const QString& rest) const {
    if (c.category() == QChar::Other_Control)
        return true;
    if (c == u'+' || c == u'-' || (c >= u'0' && c <= u'9'))
        return true;
    switch (valueType_) {
        case TValueType::vtFloat:
            if (QString(c) == DecimalSeparator())
                return !rest.contains(DecimalSeparator());
            if (c == u'e' || c == u'E')
                return !rest.contains(u'e', Qt::CaseInsensitive);
            return false;
        case TValueType::vtHex:
            return (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        case TValueType::vtInteger:
            return false;
    }
    return false;
}

}  // namespace kestrel
