#include "ui/errorreport.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace kestrel {

void ReportError(const QString& message) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
}

}  // namespace kestrel
