#include "net/versions.h"

#include <algorithm>

#include "net/runtimetext.h"

namespace kestrel {

QStringList SplitVersion(const QString& version) {
    QString rest = version + u'.';
    QStringList parts;
    for (int i = 0; i < 4; ++i) {
        const qsizetype dot = rest.indexOf(u'.');
        if (dot < 0) {
            parts << QStringLiteral("0");
            continue;
        }
        parts << rest.left(dot);
        rest = rest.mid(dot + 1);
    }
    return parts;
}

qint8 CompareVersions(const QString& a, const QString& b) {
    const QStringList pa = SplitVersion(a), pb = SplitVersion(b);
    for (int i = 0; i < 4; ++i) {
        const int na = ToInt(pa.at(i)).value_or(-1), nb = ToInt(pb.at(i)).value_or(-1);
        if (na == -1 || nb == -1) {
            const QByteArray ba = a.toUtf8(), bb = b.toUtf8();
            // Zero-terminated comparison: the shorter text ends in a 0 byte.
            for (qsizetype k = 0;; ++k) {
                const int ca = k < ba.size() ? quint8(ba.at(k)) : 0;
                const int cb = k < bb.size() ? quint8(bb.at(k)) : 0;
                if (ca != cb)
                    return qint8(std::clamp(ca - cb, -128, 127));
                if (ca == 0)
                    return 0;
            }
        }
        if (na != nb)
            return na > nb ? 1 : -1;
    }
    return 0;
}

}  // namespace kestrel
