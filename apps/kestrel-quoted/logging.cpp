#include "logging.h"

namespace kestrel::gateway {

Q_LOGGING_CATEGORY(lcGateway, "kestrel.gateway", QtInfoMsg)

}  // namespace kestrel::gateway
