#include "platform/logging.h"

Q_LOGGING_CATEGORY(lcPlatform, "kestrel.platform", QtInfoMsg)
