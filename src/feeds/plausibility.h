// Which values may be served at all. A feed that answers nonsense (a price of 1e-300, a line from
// years ago, a jump no market makes) must not reach a trader as if it were live.
#pragma once

#include <QString>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "feeds.h"

namespace kestrel::feeds {

// A price further than this share from the previous close the source gives, or from the value
// last accepted from any source, is a fault of the feed rather than a move of the market.
constexpr double kPlausibleBand = 0.25;
// No instrument of the page comes near this; beyond it a value is a fault, whatever its source.
constexpr double kLargestPrice = 1e7;
// A daily reference rate is fixed once a working day: a long weekend with holidays is five days.
constexpr qint64 kReferenceLifeMs = 5LL * 86400 * 1000;
// Clocks disagree a little; a quote dated further ahead than this is not trusted.
constexpr qint64 kClockSkewMs = 5 * 60 * 1000;

// Why a number cannot stand as a price on the page: not finite, not positive, too large, or so
// small that it shows as zero. Nothing when it can.
std::optional<std::string> ImplausibleValue(double price, const QString& instrument);

// Why a quote that has just arrived must not be served; nothing when it may. lastAccepted is the
// instrument's last accepted price from any source (0: none).
std::optional<std::string> ImplausibleQuote(const Quote& quote, const QString& instrument,
                                            double lastAccepted, qint64 nowMs, double staleSeconds);

// Counts the keys of one answer, so that a key given twice can be dropped: an answer that
// contradicts itself has no right value to serve.
class Repeats {
public:
    // True the first time a key is seen.
    bool Add(const std::string& key) {
        if (Seen.insert(key).second)
            return true;
        Twice.insert(key);
        return false;
    }
    const std::set<std::string>& Repeated() const { return Twice; }

private:
    std::set<std::string> Seen, Twice;
};

inline constexpr const char* kGivenTwice = "given twice in one answer";

}  // namespace kestrel::feeds
