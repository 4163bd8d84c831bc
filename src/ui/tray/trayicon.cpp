#include "ui/tray/trayicon.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <algorithm>
#include <exception>

#include "ui/errorreport.h"

namespace kestrel {

TTrayIcon::TTrayIcon(QObject* owner, std::unique_ptr<ITrayShell> shell)
    : QObject(owner), shell_(std::move(shell)) {
    shell_->OnMessage = [this](ITrayShell*, TrayMouseMessage message, QPoint pos,
                               Qt::KeyboardModifiers modifiers) {
        HandleMessage(message, pos, modifiers);
    };
    // A host that starts after the program, or a new one after a panel restart, gets the icon.
    shell_->OnHostChanged = [this](ITrayShell*) {
        if (active_ && !destroying_) {
            AddToTray();
        }
    };
    icon_.OnChange = [this](TIcon*) { RefreshTray(); };
    icons_.OnChange = [this](TIconList*) { RefreshTray(); };
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { NextFrame(); });
}

TTrayIcon::~TTrayIcon() {
    destroying_ = true;
    enabled_ = false;
    icons_.OnChange = nullptr;
    icon_.OnChange = nullptr;
    SetAnimated(false);
    RemoveFromTray();
    shell_->OnMessage = nullptr;
    shell_->OnHostChanged = nullptr;
    shell_->SetContextMenu(nullptr);
}

void TTrayIcon::SetActive(bool value) {
    if (value == active_) {
        return;
    }
    active_ = value;
    if (active_) {
        AddToTray();
    } else {
        RemoveFromTray();
    }
}

void TTrayIcon::SetEnabled(bool value) {
    enabled_ = value;
    UpdateShellMenu();
}

void TTrayIcon::SetHint(const QString& value) {
    if (value == hint_) {
        return;
    }
    hint_ = value;
    RefreshTray();
}

void TTrayIcon::SetIcon(const TIcon& value) {
    icon_.Assign(value);
}

void TTrayIcon::SetIcons(const TIconList& value) {
    icons_.Assign(&value);
}

void TTrayIcon::SetAnimated(bool value) {
    const bool effective = value && icons_.Count() > 0;
    if (effective == animated_) {
        return;
    }
    animated_ = effective;
    if (animated_ && added_) {
        StartFrameWait();
    } else {
        frameTimer_.stop();
    }
    frameIndex_ = 0;
    RefreshTray();
}

void TTrayIcon::StartFrameWait() {
    // Below 10 ms a careless Interval would flood the GUI thread with frames.
    constexpr int kMinimumMs = 10;
    frameTimer_.start(std::max<int>(kMinimumMs, interval_));
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
    popupMenu_ = menu;
    UpdateShellMenu();
}

void TTrayIcon::UpdateShellMenu() {
    // A host that draws the menu itself would show it even with the icon disabled.
    shell_->SetContextMenu(enabled_ ? popupMenu_.data() : nullptr);
}

const TIcon* TTrayIcon::ActiveIcon() const {
    if (animated_ && icons_.Count() > 0) {
        return icons_.Get(std::clamp(frameIndex_, 0, icons_.Count() - 1));
    }
    return &icon_;
}

void TTrayIcon::AddToTray() {
    RemoveFromTray();
    const TIcon* icon = ActiveIcon();
    if (icon == nullptr || icon->Empty()) {
        return;
    }
    leftPressed_ = rightPressed_ = false;
    added_ = shell_->Add(FillNotifyData());
    // Frames go on while the shell refuses the icon: each one tries to add it again.
    if (animated_ && !frameTimer_.isActive()) {
        StartFrameWait();
    }
}

void TTrayIcon::RemoveFromTray() {
    if (added_) {
        shell_->Remove();
    }
    added_ = false;
    leftPressed_ = rightPressed_ = false;
    frameTimer_.stop();
}

void TTrayIcon::RefreshTray() {
    if (destroying_) {
        return;
    }
    if (animated_ && icons_.Count() == 0) {
        SetAnimated(false);  // refreshes again, showing Icon
        return;
    }
    if (added_) {
        const TIcon* icon = ActiveIcon();
        if (icon == nullptr || icon->Empty()) {
            RemoveFromTray();
        } else {
            shell_->Modify(FillNotifyData());
        }
    } else if (active_) {
        AddToTray();
    }
}

TrayNotifyData TTrayIcon::FillNotifyData() const {
    constexpr int kTipLength = 63;
    TrayNotifyData data;
    if (const TIcon* icon = ActiveIcon()) {
        data.Icon = icon->Data();
        data.IconFile = icon->File();
    }
    QString tip = hint_.section(QLatin1Char('|'), 0, 0);
    if (tip.size() > kTipLength) {
        tip.truncate(kTipLength);
        if (tip.back().isHighSurrogate()) {
            tip.chop(1);  // never half a character
        }
    }
    data.Tip = tip;
    return data;
}

