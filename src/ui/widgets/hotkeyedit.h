// The hot-key capture box of the settings dialog.
#pragma once

#include <QLineEdit>
#include <functional>

#include "settings/keycodes.h"

namespace kestrel {

// The hot-key capture box: holds one key with its modifiers as a shortcut value, shown in the
// settings file's text form. Backspace or Delete on their own empty it; Tab, Enter and Esc on
// their own keep their usual meaning in a dialog; a key without a virtual-key code, and a key
// that may not serve as a global hot key (IsGlobalHotKey), is refused with a beep and the box
// keeps what it held.
class THotKey : public QLineEdit {
public:
    explicit THotKey(QWidget* parent = nullptr);
    ~THotKey() override;

    quint16 HotKey() const { return hotKey_; }
    void SetHotKey(quint16 value);

    // Told of each key the user tries: false when it was refused.
    std::function<void(bool accepted)> OnKeyTried;
    // True when the box takes the keyboard, false when it gives it up (focus lost, hidden or
    // gone): the program's own grab of its hot key is to be let go meanwhile, or the key in use
    // could never be typed in.
    std::function<void(bool capturing)> OnCapture;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetCapturing(bool on);

    quint16 hotKey_ = 0;
    bool capturing_ = false;
};

}  // namespace kestrel
