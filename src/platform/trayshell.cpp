#include "platform/trayshell.h"

#include <QBuffer>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QGuiApplication>
#include <QImageReader>
#include <QList>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace kestrel {

QIcon IconFromIco(const QByteArray& icoBytes) {
    QIcon icon;
    if (icoBytes.isEmpty()) {
        return icon;
    }
    QBuffer buffer;
    buffer.setData(icoBytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const int count = reader.imageCount();
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i)) {
            break;
        }
        const QImage image = reader.read();
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

namespace {

// The desktop reports whole clicks; the component works from presses and releases, so each
// click becomes its pair (a double click: the double-click press and the second release).
QList<TrayMouseMessage> MessagesFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return {TrayMouseMessage::LButtonDown, TrayMouseMessage::LButtonUp};
        case QSystemTrayIcon::DoubleClick:
            return {TrayMouseMessage::LButtonDblClk, TrayMouseMessage::LButtonUp};
        case QSystemTrayIcon::Context:
            return {TrayMouseMessage::RButtonDown, TrayMouseMessage::RButtonUp};
        case QSystemTrayIcon::MiddleClick:
            return {TrayMouseMessage::MButtonDown, TrayMouseMessage::MButtonUp};
        case QSystemTrayIcon::Unknown:
            break;
    }
    return {};
}

}  // namespace

SystemTrayShell::SystemTrayShell() : tray_(std::make_unique<QSystemTrayIcon>()) {
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         const QPoint pos = QCursor::pos();
                         const Qt::KeyboardModifiers modifiers =
                             QGuiApplication::queryKeyboardModifiers();
                         for (const TrayMouseMessage message : MessagesFor(reason)) {
                             if (OnMessage) {
                                 OnMessage(this, message, pos, modifiers);
                             }
                         }
                     });
}

SystemTrayShell::~SystemTrayShell() = default;

bool SystemTrayShell::Add(const TrayNotifyData& data) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    const QIcon icon = IconFromIco(data.Icon);
    if (icon.isNull()) {
        return false;
    }
    tray_->setIcon(icon);
    tray_->setToolTip(data.Tip);
    tray_->show();
    return true;
}

bool SystemTrayShell::Modify(const TrayNotifyData& data) {
    const QIcon icon = IconFromIco(data.Icon);
    if (icon.isNull()) {
        return false;
    }
    tray_->setIcon(icon);
    tray_->setToolTip(data.Tip);
    return true;
}

void SystemTrayShell::Remove() {
    tray_->hide();
}

void SystemTrayShell::SetContextMenu(QMenu* menu) {
    if (HostShowsMenu()) {
        tray_->setContextMenu(menu);
    }
}

bool SystemTrayShell::HostShowsMenu() {
    static const bool viaStatusNotifier = [] {
        // Away from X11 Qt has no XEmbed tray to fall back to.
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            return true;
        }
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            return false;
        }
        const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
        QDBusInterface watcher(service, QStringLiteral("/StatusNotifierWatcher"), service, bus);
        return watcher.isValid() && watcher.property("IsStatusNotifierHostRegistered").toBool();
    }();
    return viaStatusNotifier;
}

}  // namespace kestrel
