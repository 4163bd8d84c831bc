// A one-line number box with a pair of up/down buttons at its right edge, for the settings
// dialog's intervals, line spacing and alarm price.
#pragma once

#include <QLineEdit>
#include <functional>

#include "ui/widgets/spinvalue.h"

class QToolButton;

namespace kestrel {

class TSpinEdit : public QLineEdit {
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    // The number the text shows; not kept apart from the text, so what the user typed is what
    // is read. Writing keeps the value within the bounds and replaces the text.
    double Value() const;
    void SetValue(double value);
    // Value rounded to a whole number (ties to even).
    qint64 AsInteger() const { return static_cast<qint64>(RoundToEven(Value())); }

    // Changing the type or the decimals shows the current value again in the new form.
    TValueType ValueType() const { return rules_.ValueType(); }
    void SetValueType(TValueType value);
    int Decimal() const { return rules_.Decimal(); }
    void SetDecimal(int value);
    double Increment() const { return rules_.Increment(); }
    void SetIncrement(double value) { rules_.SetIncrement(value); }
    // In force only while the two differ. Setting them does not touch the text: the next write
    // or the user leaving the box clamps it.
    double MinValue() const { return rules_.MinValue(); }
    void SetMinValue(double value) { rules_.SetMinValue(value); }
    double MaxValue() const { return rules_.MaxValue(); }
    void SetMaxValue(double value) { rules_.SetMaxValue(value); }
    // The Up and Down keys step the value.
    bool ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(bool value) { arrowKeys_ = value; }
    // Off: the text can only be changed by the buttons, the arrow keys and the program.
    bool EditorEnabled() const { return editorEnabled_; }
    void SetEditorEnabled(bool value) { editorEnabled_ = value; }
    Qt::Alignment Alignment() const { return alignment(); }
    void SetAlignment(Qt::Alignment value) { setAlignment(value); }
    // Select the whole text when the box receives the focus from the keyboard.
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool value) { autoSelect_ = value; }

    // The text changed, by the user, a step or the program.
    std::function<void(TSpinEdit* Sender)> OnChange;
    // After an up or a down step, whether or not it changed the value.
    std::function<void(TSpinEdit* Sender)> OnTopClick;
    std::function<void(TSpinEdit* Sender)> OnBottomClick;

    // One step, as a click on the buttons or the arrow keys make it. A read-only box beeps.
    void UpClick();
    void DownClick();

    QToolButton* UpButton() const { return upButton_; }
    QToolButton* DownButton() const { return downButton_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Step(bool up);
    void ButtonClick(bool up);
    void LayoutButtons();
    int ButtonWidth() const;

    TSpinValue rules_;
    QToolButton* upButton_;
    QToolButton* downButton_;
    bool arrowKeys_ = true;
    bool editorEnabled_ = true;
    bool autoSelect_ = true;
    // Holds OnChange back while a step decides whether the text changed at all.
    bool changeHeld_ = false;
};

}  // namespace kestrel
