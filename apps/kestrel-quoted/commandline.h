// What the option groups of the server share: the arguments as one group reads them, and what
// the listening address lets each group offer.
#pragma once

#include <QtGlobal>
#include <optional>
#include <string>

namespace kestrel::gateway {

// How a group answered an argument.
enum class Parsed {
    NotMine,  // another group's
    Taken,    // read, with its value
    Bad,      // the group's, but its value is missing or not valid
    Refused,  // the group's, and the group has said why on standard error
};

// The command line with the argument under consideration; a group takes its value from here.
class Arguments {
public:
    Arguments(int argc, char** argv) : Count(argc), Values(argv) {}

    bool AtEnd() const { return Index >= Count; }
    std::string Name() const { return Values[Index]; }
    void Next() { ++Index; }
    // The value after the current argument, consumed; nothing when there is none.
    std::optional<std::string> Value();
    // A whole number in [low, high].
    std::optional<qint64> Number(qint64 low, qint64 high);
    // Seconds with an optional fraction ("10", "0.25"), at least low, at most 30 days.
    std::optional<double> Seconds(double low);

private:
    int Count;
    char** Values;
    int Index = 1;
};

// Where the server listens and what it was told to allow; each group decides from this what it
// offers.
struct Exposure {
    bool Loopback = true;  // this machine only
    bool TestSwitches = false;
    bool Walk = false;  // the demo walk, not the real feeds
};

}  // namespace kestrel::gateway
