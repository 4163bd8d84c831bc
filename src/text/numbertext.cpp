#include "text/numbertext.h"

#include <QString>
#include <cmath>
#include <limits>

namespace kestrel {

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Skips a run of ASCII digits from i; returns how many there were.
qsizetype SkipDigits(QStringView text, qsizetype& i) {
    const qsizetype start = i;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    return i - start;
}

}  // namespace

bool IsPlainNumber(QStringView text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype mantissa = SkipDigits(text, i);
    if (i < text.size() && text[i] == u'.') {
        ++i;
        mantissa += SkipDigits(text, i);
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        if (SkipDigits(text, i) == 0)
            return false;
    }
    return i == text.size();
}

std::optional<qint64> ToWholeNumber(QStringView text, qint64 low, qint64 high) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    if (SkipDigits(text, i) == 0 || i != text.size())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<double> ToPlainNumber(QStringView text, double low, double high) {
    if (!IsPlainNumber(text))
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<double> PlainNumberValue(QStringView text) {
    return ToPlainNumber(text.trimmed(), std::numeric_limits<double>::lowest(),
                         std::numeric_limits<double>::max());
}

}  // namespace kestrel
