// The tests' own publishing key (tests/upgrade/keys, trusted through Param/UpgradeKeys) and the
// digest an information file gives for a file's bytes.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include "upgrade/minisign.h"

namespace kestrel {

inline MinisignSecretKey TestKey() {
    QFile file(QStringLiteral(KESTREL_TEST_KEYS "/test.key"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseMinisignSecretKey(file.readAll()).value_or(MinisignSecretKey{});
}

inline QString Digest(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

}  // namespace kestrel
