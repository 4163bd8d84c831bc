#include "platform/iconfiles.h"

#include <QDir>
#include <QFileInfo>

namespace kestrel {

QIcon IconFromFile(const QString& file) {
    const QFileInfo info(file);
    if (file.startsWith(u":/icons/") && info.suffix() == u"svg") {
        const QString name = info.completeBaseName();
        const QDir renditions(QStringLiteral(":/icons/png"));
        QIcon icon;
        for (const QString& png : renditions.entryList({name + QStringLiteral("-*.png")})) {
            bool isSize = false;
            const int size = png.sliced(name.size() + 1).chopped(4).toInt(&isSize);
            if (isSize && size > 0)
                icon.addFile(renditions.filePath(png), QSize(size, size));
        }
        if (!icon.isNull())
            return icon;
    }
    return QIcon(file);
}

}  // namespace kestrel
