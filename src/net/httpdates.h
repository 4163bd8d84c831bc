// The dates of HTTP headers, read into local date-times (net/daynumbers.h).
#pragma once

#include <QDateTime>
#include <QString>

namespace kestrel {

// Reads an HTTP date (RFC 1123, RFC 850 or asctime layout, optionally ending in a "+hhmm" /
// "-hhmm" zone offset) and returns it as a local date-time. An empty text gives 0; a text that
// cannot be read gives the date-time 0 taken as GMT and converted to local time.
double ParseHTTPDate(const QString& text);

// The wait a response's Retry-After header asks for, in seconds after now: its delay-seconds or
// the time until its HTTP date. rawHeaders are the response's header lines (CRLF-separated); 0
// when they have no such header, it cannot be read or its date has passed.
double RetryAfterSeconds(const QString& rawHeaders, const QDateTime& now);

// The zone offset at the start of the text ("+0800", "-0530") in seconds east of GMT; 0 for
// anything else, including a named zone.
int ParseZoneOffset(const QString& text);

// 1-based index of a three-letter day ("SUN" .. "SAT") or month ("JAN" .. "DEC") name, compared
// case-insensitively; 0 when it is none.
int DayIndex(const QString& name);
int MonthIndex(const QString& name);

}  // namespace kestrel
