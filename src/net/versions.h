// Version texts of the program and of its upgrade, compared part by part.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrel {

// The first four "."-separated parts of a version text, "0" for the missing ones.
QStringList SplitVersion(const QString& version);

// Positive when A is the later version, 0 when equal, negative when earlier. Parts are compared
// as numbers; when a part of either text is not a number the whole texts are compared byte by
// byte (UTF-8) and the result is the difference of the first differing bytes, saturated to the
// 8-bit range so that its sign always holds.
qint8 CompareVersions(const QString& a, const QString& b);

}  // namespace kestrel
