#include "util.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kestrel::quoted {

std::optional<long> ParseNumber(const std::string& text, long low, long high) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<double> ParseSeconds(const std::string& text, double low, double high) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value) || value < low || value > high)
        return std::nullopt;
    return value;
}

}  // namespace kestrel::quoted
