// The history's log: QT_LOGGING_RULES="kestrel.history.debug=true" shows its tracing.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcHistory)
