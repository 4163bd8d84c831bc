// The plain number of the rates page and the settings file, checked before it is converted.
#pragma once

#include <QStringView>

namespace kestrel {

// True when the whole text is sign? (digits [. digits?] | . digits) ([eE] sign? digits)?, in
// ASCII digits.
bool IsPlainNumber(QStringView text);

}  // namespace kestrel
