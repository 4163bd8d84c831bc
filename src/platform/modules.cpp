#include "platform/modules.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace kestrel {

QString ModuleFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QStringLiteral(KESTREL_MODULE_DIR_FROM_BIN));
}

void* ModuleEntry(const QString& path, const char* symbol, QString* error) {
    QLibrary module(path);
    void* entry = reinterpret_cast<void*>(module.resolve(symbol));
    if (entry == nullptr && error != nullptr)
        *error = module.errorString();
    return entry;
}

}  // namespace kestrel
