#include "net/progress.h"

#include <cmath>

namespace kestrel {

quint8 Percent(double value, double total) {
    if (total == 0)
        return 0;
    const double percent = std::nearbyint(value * 100 / total);
    if (!std::isfinite(percent) || percent <= 0)
        return 0;
    return percent >= 255 ? 255 : quint8(percent);
}

}  // namespace kestrel
