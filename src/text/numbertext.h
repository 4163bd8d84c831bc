// The plain number of the rates page and the settings file, checked before it is converted.
#pragma once

#include <QStringView>
#include <optional>

namespace kestrel {

// True when the whole text is sign? (digits [. digits?] | . digits) ([eE] sign? digits)?, in
// ASCII digits.
bool IsPlainNumber(QStringView text);

// The value of a plain number with blanks around it allowed; nothing when the text is no plain
// number or its value lies beyond the range of double (an overflow, or a non-zero value that
// underflows).
std::optional<double> PlainNumberValue(QStringView text);

}  // namespace kestrel
