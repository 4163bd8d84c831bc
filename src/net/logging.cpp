#include "net/logging.h"

Q_LOGGING_CATEGORY(lcNet, "kestrel.net", QtInfoMsg)
