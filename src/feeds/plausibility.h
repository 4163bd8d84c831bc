// Which values may be served at all. A feed that answers nonsense (a price of 1e-300, a line from
// years ago, a jump no market makes) must not reach a trader as if it were live.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

// An earlier-run value older than this is held to twice the band, and one older than
// kEarlierRunIgnoredMs is no reference at all: after a month a market may be anywhere.
constexpr qint64 kEarlierRunWeakMs = 7LL * 86400 * 1000;
constexpr qint64 kEarlierRunIgnoredMs = 30LL * 86400 * 1000;

// The widest range each instrument of the page can take, as the page quotes it: wide enough for
// any market of the coming decades, narrow enough that a value ten times off falls outside
// (where the range allows it). The pair's lowest and highest value; nothing for a name not on
// the page.
std::optional<std::pair<double, double>> PlausibleRange(const QString& instrument);

// Why a number cannot stand as a price on the page: not finite, not positive, too large, so
// small that it shows as zero, or outside the instrument's range. Nothing when it can.
std::optional<std::string> ImplausibleValue(double price, const QString& instrument);

// Why a quote must not be served: for the log, and as the trader is shown it after the
// instrument's name ("11.712 超出合理范围").
struct Refusal {
    std::string Reason;
    QString Shown;
};

// Why a quote that has just arrived must not be served; nothing when it may. lastAccepted is the
// instrument's last accepted price from any source (0: none). A quote older than staleSeconds is
// refused, unless its market is closed (see quotes/markethours) and it was still fresh at the
// close: a weekend shows Friday's closing prices.
std::optional<Refusal> CheckQuote(const Quote& quote, const QString& instrument,
                                  double lastAccepted, qint64 nowMs, double staleSeconds);
std::optional<std::string> ImplausibleQuote(const Quote& quote, const QString& instrument,
                                            double lastAccepted, qint64 nowMs, double staleSeconds);

// A value an arriving one is held against: the last one shown, in this run or an earlier one.
struct Reference {
    double Price = 0;
    qint64 Ms = 0;  // when it was accepted
    bool EarlierRun = false;
};

// What the trader is shown in place of a withheld value: the source texts, and those texts in
// the language in use (ShownReason).
inline constexpr char kSourcesDisagreeText[] = QT_TRANSLATE_NOOP("Feeds", "来源不一致");
inline constexpr char kFarFromEarlierText[] = QT_TRANSLATE_NOOP("Feeds", "与此前报价相差过大");
// A quote older than the stale time, its market open.
inline constexpr char kOutdatedText[] = QT_TRANSLATE_NOOP("Feeds", "报价已过时");
inline const QString kSourcesDisagree = QString::fromUtf8(kSourcesDisagreeText);
inline const QString kFarFromEarlier = QString::fromUtf8(kFarFromEarlierText);
inline const QString kOutdated = QString::fromUtf8(kOutdatedText);

inline QString ShownReason(const char* text) {
    return QCoreApplication::translate("Feeds", text);
}

struct Verdict {
    int Source = -1;  // the index of the value to serve; -1: none
    QString Reason;   // why none, empty when no source had a value
};

// Which of the sources' fresh values of one instrument may be served. values holds one price per
// source in the order of preference, 0 where a source has none. Two that disagree withhold the
// instrument; two that agree are served, whatever the reference; a value alone must agree with
// the reference, when there is one.
Verdict Decide(const std::vector<double>& values, const std::optional<Reference>& reference,
               qint64 nowMs);

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
