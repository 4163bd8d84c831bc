// The desktop's notification area: one icon with a tip, and the mouse activity on it turned
// into the press/release messages that the tray component works from.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QPoint>
#include <QString>
#include <functional>
#include <memory>

class QMenu;
class QObject;
class QSystemTrayIcon;

namespace kestrel {

// What the shell is told to show.
struct TrayNotifyData {
    QByteArray Icon;   // the picture as the bytes of an image file; empty when there is none
    QString IconFile;  // the image file those bytes were read from, when there is one
    QString Tip;       // already cut to what the shell may show
};

enum class TrayMouseMessage {
    MouseMove,
    LButtonDown,
    LButtonUp,
    LButtonDblClk,
    RButtonDown,
    RButtonUp,
    RButtonDblClk,
    MButtonDown,
    MButtonUp,
    MButtonDblClk,
};

class ITrayShell {
public:
    virtual ~ITrayShell() = default;

    // Puts the icon into the notification area; false when there is none (no tray host
    // running) or the icon cannot be shown. Nothing is kept from a refused add.
    virtual bool Add(const TrayNotifyData& data) = 0;
    // Changes icon and tip of the icon that Add put there.
    virtual bool Modify(const TrayNotifyData& data) = 0;
    // Takes the icon out; harmless when it is not there.
    virtual void Remove() = 0;
    // The menu for hosts that draw the icon's menu themselves; nullptr for none. Hosts that
    // leave the menu to the program never show it on their own: a right click arrives as
    // RButtonDown/RButtonUp and the component pops the menu. The shell does not own the menu.
    virtual void SetContextMenu(QMenu* menu) = 0;
    // Whether the program can pop the icon's menu up itself when the host asks for it. On
    // Wayland a menu is a popup of a window the user has just clicked; asked for by a panel, it
    // comes up as a window of its own instead (a full-screen one on a tiling desktop).
    virtual bool CanPopUpMenu() const { return true; }

    // Mouse activity on the icon, with the cursor in screen coordinates and the keyboard
    // modifiers held at that moment. Delivered on the GUI thread.
    std::function<void(ITrayShell* Sender, TrayMouseMessage Message, QPoint Pos,
                       Qt::KeyboardModifiers Modifiers)>
        OnMessage;
    // A tray host came up, went away or was replaced (a panel that starts late or restarts):
    // an icon that is wanted has to be added again.
    std::function<void(ITrayShell* Sender)> OnHostChanged;
};

// QSystemTrayIcon. On X11 Qt talks StatusNotifierItem over D-Bus when a watcher with a host is
// on the session bus and embeds an XEmbed window otherwise (on other platforms it is always the
// D-Bus path). An SNI host shows the exported menu itself; an XEmbed tray only reports the
// press, and the component pops the menu - so the menu is handed to Qt only in the first case,
// else Qt would pop it a second time on top of the component's.
// Qt looks for a tray host only when the icon is shown, so the shell watches for one: the
// owner of the XEmbed manager selection, or the StatusNotifierWatcher's name on the bus.
class SystemTrayShell : public ITrayShell {
public:
    SystemTrayShell();
    ~SystemTrayShell() override;
    SystemTrayShell(const SystemTrayShell&) = delete;
    SystemTrayShell& operator=(const SystemTrayShell&) = delete;

    bool Add(const TrayNotifyData& data) override;
    bool Modify(const TrayNotifyData& data) override;
    void Remove() override;
    void SetContextMenu(QMenu* menu) override;
    bool CanPopUpMenu() const override;

    // Whether Qt drives this session's tray through StatusNotifierItem (decided as Qt decides
    // it, once per process, since Qt does not change its mind later either).
    static bool HostShowsMenu();

private:
    void WatchForHosts();
    QIcon IconOf(const TrayNotifyData& data);

    std::unique_ptr<QSystemTrayIcon> tray_;
    // The icon last made, kept while the picture stays the same (every download assigns it
    // again), so that Qt draws it once at each size and not once per download.
    QByteArray iconBytes_;
    QString iconFile_;
    QIcon icon_;
    std::unique_ptr<QObject> watcher_;
    quint32 xembedHost_ = 0;  // the owner of the manager selection when last looked at
    bool refused_ = false;    // the last Add found no tray
};

}  // namespace kestrel
