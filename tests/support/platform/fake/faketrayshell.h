// A notification area for tests: records what it was told and lets the test click the icon.
#pragma once

#include <QList>
#include <QMenu>
#include <QPointer>

#include "platform/trayshell.h"

namespace kestrel {

class FakeTrayShell : public ITrayShell {
public:
    enum class Op { Add, Modify, Remove };
    struct Call {
        Op What;
        TrayNotifyData Data;  // empty for Remove
    };

    bool Add(const TrayNotifyData& data) override;
    bool Modify(const TrayNotifyData& data) override;
    void Remove() override;
    void SetContextMenu(QMenu* menu) override;
    bool CanPopUpMenu() const override { return PopsUpMenus; }

    // Sends one message as the desktop would.
    void Send(TrayMouseMessage message, QPoint pos = {10, 20},
              Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // A tray host comes up (or goes, after AcceptAdd = false), as the desktop would report it.
    void HostChanged();

    // What Add answers: false plays a desktop without a tray host.
    bool AcceptAdd = true;
    // Whether an icon is in the "notification area" now, and what it shows.
    bool Shown = false;
    TrayNotifyData Current;
    QList<Call> Calls;
    QPointer<QMenu> ContextMenu;
    // False plays Wayland, where the program cannot pop the icon's menu up itself.
    bool PopsUpMenus = true;
};

}  // namespace kestrel
