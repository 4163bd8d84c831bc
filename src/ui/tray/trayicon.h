// The program's icon in the notification area: keeps the shown icon and tip in step with its
// properties, turns the mouse activity the shell reports into events, pops up the menu on the
// right button and can cycle through a list of icons.
#pragma once

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/trayshell.h"
#include "ui/tray/iconlist.h"

class QMenu;

namespace kestrel {

enum class TMouseButton { Left, Right, Middle };

enum class TShiftFlag : unsigned {
    Shift = 0x01,
    Alt = 0x02,
    Ctrl = 0x04,
    Left = 0x08,
    Right = 0x10,
    Middle = 0x20,
    Double = 0x40,
};
Q_DECLARE_FLAGS(TShiftState, TShiftFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

class TTrayIcon : public QObject {
public:
    // Freed with its owner. Takes the shell over: the icon must be able to leave the tray
    // while it dies, whatever the owner destroys first.
    TTrayIcon(QObject* owner, std::unique_ptr<ITrayShell> shell);
    ~TTrayIcon() override;
    TTrayIcon(const TTrayIcon&) = delete;
    TTrayIcon& operator=(const TTrayIcon&) = delete;

    bool Active() const { return active_; }
    void SetActive(bool value);
    // False: the shell's mouse messages are dropped and no event fires.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    QString Hint() const { return hint_; }
    void SetHint(const QString& value);
    // The static icon, shown when not animating. Assigning copies the picture.
    const TIcon& Icon() const { return icon_; }
    void SetIcon(const TIcon& value);
    // The animation frames; edit them in place (Icons()->Add(...)) or assign a whole list.
    TIconList* Icons() { return &icons_; }
    void SetIcons(const TIconList& value);
    bool Animated() const { return animated_; }
    // Stays false while Icons is empty.
    void SetAnimated(bool value);
    // Milliseconds between two frames; below 10 the animation still waits 10, so that a
    // careless value cannot flood the GUI thread with frames.
    quint16 Interval() const { return interval_; }
    void SetInterval(quint16 value) { interval_ = value; }
    // Becomes nullptr by itself when the menu is destroyed.
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu);

    // Press and release of the left button, or of the right one when no menu popped up.
    std::function<void(TTrayIcon* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
        OnClick;
    // Double click of the left button when the menu's default item did not take it.
    std::function<void(TTrayIcon* Sender)> OnDblClick;
    std::function<void(TTrayIcon* Sender, TShiftState Shift, int X, int Y)> OnMouseMove;
    std::function<void(TTrayIcon* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
        OnMouseDown;
    std::function<void(TTrayIcon* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
        OnMouseUp;

    // The frame at FrameIndex while animating a non-empty list, else Icon. nullptr for an
    // empty slot of the list.
    const TIcon* ActiveIcon() const;
    bool Added() const { return added_; }
    int FrameIndex() const { return frameIndex_; }

    void AddToTray();
    void RemoveFromTray();
    void RefreshTray();
    // The icon and tip the shell gets: the active icon's bytes and file (empty when there is
    // none) and the hint before its first "|", at most 63 characters.
    virtual TrayNotifyData FillNotifyData() const;

    // Pops PopupMenu up at the point; false when not Active, without a menu, or where the shell
    // cannot pop a menu up (then a right click reaches OnClick).
    bool ShowPopup(int X, int Y);
    // Triggers the menu's enabled default action; false when there was none to trigger.
    bool ClickDefaultItem();

protected:
    virtual void Click(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void DblClick();
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);

private:
    void NextFrame();
    void StartFrameWait();
    void HandleMessage(TrayMouseMessage message, QPoint pos, Qt::KeyboardModifiers modifiers);
    void Dispatch(TrayMouseMessage message, TShiftState shift, int x, int y);
    void UpdateShellMenu();

    std::unique_ptr<ITrayShell> shell_;
    TIcon icon_;
    TIconList icons_;
    QString hint_;
    QPointer<QMenu> popupMenu_;
    // Single-shot, one wait per frame: running while animating in the tray, stopped while the
    // icon is out of it (as a suspended animation thread would be).
    QTimer frameTimer_;
    quint16 interval_ = 150;
    int frameIndex_ = -1;
    // Buttons whose press was seen, so that their release makes a click.
    bool leftPressed_ = false;
    bool rightPressed_ = false;
    bool active_ = true;
    bool enabled_ = true;
    bool animated_ = false;
    bool added_ = false;
    bool destroying_ = false;
};

}  // namespace kestrel
