// The reversible scrambler that keeps stored proxy credentials from being read at a glance.
// It is not encryption: each byte keeps its high four bits and has its low four bits XORed
// with those of the key byte at the same position (the key repeats). Applying it twice with
// the same key gives the input back.
#pragma once

#include <QByteArray>

namespace kestrel {

// The key the program scrambles its stored credentials with.
inline constexpr char kScrambleKey[] = "kESTRELmV";

// Used when ScrambleText is given an empty key.
inline constexpr char kDefaultScrambleKey[] = "k7PwQe2Ha9xLm4Tz8Rb";

// Works on bytes (a GBK Chinese character is two of them); the result has the text's length.
QByteArray ScrambleText(const QByteArray& text, const QByteArray& key);

}  // namespace kestrel
