#include "settings/scrambler.h"

namespace kestrel {

QByteArray ScrambleText(const QByteArray& text, const QByteArray& key) {
    const QByteArray k = key.isEmpty() ? QByteArray(kDefaultScrambleKey) : key;
    QByteArray result(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto kb = static_cast<unsigned char>(k[i % k.size()]);
        result[i] = static_cast<char>((b & 0xF0) | ((b ^ kb) & 0x0F));
    }
    return result;
}

}  // namespace kestrel
