#include "alarm/alarmrule.h"

#include <QCoreApplication>
#include <QStringList>
#include <cmath>
#include <optional>

#include "alarm/alarmmonitor.h"
#include "text/numbertext.h"

namespace kestrel {

namespace {

struct AlarmTexts {
    Q_DECLARE_TR_FUNCTIONS(Alarm)
};

constexpr int kMaxMinutes = 24 * 60;

struct KindName {
    AlarmKind kind;
    const char* name;
};
constexpr KindName kKinds[] = {{AlarmKind::Cross, "cross"},
                               {AlarmKind::Above, "above"},
                               {AlarmKind::Below, "below"},
                               {AlarmKind::ChangePct, "change_pct"},
                               {AlarmKind::MovePct, "move_pct"}};

std::optional<AlarmKind> KindOf(const QString& text) {
    for (const KindName& k : kKinds) {
        if (text.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0)
            return k.kind;
    }
    return std::nullopt;
}

QString NameOf(AlarmKind kind) {
    for (const KindName& k : kKinds) {
        if (k.kind == kind)
            return QLatin1String(k.name);
    }
    return {};
}

// A positive finite plain number; 0, negative values and overflows are no threshold.
std::optional<long double> Positive(const QString& text) {
    const std::optional<double> value = PlainNumberValue(text);
    if (!value || !(*value > 0) || !std::isfinite(*value))
        return std::nullopt;
    return *value;
}

QString Number(long double value) {
    return QString::number(static_cast<double>(value), 'g', 15);
}

AlarmRule Unreadable(const QString& key, const QString& line) {
    AlarmRule rule;
    rule.Key = key;
    rule.Readable = false;
    rule.Raw = line;
    return rule;
}

}  // namespace

AlarmRule ParseAlarmLine(const QString& key, const QString& line) {
    QStringList fields = line.split(u';');
    if (fields.size() != 5 && fields.size() != 6)
        return Unreadable(key, line);
    for (QString& field : fields)
        field = field.trimmed();

    AlarmRule rule;
    rule.Key = key;
    if (fields[0] != u"1" && fields[0] != u"0")
        return Unreadable(key, line);
    rule.Enabled = fields[0] == u"1";
    rule.Name = fields[1];
    const std::optional<AlarmKind> kind = KindOf(fields[2]);
    if (rule.Name.isEmpty() || !kind)
        return Unreadable(key, line);
    rule.Kind = *kind;

    QString value = fields[3];
    if (rule.Kind == AlarmKind::MovePct) {
        const qsizetype at = value.indexOf(u'@');
        if (at < 0)
            return Unreadable(key, line);
        const std::optional<qint64> minutes =
            ToWholeNumber(value.mid(at + 1).trimmed(), 1, kMaxMinutes);
        if (!minutes)
            return Unreadable(key, line);
        rule.Minutes = static_cast<int>(*minutes);
        value.truncate(at);
    }
    const std::optional<long double> threshold = Positive(value);
    if (!threshold)
        return Unreadable(key, line);
    rule.Value = *threshold;

    if (fields[4].compare(QLatin1String("once"), Qt::CaseInsensitive) == 0)
        rule.Repeat = AlarmRepeat::Once;
    else if (fields[4].compare(QLatin1String("rearm"), Qt::CaseInsensitive) == 0)
        rule.Repeat = AlarmRepeat::Rearm;
    else
        return Unreadable(key, line);

    if (fields.size() == 6) {
        if (fields[5].compare(QLatin1String("demo"), Qt::CaseInsensitive) != 0)
            return Unreadable(key, line);
        rule.Demo = true;
    }
    return rule;
}

QString FormatAlarmLine(const AlarmRule& rule) {
    if (!rule.Readable)
        return rule.Raw;
    QString value = Number(rule.Value);
    if (rule.Kind == AlarmKind::MovePct)
        value += u'@' + QString::number(rule.Minutes);
    QStringList fields{
        rule.Enabled ? QStringLiteral("1") : QStringLiteral("0"), rule.Name, NameOf(rule.Kind),
        value, rule.Repeat == AlarmRepeat::Once ? QStringLiteral("once") : QStringLiteral("rearm")};
    if (rule.Demo)
        fields.append(QStringLiteral("demo"));
    return fields.join(u';');
}

QString AlarmRuleText(const AlarmRule& rule) {
    if (!rule.Readable)
        return {};
    switch (rule.Kind) {
        case AlarmKind::Cross:
            return AlarmTexts::tr("穿越 %1").arg(AlarmPriceText(rule.Name, rule.Value));
        case AlarmKind::Above:
            return AlarmTexts::tr("高于 %1").arg(AlarmPriceText(rule.Name, rule.Value));
        case AlarmKind::Below:
            return AlarmTexts::tr("低于 %1").arg(AlarmPriceText(rule.Name, rule.Value));
        case AlarmKind::ChangePct:
            return AlarmTexts::tr("涨跌幅 ≥ %1%").arg(Number(rule.Value));
        case AlarmKind::MovePct:
            return AlarmTexts::tr("%1分钟内波动 ≥ %2%")
                .arg(QString::number(rule.Minutes), Number(rule.Value));
    }
    return {};
}

}  // namespace kestrel
