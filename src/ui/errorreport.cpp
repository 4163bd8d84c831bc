#include "ui/errorreport.h"

#include <QApplication>
#include <QMessageBox>
#include <atomic>
#include <cstdio>

#include "platform/logging.h"

namespace kestrel {

namespace {

std::atomic<bool> toLog{false};

}  // namespace

void ReportToLogFromNow() {
    toLog = true;
}

void ReportError(const QString& message) {
    if (toLog) {
        qCWarning(lcPlatform, "%s", qPrintable(message));
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), message);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
}

}  // namespace kestrel
