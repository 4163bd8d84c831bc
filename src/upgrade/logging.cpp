#include "upgrade/logging.h"

Q_LOGGING_CATEGORY(lcUpgrade, "kestrel.upgrade", QtInfoMsg)
