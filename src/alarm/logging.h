// The alarm library's log: QT_LOGGING_RULES="kestrel.alarm.debug=true" shows its tracing.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcAlarm)
