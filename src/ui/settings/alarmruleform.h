// The small dialog of the settings dialog's alarm rules: one rule's instrument, kind, value,
// window and repeat. It refuses OK, with a message, until every value is one the rule line can
// hold and read back.
#pragma once

#include <QDialog>

#include "alarm/alarmrule.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrel {

// Gives a dialog opened from `owner` the owner's stays-on-top state, so that the window manager
// does not open it beneath the window it belongs to.
void StackAbove(QWidget* dialog, const QWidget* owner);

// Fills a combo box with the catalogue: each row shows an instrument's display name and holds
// its catalogue name, the name that files store.
void AddInstruments(QComboBox* box);
// The catalogue name that such a box stands for, picked or typed (a display name, or a catalogue
// name in any letter case); empty when it names none.
QString InstrumentIn(const QComboBox* box);

class TAlarmRuleForm : public QDialog {
    Q_OBJECT
public:
    // rule: the rule to change, or a new one. Its key, its on/off state and its demo mark are
    // kept; the controls give the rest.
    explicit TAlarmRuleForm(const AlarmRule& rule, QWidget* parent = nullptr);

    // The rule that OK took from the controls, one that its line reads back as; before OK, the
    // rule given.
    const AlarmRule& Rule() const { return rule_; }

    QComboBox* cbInstrument = nullptr;  // the catalogue's names; a name may be typed
    QComboBox* cbKind = nullptr;
    QLabel* lblValue = nullptr;
    QLineEdit* leValue = nullptr;
    QLineEdit* leMinutes = nullptr;  // move_pct only
    QComboBox* cbRepeat = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;

    // Allows OK only with values the rule can hold.
    void done(int result) override;

private:
    void cbKindChange();
    bool Refuse(QWidget* control, const QString& message);
    bool TakeControls();

    AlarmRule rule_;
};

}  // namespace kestrel
