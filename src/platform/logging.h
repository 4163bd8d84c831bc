// The platform library's log, shared by its backends:
// QT_LOGGING_RULES="kestrel.platform.debug=true" shows its tracing.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