void TTrayIcon::NextFrame() {
    if (destroying_ || !animated_) {
        return;
    }
    // The next wait starts as this frame is shown; taking the icon out of the tray stops it.
    StartFrameWait();
    ++frameIndex_;
    if (frameIndex_ >= icons_.Count()) {
        frameIndex_ = 0;
    }
    RefreshTray();
}

void TTrayIcon::HandleMessage(TrayMouseMessage message, QPoint pos,
                              Qt::KeyboardModifiers modifiers) {
    if (!enabled_) {
        return;
    }
    TShiftState shift;
    shift.setFlag(TShiftFlag::Shift, modifiers.testFlag(Qt::ShiftModifier));
    shift.setFlag(TShiftFlag::Ctrl, modifiers.testFlag(Qt::ControlModifier));
    shift.setFlag(TShiftFlag::Alt, modifiers.testFlag(Qt::AltModifier));
    // A faulty handler must not take the desktop's notification down with it.
    try {
        Dispatch(message, shift, pos.x(), pos.y());
    } catch (const std::exception& e) {
        ReportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ReportError(QCoreApplication::translate("kestrel::TTrayIcon", "托盘图标的事件处理出错"));
    }
}

void TTrayIcon::Dispatch(TrayMouseMessage message, TShiftState shift, int x, int y) {
    // A handler may free this component (the quit command); nothing is touched after that.
    const QPointer<TTrayIcon> alive(this);
    switch (message) {
        case TrayMouseMessage::MouseMove:
            MouseMove(shift, x, y);
            break;
        case TrayMouseMessage::LButtonDown:
            leftPressed_ = true;
            MouseDown(TMouseButton::Left, shift | TShiftFlag::Left, x, y);
            break;
        case TrayMouseMessage::LButtonUp:
            if (leftPressed_) {
                leftPressed_ = false;
                Click(TMouseButton::Left, shift | TShiftFlag::Left, x, y);
            }
            if (alive) {
                MouseUp(TMouseButton::Left, shift | TShiftFlag::Left, x, y);
            }
            break;
        case TrayMouseMessage::LButtonDblClk:
            DblClick();
            if (alive) {
                MouseDown(TMouseButton::Left, shift | TShiftFlag::Double, x, y);
            }
            break;
        case TrayMouseMessage::RButtonDown:
            rightPressed_ = true;
            MouseDown(TMouseButton::Right, shift | TShiftFlag::Right, x, y);
            break;
        case TrayMouseMessage::RButtonUp:
            if (rightPressed_) {
                rightPressed_ = false;
                Click(TMouseButton::Right, shift | TShiftFlag::Right, x, y);
            }
            if (alive) {
                MouseUp(TMouseButton::Right, shift | TShiftFlag::Right, x, y);
            }
            break;
        case TrayMouseMessage::RButtonDblClk:
            MouseDown(TMouseButton::Right, shift | TShiftFlag::Double, x, y);
            break;
        case TrayMouseMessage::MButtonDown:
            MouseDown(TMouseButton::Middle, shift | TShiftFlag::Middle, x, y);
            break;
        case TrayMouseMessage::MButtonUp:
            MouseUp(TMouseButton::Middle, shift | TShiftFlag::Middle, x, y);
            break;
        case TrayMouseMessage::MButtonDblClk:
            MouseDown(TMouseButton::Middle, shift | TShiftFlag::Double, x, y);
            break;
    }
}

bool TTrayIcon::ShowPopup(int X, int Y) {
    if (!active_ || popupMenu_ == nullptr) {
        return false;
    }
    if (!shell_->CanPopUpMenu()) {
        // Only hosts that cannot draw the menu ask the program for it; where it cannot pop one
        // up either, the right button acts as a click and the owner decides what to show.
        return false;
    }
    // popup(), not exec(): no nested event loop in which the owner could free this component.
    popupMenu_->popup(QPoint(X, Y));
    return true;
}

bool TTrayIcon::ClickDefaultItem() {
    if (!active_ || popupMenu_ == nullptr) {
        return false;
    }
    QAction* item = popupMenu_->defaultAction();
    if (item == nullptr || !item->isEnabled() || !popupMenu_->actions().contains(item)) {
        return false;
    }
    item->trigger();
    return true;
}

void TTrayIcon::Click(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (Button == TMouseButton::Right && ShowPopup(X, Y)) {
        return;
    }
    if (OnClick) {
        OnClick(this, Button, Shift, X, Y);
    }
}

void TTrayIcon::DblClick() {
    if (!ClickDefaultItem() && OnDblClick) {
        OnDblClick(this);
    }
}

void TTrayIcon::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) {
        OnMouseDown(this, Button, Shift, X, Y);
    }
}

void TTrayIcon::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove) {
        OnMouseMove(this, Shift, X, Y);
    }
}

void TTrayIcon::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp) {
        OnMouseUp(this, Button, Shift, X, Y);
    }
}

}  // namespace kestrel
