// The alarm rules of the section [Alarms], one key each (Alarm1, Alarm2, ...), beside the alarm
// of Param/UseMonitor, which stays as it is. A value reads ENABLED;NAME;KIND;VALUE;REPEAT:
//
//   1;欧元美元;above;1.1;rearm        1;现货黄金;move_pct;0.5@15;once
//
// ENABLED 1 or 0; NAME an instrument name as the selection file writes it; KIND cross, above,
// below, change_pct or move_pct; VALUE a price, a percentage, or for move_pct PCT@MINUTES;
// REPEAT once or rearm. A rule made while the prices were the demo's carries a sixth field
// "demo": it alone is checked against prices of a page marked demo.
#pragma once

#include <QString>

namespace kestrel {

enum class AlarmKind {
    Cross,      // the price reaches or crosses VALUE since the reference (the test of the
                // Param/UseMonitor alarm); the first price after start or arming is only recorded
    Above,      // a price at or above VALUE
    Below,      // a price at or below VALUE
    ChangePct,  // the change since the previous close, in percent, at or beyond VALUE either way
    MovePct,    // a move of VALUE percent within the last Minutes minutes, either way
};

enum class AlarmRepeat {
    Once,   // the rule turns itself off when it fires
    Rearm,  // fires again once the condition has cleared by a dead-band, five minutes on at least
};

struct AlarmRule {
    QString Key;  // the key in [Alarms] ("Alarm3"); not part of the line
    bool Enabled = true;
    QString Name;
    AlarmKind Kind = AlarmKind::Above;
    long double Value = 0;  // the price, or the percentage (always positive)
    int Minutes = 0;        // move_pct's window, 1 to 1440; 0 for the other kinds
    AlarmRepeat Repeat = AlarmRepeat::Once;
    bool Demo = false;  // made on demo prices
    // A line that cannot be read is kept as it stood (Raw), written back untouched and never
    // checked; the fields above mean nothing then.
    bool Readable = true;
    QString Raw;
};

// The rule of one line. Blanks around the fields are allowed; anything else that is not as
// described above (a missing or extra field, an unknown kind, a value that is not a positive
// plain number, minutes out of range, ...) gives an unreadable rule holding the line.
AlarmRule ParseAlarmLine(const QString& key, const QString& line);

// The line of a rule, read back by ParseAlarmLine to the same rule; an unreadable rule's Raw.
// Numbers take the settings file's float form ("." as the decimal point, at most 15 digits).
QString FormatAlarmLine(const AlarmRule& rule);

// What the rule watches, for the alarm window and the notification's body: "高于 1.1000",
// "低于 1.1000", "穿越 1.1000" (prices with the instrument's 2 or 4 decimals), "涨跌幅 ≥ 0.5%",
// "15分钟内波动 ≥ 0.5%". Empty for an unreadable rule.
QString AlarmRuleText(const AlarmRule& rule);

}  // namespace kestrel
