// The alarm window: lists every alarm raised since the user last closed it, loops the sound if
// asked, and keeps itself in front until the user presses 关闭警报.
#pragma once

#include <QDialog>
#include <functional>

#include "alarm/alarmevaluator.h"
#include "alarm/alarmmonitor.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kestrel {

class ISoundPlayer;

class TAlarmForm : public QDialog {
    Q_OBJECT
public:
    // Created hidden, right after the main window, for the life of the program. The sound
    // player must outlive the window; wavPath is the optional sound file, iniPath the settings
    // file that Button1Click disarms.
    TAlarmForm(ISoundPlayer* sound, const QString& wavPath, const QString& iniPath,
               QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblAlarmPrice = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* mmAlarmInfo = nullptr;
    QPushButton* Button1 = nullptr;
    QTimer* tmTime = nullptr;

    // Adds the alarm line for the quote, shows the alarm price in the label and, when
    // AlarmSound is on and the sound file exists, (re)starts the sound from the beginning.
    // Does not show the window: the caller does that.
    void RaiseAlarm(const AlarmSettings& settings, long double MonitorQuote);

    // Adds the line of a rule of [Alarms] that fired: the alarm line of its price with the
    // rule's description after it; the label shows what the rule watches. The sound as
    // RaiseAlarm plays it when sound is true. Does not show the window.
    void RaiseRule(const AlarmFiring& firing, bool sound);

    // Stops the sound and leaves the lines and the window as they are.
    void Silence();
    // The looping sound is playing.
    bool Sounding() const { return sounding_; }
    // After the sound starts or stops.
    std::function<void(bool sounding)> OnSoundingChanged;

    // Called first by Button1Click: the main window turns its UseMonitor off.
    std::function<void()> OnAlarmClosed;

    // The user closes the alarm: disarm in memory, clear the lines, stop the sound, hide, and
    // write Param/UseMonitor=0 (a refused write is shown by the error report).
    void Button1Click();

    // Every second while showing: back to the front, leaving the keyboard focus where it is.
    void tmTimeTimer();

private:
    void Play(bool sound);
    void SetSounding(bool sounding);

    ISoundPlayer* sound_;
    bool sounding_ = false;
    QString wavPath_;
    QString iniPath_;
};

}  // namespace kestrel
