// A field of a CSV line (RFC 4180): as it stands, or between quotes with its quotes doubled
// where it holds a comma, a quote or a line break.
#pragma once

#include <QString>

namespace kestrel {

QString CsvField(const QString& text);

}  // namespace kestrel
