#include "ui/errorreport.h"

#include <QApplication>
#include <QMessageBox>
#include <QSet>
#include <cstdio>

#include "ui/logging.h"

namespace kestrel {

namespace {

// Both only ever touched on the GUI thread.
bool toLog = false;
QSet<QString> reported;

}  // namespace

void ReportError(const QString& message) {
    if (toLog) {
        qCWarning(lcUi).noquote() << message;
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

void ReportErrorOnce(const QString& message) {
    if (reported.contains(message)) {
        qCWarning(lcUi).noquote() << message;
        return;
    }
    reported.insert(message);
    ReportError(message);
}

void ReportToLogFromNow() {
    toLog = true;
}

}  // namespace kestrel
