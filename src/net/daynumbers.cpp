#include "net/daynumbers.h"

#include <QTimeZone>
#include <cmath>

namespace kestrel {

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr double kSecondsPerDay = 86400.0;

qint64 MsecsOfDay(double fraction) {
    return qint64(std::llround(fraction * kSecondsPerDay * 1000));
}

}  // namespace

double DateTimeFromQDateTime(const QDateTime& dateTime) {
    if (!dateTime.isValid())
        return 0;
    const qint64 days = kEpoch.daysTo(dateTime.date());
    const double fraction = dateTime.time().msecsSinceStartOfDay() / (kSecondsPerDay * 1000);
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime DateTimeToQDateTime(double dateTime, Qt::TimeSpec timeBasis) {
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > 1e9)
        return {};
    const double days = std::trunc(dateTime);
    qint64 msecs = MsecsOfDay(std::fabs(dateTime - days));
    qint64 dayCount = qint64(days);
    if (msecs >= qint64(kSecondsPerDay) * 1000) {  // rounding reached the next midnight
        msecs = 0;
        ++dayCount;
    }
    const QDate date = kEpoch.addDays(dayCount);
    if (!date.isValid())
        return {};
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(msecs)), timeBasis);
}

double GMTToLocal(double gmt) {
    const QDateTime utc = DateTimeToQDateTime(gmt, Qt::UTC);
    if (!utc.isValid())
        return gmt;
    const QDateTime local = utc.toTimeZone(QTimeZone::systemTimeZone());
    return DateTimeFromQDateTime(QDateTime(local.date(), local.time(), Qt::UTC));
}

}  // namespace kestrel
