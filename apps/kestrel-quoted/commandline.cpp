#include "commandline.h"

#include <QString>

#include "text/numbertext.h"

namespace kestrel::gateway {

std::optional<std::string> Arguments::Value() {
    if (Index + 1 >= Count)
        return std::nullopt;
    return std::string(Values[++Index]);
}

std::optional<qint64> Arguments::Number(qint64 low, qint64 high) {
    const std::optional<std::string> text = Value();
    return text ? ToWholeNumber(QString::fromStdString(*text), low, high) : std::nullopt;
}

std::optional<double> Arguments::Seconds(double low) {
    const std::optional<std::string> text = Value();
    return text ? ToPlainNumber(QString::fromStdString(*text), low, 30 * 86400.0) : std::nullopt;
}

}  // namespace kestrel::gateway
