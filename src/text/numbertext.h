// The plain number of the rates page, the settings file and the command lines, checked before it
// is converted.
#pragma once

#include <QStringView>
#include <optional>

namespace kestrel {

// True when the whole text is sign? (digits [. digits?] | . digits) ([eE] sign? digits)?, in
// ASCII digits.
bool IsPlainNumber(QStringView text);

// The whole text as sign? digits, in [low, high]; nothing when it is anything else or out of
// range (an overflow included).
std::optional<qint64> ToWholeNumber(QStringView text, qint64 low, qint64 high);

// A plain number (IsPlainNumber) in [low, high]; nothing otherwise.
std::optional<double> ToPlainNumber(QStringView text, double low, double high);

// The value of a plain number with blanks around it allowed; nothing when the text is no plain
// number or its value lies beyond the range of double (an overflow, or a non-zero value that
// underflows).
std::optional<double> PlainNumberValue(QStringView text);

}  // namespace kestrel
