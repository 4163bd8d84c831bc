#include "lastvalues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cmath>

namespace kestrel::feeds {

namespace {

// The first line; a file without it is not ours.
constexpr char kHeader[] = "kestrel last values 1\n";
// Far larger than any such file: a bigger one is not read.
constexpr qint64 kMostBytes = 64 * 1024;

}  // namespace

QString LastValuesBeside(const QString& iniPath) {
    const QFileInfo ini(iniPath);
    return ini.dir().filePath(ini.completeBaseName() + QStringLiteral(".lastvalues"));
}

std::map<QString, Reference> ReadLastValues(const QString& path) {
    std::map<QString, Reference> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMostBytes)
        return values;
    const QByteArray bytes = file.readAll();
    if (!bytes.startsWith(kHeader))
        return values;
    // name TAB price TAB milliseconds since the epoch
    for (const QByteArray& line : bytes.mid(sizeof kHeader - 1).split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3)
            continue;
        const QString name = QString::fromUtf8(fields[0]);
        bool priceRead = false, timeRead = false;
        const double price = fields[1].toDouble(&priceRead);
        const qint64 ms = fields[2].toLongLong(&timeRead);
        if (name.isEmpty() || name.toUtf8() != fields[0] || !priceRead || !timeRead ||
            !std::isfinite(price) || price <= 0 || ms <= 0)
            continue;
        values[name] = {price, ms, true};
    }
    return values;
}

bool WriteLastValues(const QString& path, const std::map<QString, Reference>& values) {
    QByteArray bytes(kHeader);
    for (const auto& [name, value] : values) {
        bytes += name.toUtf8() + '\t' + QByteArray::number(value.Price, 'g', 17) + '\t' +
                 QByteArray::number(value.Ms) + '\n';
    }
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace kestrel::feeds
