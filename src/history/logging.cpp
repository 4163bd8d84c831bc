#include "history/logging.h"

Q_LOGGING_CATEGORY(lcHistory, "kestrel.history", QtInfoMsg)
