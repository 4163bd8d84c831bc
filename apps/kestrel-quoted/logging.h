#pragma once

#include <QLoggingCategory>

namespace kestrel::gateway {

Q_DECLARE_LOGGING_CATEGORY(lcGateway)

}  // namespace kestrel::gateway
