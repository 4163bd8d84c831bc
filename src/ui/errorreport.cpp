#include "ui/errorreport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSet>
#include <cstdio>
#include <utility>

#include "ui/logging.h"

namespace kestrel {

namespace {

// All only ever touched on the GUI thread.
bool toLog = false;
QSet<QString> reported;
std::function<void(QWidget*)> adoptBox;

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
    if (adoptBox)
        adoptBox(&box);
    box.addButton(QCoreApplication::translate("kestrel::ErrorReport", "确定"),
                  QMessageBox::AcceptRole);
    box.exec();
}

void SetErrorBoxOwner(std::function<void(QWidget*)> adopt) {
    adoptBox = std::move(adopt);
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
