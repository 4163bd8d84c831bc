#include "ui/widgets/hotkeyedit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "settings/hotkeytext.h"

namespace kestrel {

THotKey::THotKey(QWidget* parent) : QLineEdit(parent) {
    setPlaceholderText(QCoreApplication::translate("kestrel::THotKey", "无"));
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

THotKey::~THotKey() {
    SetCapturing(false);
}

void THotKey::SetCapturing(bool on) {
    if (capturing_ == on)
        return;
    capturing_ = on;
    if (OnCapture)
        OnCapture(on);
}

void THotKey::focusInEvent(QFocusEvent* event) {
    SetCapturing(true);
    QLineEdit::focusInEvent(event);
}

void THotKey::focusOutEvent(QFocusEvent* event) {
    SetCapturing(false);
    QLineEdit::focusOutEvent(event);
}

void THotKey::hideEvent(QHideEvent* event) {
    SetCapturing(false);
    QLineEdit::hideEvent(event);
}

void THotKey::SetHotKey(quint16 value) {
    hotKey_ = value;
    setText(value == 0 ? QString() : ShortCutToText(value));
}

namespace {

bool IsModifierKey(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
           key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_Super_L ||
           key == Qt::Key_Super_R || key == Qt::Key_CapsLock || key == Qt::Key_NumLock ||
           key == 0 || key == Qt::Key_unknown;
}

// Keys that keep their meaning in a dialog when pressed without Ctrl or Alt.
bool IsDialogKey(const QKeyEvent* event) {
    const auto mods = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    if (mods)
        return false;
    switch (event->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool THotKey::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // The dialog's accelerators (Alt+1, Alt+F, ...) must not take a key being captured.
        if (!IsDialogKey(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Tab with Ctrl or Alt is a key to capture, not a move to the next control.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && !IsDialogKey(key)) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void THotKey::keyPressEvent(QKeyEvent* event) {
    if (IsDialogKey(event)) {
        event->ignore();
        return;
    }
    event->accept();
    const int key = event->key();
    if (IsModifierKey(key))
        return;
    const auto mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                            Qt::AltModifier | Qt::MetaModifier);
    if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) && mods == Qt::NoModifier) {
        SetHotKey(0);
        return;
    }
    const quint16 shortcut = ShortCutOfKey(key, event->modifiers());
    const bool accepted = IsGlobalHotKey(shortcut);
    if (accepted)
        SetHotKey(shortcut);
    else
        QApplication::beep();
    if (OnKeyTried)
        OnKeyTried(accepted);
}

void THotKey::mouseReleaseEvent(QMouseEvent* event) {
    // A middle click would paste the X selection: the box shows only the key it holds.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

}  // namespace kestrel
