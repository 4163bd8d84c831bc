#include "ui/widgets/spinedit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>
#include <algorithm>

namespace kestrel {

namespace {

// Keys that change the text other than by typing a character.
bool IsEditingKey(QKeyEvent* event) {
    static constexpr QKeySequence::StandardKey editing[] = {
        QKeySequence::Paste,
        QKeySequence::Cut,
        QKeySequence::Undo,
        QKeySequence::Redo,
        QKeySequence::Delete,
        QKeySequence::Backspace,
        QKeySequence::DeleteEndOfWord,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine,
    };
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return true;
    return std::any_of(std::begin(editing), std::end(editing),
                       [event](QKeySequence::StandardKey key) { return event->matches(key); });
}

}  // namespace

TSpinEdit::TSpinEdit(QWidget* parent)
    : QLineEdit(parent), upButton_(new QToolButton(this)), downButton_(new QToolButton(this)) {
    // A number needs no input method; without one every character comes through the key
    // filter below, also while the user's Chinese input method is switched on.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    upButton_->setArrowType(Qt::UpArrow);
    downButton_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {upButton_, downButton_}) {
        // Holding a button down keeps stepping, as the platform's up-down control does.
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::ArrowCursor);
    }
    connect(upButton_, &QToolButton::clicked, this, [this] { ButtonClick(true); });
    connect(downButton_, &QToolButton::clicked, this, [this] { ButtonClick(false); });
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!changeHeld_ && OnChange)
            OnChange(this);
    });
    setText(QStringLiteral("0"));
    LayoutButtons();
}

double TSpinEdit::Value() const {
    return rules_.ReadValue(text());
}

void TSpinEdit::SetValue(double value) {
    setText(rules_.FormatValue(value));
}

void TSpinEdit::SetValueType(TValueType value) {
    const double current = Value();
    rules_.SetValueType(value);
    SetValue(current);
}

void TSpinEdit::SetDecimal(int value) {
    const double current = Value();
    rules_.SetDecimal(value);
    SetValue(current);
}

void TSpinEdit::UpClick() {
    Step(true);
}

void TSpinEdit::DownClick() {
    Step(false);
}

void TSpinEdit::Step(bool up) {
    if (isReadOnly()) {
        QApplication::beep();
        return;
    }
    const QString before = text();
    changeHeld_ = true;
    setText(rules_.Stepped(before, up));
    changeHeld_ = false;
    // At a bound the new text equals the old one: no change to report.
    if (text().compare(before, Qt::CaseInsensitive) != 0) {
        setModified(true);
        if (OnChange)
            OnChange(this);
    }
    const auto& clicked = up ? OnTopClick : OnBottomClick;
    if (clicked)
        clicked(this);
}

void TSpinEdit::ButtonClick(bool up) {
    if ((focusPolicy() & Qt::TabFocus) && isEnabled() && isVisible() && !hasFocus())
        setFocus(Qt::OtherFocusReason);
    Step(up);
}

int TSpinEdit::ButtonWidth() const {
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void TSpinEdit::LayoutButtons() {
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int width = ButtonWidth();
    const int inner = height() - 2 * frame;
    const int upHeight = inner / 2;
    const int x = this->width() - frame - width;
    upButton_->setGeometry(x, frame, width, upHeight);
    downButton_->setGeometry(x, frame + upHeight, width, inner - upHeight);
    // The text stops two pixels short of the buttons, so nothing typed runs under them.
    setTextMargins(0, 0, width + 2, 0);
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    LayoutButtons();
}

void TSpinEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    // The line edit turns its input method back on when it stops being read-only.
    if (event->type() == QEvent::ReadOnlyChange)
        setAttribute(Qt::WA_InputMethodEnabled, false);
    else if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        LayoutButtons();
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (arrowKeys_ && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        Step(key == Qt::Key_Up);
        event->accept();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        // The dialog's default and cancel buttons answer these.
        event->ignore();
        return;
    }
    const QString typed = event->text();
    const bool printable =
        !typed.isEmpty() && std::none_of(typed.cbegin(), typed.cend(), [](QChar c) {
            return c.category() == QChar::Other_Control;
        });
    if (!editorEnabled_ && (printable || IsEditingKey(event))) {
        QApplication::beep();
        event->accept();
        return;
    }
    if (printable) {
        // The characters replace the selection, so the rules look at what stays.
        QString rest = text();
        if (hasSelectedText())
            rest.remove(selectionStart(), selectionLength());
        for (const QChar c : typed) {
            if (!rules_.AcceptsChar(c, rest)) {
                QApplication::beep();
                event->accept();
                return;
            }
            rest += c;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TSpinEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    const bool fromKeyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                              reason == Qt::ShortcutFocusReason || reason == Qt::OtherFocusReason;
    if (!fromKeyboard)
        return;
    if (autoSelect_)
        selectAll();
    else
        deselect();
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The box's own context menu takes the focus only for a moment.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    const QString left = rules_.TextOnLeaving(text());
    if (left != text())
        setText(left);
}

}  // namespace kestrel
