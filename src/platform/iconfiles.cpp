#include "platform/iconfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <cstring>

namespace kestrel {

QIcon IconFromFile(const QString& file) {
    const QFileInfo info(file);
    if (file.startsWith(u":/icons/") && info.suffix() == u"svg") {
        const QString name = info.completeBaseName();
        const QDir renditions(QStringLiteral(":/icons/rgba"));
        QIcon icon;
        // Name filters would be turned into regular expressions; the prefix and suffix are enough.
        const QString prefix = name + u'-';
        for (const QString& entry : renditions.entryList(QDir::Files)) {
            if (!entry.startsWith(prefix) || !entry.endsWith(u".rgba"))
                continue;
            bool isSize = false;
            const int size = entry.sliced(name.size() + 1).chopped(5).toInt(&isSize);
            QFile pixels(renditions.filePath(entry));
            if (!isSize || size <= 0 || size > 1024 || !pixels.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = pixels.readAll();
            if (bytes.size() != qsizetype(size) * size * 4)
                continue;
            QImage image(size, size, QImage::Format_RGBA8888_Premultiplied);
            for (int y = 0; y < size; ++y)
                std::memcpy(image.scanLine(y), bytes.constData() + qsizetype(y) * size * 4,
                            size * 4);
            icon.addPixmap(QPixmap::fromImage(std::move(image)));
        }
        if (!icon.isNull())
            return icon;
    }
    return QIcon(file);
}

}  // namespace kestrel
