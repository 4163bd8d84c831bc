// How long a service that answered 429 or 503 asks to be left alone.
#pragma once

#include <QString>

namespace kestrel::feeds {

// The seconds the Retry-After line among the raw header lines asks for, as delta-seconds or an
// HTTP date; 0 when there is none, it cannot be read or it is past.
double RetryAfterFrom(const QString& rawHeaders, qint64 nowMs);

}  // namespace kestrel::feeds
