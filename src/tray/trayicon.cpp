#include "tray/trayicon.h"

#include <QAction>
#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QMenu>
#include <QPainter>
#include <QSvgRenderer>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

#include "ui/errorreport.h"

namespace kestrel {

// Sleeps Interval between two frames and hands each frame advance to the GUI thread, which
// owns every field the advance touches. At most one advance is queued at a time, so a busy GUI
// thread never finds a backlog of frames when it comes back.
class TTimerThread : public QThread {
public:
    TTimerThread(TTrayIcon* owner, unsigned generation, bool suspended)
        : OwnerTray(owner), generation_(generation), suspended_(suspended) {}

    void Suspend() { SetFlag(suspended_, true); }
    void Resume() { SetFlag(suspended_, false); }
    // Wakes the thread at once; the caller then joins it.
    void Stop() { SetFlag(stop_, true); }
    // The GUI thread has run the queued advance; the next one may be queued.
    void FrameTaken() { pending_.store(false); }

protected:
    void run() override {
        constexpr int kMinimumMs = 10;
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (suspended_) {
                wake_.wait(lock, [this] { return stop_ || !suspended_; });
                continue;
            }
            const auto wait =
                std::chrono::milliseconds(std::max<int>(kMinimumMs, OwnerTray->Interval()));
            if (wake_.wait_for(lock, wait, [this] { return stop_ || suspended_; })) {
                continue;  // interrupted: only a full wait makes a frame
            }
            if (!pending_.exchange(true)) {
                TTrayIcon* owner = OwnerTray;
                const unsigned generation = generation_;
                QMetaObject::invokeMethod(
                    owner, [owner, generation] { owner->NextFrame(generation); },
                    Qt::QueuedConnection);
            }
        }
    }

private:
    void SetFlag(bool& flag, bool value) {
        {
            std::lock_guard guard(mutex_);
            flag = value;
        }
        wake_.notify_all();
    }

    // Outlives the thread: the tray icon joins it before it goes.
    TTrayIcon* const OwnerTray;
    const unsigned generation_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool suspended_;
    bool stop_ = false;
    std::atomic<bool> pending_{false};
};

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
    if (effective) {
        ++generation_;
        timer_ = std::make_unique<TTimerThread>(this, generation_, !added_);
        timer_->start();
        animated_ = true;
    } else {
        animated_ = false;
        StopAnimation();
    }
    frameIndex_ = 0;
    RefreshTray();
}

void TTrayIcon::StopAnimation() {
    if (timer_) {
        timer_->Stop();
        timer_->wait();
        timer_.reset();
    }
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
    if (animated_ && timer_) {
        timer_->Resume();
    }
}

void TTrayIcon::RemoveFromTray() {
    if (added_) {
        shell_->Remove();
    }
    added_ = false;
    leftPressed_ = rightPressed_ = false;
    if (animated_ && timer_) {
        timer_->Suspend();
    }
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

void TTrayIcon::NextFrame(unsigned generation) {
    if (timer_) {
        timer_->FrameTaken();
    }
    // An advance queued by a thread that has since been stopped belongs to no animation.
    if (destroying_ || !animated_ || generation != generation_) {
        return;
    }
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
        ReportError(QStringLiteral("托盘图标的事件处理出错"));
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

namespace {

// Qt writes one picture per .ico file; the tray wants one file with every size, so the
// single-picture files are joined under one directory.
QByteArray JoinIcoFiles(const QList<QByteArray>& singles) {
    constexpr int kHeader = 6;
    constexpr int kEntry = 16;
    QByteArray directory(kHeader, '\0');
    qToLittleEndian<quint16>(1, directory.data() + 2);
    qToLittleEndian<quint16>(static_cast<quint16>(singles.size()), directory.data() + 4);
    QByteArray pictures;
    const qint64 firstOffset = kHeader + kEntry * singles.size();
    for (const QByteArray& single : singles) {
        const char* entry = single.constData() + kHeader;
        const auto length = qFromLittleEndian<quint32>(entry + 8);
        const auto offset = qFromLittleEndian<quint32>(entry + 12);
        QByteArray joined(entry, kEntry);
        qToLittleEndian<quint32>(static_cast<quint32>(firstOffset + pictures.size()),
                                 joined.data() + 12);
        directory.append(joined);
        pictures.append(single.mid(offset, length));
    }
    return directory + pictures;
}

}  // namespace

TIcon IconFromResource(const QString& path, QList<int> sizes) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) {
        return {};
    }
    QList<QByteArray> singles;
    for (const int size : sizes) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "ico");
        if (!writer.write(image) || !LooksLikeIco(buffer.data())) {
            return {};
        }
        singles.append(buffer.data());
    }
    return singles.isEmpty() ? TIcon() : TIcon(JoinIcoFiles(singles));
}

}  // namespace kestrel
