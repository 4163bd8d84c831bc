// The alarms after each download: the alarm of Param/UseMonitor and the rules of [Alarms], and
// how what fires reaches the trader (the alarm window, its sound, one desktop notification, the
// alarm command).
#include <QAction>
#include <QSet>

#include "alarm/alarmmonitor.h"
#include "platform/notifier.h"
#include "settings/profile.h"
#include "settings/settingskeys.h"
#include "ui/alarm/alarmform.h"
#include "ui/errorreport.h"
#include "ui/logging.h"
#include "ui/mainwindow/mainform.h"

namespace kestrel {

void TMainForm::CheckPriceAlarm() {
    if (!Alarm.UseMonitor || Alarm.MonitorCcy.isEmpty())
        return;
    const AlarmTick tick = AlarmTickOf(Page, Alarm.MonitorCcy, QDateTime::currentDateTimeUtc());
    // An old price neither raises the alarm nor becomes its reference. (Demo prices do: this
    // alarm cannot tell whether it was set on them, and the demo shows it working.)
    if (tick.Price > 0 && !Rules.Fresh(tick))
        return;
    MonitorQuote = tick.Price;
    if (CheckCrossing(Alarm, MonitorPrevQuote, MonitorQuote) != AlarmVerdict::Raise)
        return;
    TAlarmForm* form = ShownAlarmForm();
    if (form == nullptr)
        return;
    form->RaiseAlarm(Alarm, MonitorQuote);
    form->show();
    // The window lists every download beyond the price; the desktop hears of it once.
    if (MonitorRaised)
        return;
    MonitorRaised = true;
    AnnounceAlarms({{MonitorRule(Alarm), tick, QDateTime::currentDateTimeUtc()}});
}

void TMainForm::CheckAlarmRules() {
    if (Rules.Rules().isEmpty())
        return;
    const QDateTime downloaded = QDateTime::currentDateTimeUtc();
    QList<AlarmTick> ticks;
    QSet<QString> named;
    for (const AlarmRule& rule : Rules.Rules()) {
        if (!rule.Readable || !rule.Enabled || named.contains(rule.Name))
            continue;
        named.insert(rule.Name);
        // With the built-in source a value is looked at when it comes, not again with each
        // other source's answer.
        if (UseBuiltin && !Builtin.Renewed(rule.Name))
            continue;
        ticks.append(AlarmTickOf(Page, rule.Name, downloaded));
    }
    const AlarmCheck check = Rules.Check(ticks);
    if (!check.Changed.isEmpty()) {
        // A once rule says in the file that it has fired; the others stay as the user wrote them.
        TIniFile ini(Files.IniPath);
        TIniEdit edit(ini);
        for (const AlarmRule& rule : check.Changed)
            edit.WriteString(QString::fromLatin1(kAlarmsSection), rule.Key, FormatAlarmLine(rule));
        try {
            edit.Commit();
        } catch (const WriteError& e) {
            ReportErrorOnce(QString::fromUtf8(e.what()));
        }
    }
    if (!check.Fired.isEmpty())
        DeliverAlarms(check.Fired);
}

void TMainForm::DeliverAlarms(const QList<AlarmFiring>& fired) {
    for (const AlarmFiring& f : fired)
        FiredRules.insert(f.Rule.Key);
    if (TAlarmForm* form = ShownAlarmForm()) {
        for (const AlarmFiring& f : fired)
            form->RaiseRule(f, Alarm.AlarmSound);
        form->show();
    }
    AnnounceAlarms(fired);
}

void TMainForm::AnnounceAlarms(const QList<AlarmFiring>& fired) {
    NotifyAlarms(fired);
    if (AlarmCommand.trimmed().isEmpty())
        return;
    for (const AlarmFiring& f : fired) {
        AlarmCommands.Run(AlarmCommand, {f.Rule.Name, AlarmPriceText(f.Rule.Name, f.Tick.Price),
                                         AlarmRuleText(f.Rule), f.At.toLocalTime()});
    }
}

void TMainForm::NotifyAlarms(const QList<AlarmFiring>& fired) {
    if (!AlarmNotify || !NotifierSource)
        return;
    if (Notifier == nullptr) {
        Notifier = NotifierSource();
        if (Notifier == nullptr)
            return;
        Notifier->OnActionInvoked = [this](INotifier*, quint32, const QString& key) {
            if (key == kAlarmShowTicker)
                ShowToFront();
            else if (key == kAlarmSilence && AlarmFormSource)
                AlarmFormSource()->Silence();
        };
    }
    const AlarmNotice notice = ComposeAlarmNotice(fired);
    QList<NotifyAction> actions;
    for (const auto& [key, label] : notice.Actions)
        actions.append({key, label});
    // Without a notification service the window and the sound have said it all.
    Notifier->Notify(notice.Summary, notice.Body,
                     notice.Critical ? NotifyUrgency::Critical : NotifyUrgency::Normal, actions,
                     [](bool shown, quint32) {
                         if (!shown)
                             qCInfo(lcUi, "The alarm's desktop notification was not shown");
                     });
}

TAlarmForm* TMainForm::ShownAlarmForm() {
    if (!AlarmFormSource)
        return nullptr;
    TAlarmForm* form = AlarmFormSource();
    if (!form->OnSoundingChanged) {
        form->OnSoundingChanged = [this](bool sounding) { mnStopAlarm->setVisible(sounding); };
    }
    return form;
}

}  // namespace kestrel
