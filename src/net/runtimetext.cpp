#include "net/runtimetext.h"

#include <algorithm>

namespace kestrel {

std::optional<int> ToInt(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

qsizetype LastDelimiter(const QString& text) {
    return std::max({text.lastIndexOf(u'\\'), text.lastIndexOf(u'/'), text.lastIndexOf(u':')});
}

QString FileExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > LastDelimiter(path) ? path.mid(dot) : QString();
}

}  // namespace kestrel
