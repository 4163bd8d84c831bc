#include "platform/trayshell.h"

#include <QBuffer>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QImageReader>
#include <QList>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

#include "platform/iconfiles.h"

namespace kestrel {

namespace {

// Every picture in the bytes of an image file (an .ico holds one per size), each at its size.
QIcon IconFromImageData(const QByteArray& bytes) {
    QIcon icon;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    for (int i = 0, count = std::max(1, reader.imageCount()); i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i)) {
            break;
        }
        const QImage image = reader.read();
        if (!image.isNull()) {
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

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

const char kWatcherService[] = "org.kde.StatusNotifierWatcher";

// The window that owns the XEmbed tray's manager selection of the first screen; 0 for none.
quint32 XEmbedTrayHost() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return 0;
    xcb_connection_t* connection = x11->connection();
    const char name[] = "_NET_SYSTEM_TRAY_S0";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name),
                              nullptr),
        &std::free);
    if (!atom)
        return 0;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner ? owner->owner : 0;
}

}  // namespace

SystemTrayShell::SystemTrayShell() : tray_(std::make_unique<QSystemTrayIcon>()) {
    WatchForHosts();
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

void SystemTrayShell::WatchForHosts() {
    if (!qGuiApp) {
        return;
    }
    const auto changed = [this] {
        if (OnHostChanged) {
            OnHostChanged(this);
        }
    };
    if (HostShowsMenu()) {
        // A restarted watcher has forgotten the items registered with its predecessor.
        auto* watcher = new QDBusServiceWatcher(QString::fromLatin1(kWatcherService),
                                                QDBusConnection::sessionBus(),
                                                QDBusServiceWatcher::WatchForRegistration);
        QObject::connect(watcher, &QDBusServiceWatcher::serviceRegistered, watcher, changed);
        watcher_.reset(watcher);
        return;
    }
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    // The selection's owner announces itself with a message to the root window that Qt does not
    // pass on; asking every two seconds costs one round trip to the X server.
    xembedHost_ = XEmbedTrayHost();
    auto* timer = new QTimer;
    timer->setInterval(2000);
    QObject::connect(timer, &QTimer::timeout, timer, [this, changed] {
        // A host that has only just taken the selection may not be found by Qt yet: an icon
        // that could not be added is tried again while a host is there.
        const quint32 host = XEmbedTrayHost();
        if (host != xembedHost_ || (host != 0 && refused_)) {
            xembedHost_ = host;
            changed();
        }
    });
    timer->start();
    watcher_.reset(timer);
}

bool SystemTrayShell::Add(const TrayNotifyData& data) {
    refused_ = !QSystemTrayIcon::isSystemTrayAvailable();
    if (refused_) {
        return false;
    }
    // Qt docks its icon into the host it finds when the icon is shown: showing it again after a
    // host change docks it into the new one.
    tray_->hide();
    const QIcon icon = IconOf(data);
    if (icon.isNull()) {
        return false;
    }
    tray_->setIcon(icon);
    tray_->setToolTip(data.Tip);
    tray_->show();
    return true;
}

bool SystemTrayShell::Modify(const TrayNotifyData& data) {
    const QIcon icon = IconOf(data);
    if (icon.isNull()) {
        return false;
    }
    tray_->setIcon(icon);
    tray_->setToolTip(data.Tip);
    return true;
}

QIcon SystemTrayShell::IconOf(const TrayNotifyData& data) {
    if (data.Icon.isEmpty()) {
        return {};
    }
    if (data.Icon != iconBytes_ || data.IconFile != iconFile_) {
        // A file is drawn at the size the panel asks for; bytes without a file are an .ico of
        // the stored form, or any other picture Qt can read.
        icon_ =
            data.IconFile.isEmpty() ? IconFromImageData(data.Icon) : IconFromFile(data.IconFile);
        iconBytes_ = data.Icon;
        iconFile_ = data.IconFile;
    }
    return icon_;
}

void SystemTrayShell::Remove() {
    refused_ = false;
    tray_->hide();
}

void SystemTrayShell::SetContextMenu(QMenu* menu) {
    if (HostShowsMenu()) {
        tray_->setContextMenu(menu);
    }
}

bool SystemTrayShell::CanPopUpMenu() const {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
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
