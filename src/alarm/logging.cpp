#include "alarm/logging.h"

Q_LOGGING_CATEGORY(lcAlarm, "kestrel.alarm", QtInfoMsg)
