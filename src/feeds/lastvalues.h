// The values last shown, kept between runs: the next start holds the feeds' first answers
// against them. A small text file the program alone writes; what it cannot read is ignored.
#pragma once

#include <QString>
#include <map>

#include "plausibility.h"

namespace kestrel::feeds {

// Beside the settings file: "kestrel.ini" keeps its values in "kestrel.lastvalues".
QString LastValuesBeside(const QString& iniPath);

// The values of the file, each marked as of an earlier run; none when it is missing or unreadable,
// and no line that is not exactly right.
std::map<QString, Reference> ReadLastValues(const QString& path);

// Replaces the file as a whole (never half written); false when it could not be written.
bool WriteLastValues(const QString& path, const std::map<QString, Reference>& values);

}  // namespace kestrel::feeds
