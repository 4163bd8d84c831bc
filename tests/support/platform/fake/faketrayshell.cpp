#include "platform/fake/faketrayshell.h"

namespace kestrel {

bool FakeTrayShell::Add(const TrayNotifyData& data) {
    Calls.append({Op::Add, data});
    if (AcceptAdd) {
        Shown = true;
        Current = data;
    }
    return AcceptAdd;
}

bool FakeTrayShell::Modify(const TrayNotifyData& data) {
    Calls.append({Op::Modify, data});
    if (Shown) {
        Current = data;
    }
    return Shown;
}

void FakeTrayShell::Remove() {
    Calls.append({Op::Remove, {}});
    Shown = false;
    Current = {};
}

void FakeTrayShell::SetContextMenu(QMenu* menu) {
    ContextMenu = menu;
}

void FakeTrayShell::Send(TrayMouseMessage message, QPoint pos, Qt::KeyboardModifiers modifiers) {
    if (OnMessage) {
        OnMessage(this, message, pos, modifiers);
    }
}

void FakeTrayShell::HostChanged() {
    if (OnHostChanged) {
        OnHostChanged(this);
    }
}

}  // namespace kestrel
