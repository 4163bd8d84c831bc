// Date-times as doubles: days since 1899-12-30, the fraction being the time of day (for days
// before that date the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00).
#pragma once

#include <QDateTime>

namespace kestrel {

// A GMT date-time as local time of the system time zone, with the zone's offset at that instant.
double GMTToLocal(double gmt);

// Conversions between date-time doubles and QDateTime. The double carries no zone: FromQDateTime
// takes the date and time as they stand in the value's own time basis, ToQDateTime gives them
// in the basis asked for. Values outside QDateTime's range or NaN give an invalid QDateTime.
double DateTimeFromQDateTime(const QDateTime& dateTime);
QDateTime DateTimeToQDateTime(double dateTime, Qt::TimeSpec timeBasis = Qt::LocalTime);

}  // namespace kestrel
