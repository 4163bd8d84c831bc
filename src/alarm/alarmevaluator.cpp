#include "alarm/alarmevaluator.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

#include "alarm/alarmmonitor.h"
#include "alarm/logging.h"
#include "quotes/catalogue.h"

namespace kestrel {

namespace {

struct AlarmTexts {
    Q_DECLARE_TR_FUNCTIONS(Alarm)
};

// An instrument as a notice names it: its translated name where one is in use, its catalogue
// name otherwise.
QString NoticeName(const QString& name) {
    const QString shown = ShownInstrumentName(name);
    return shown == DisplayName(name) ? name : shown;
}

// Rounding noise in prices and percentages read from text still counts as touching the line.
constexpr long double kTouch = 1e-10L;
constexpr long double kBandShare = 0.1L;

bool IsPriceKind(AlarmKind kind) {
    return kind == AlarmKind::Cross || kind == AlarmKind::Above || kind == AlarmKind::Below;
}

QString Identity(const AlarmRule& rule) {
    return rule.Key + u'=' + FormatAlarmLine(rule);
}

}  // namespace

AlarmTick AlarmTickOf(const RatesPage& page, const QString& name, const QDateTime& downloaded) {
    const QDateTime quoted = page.QuoteTimeFor(name);
    return {name, page.QuoteFor(name), quoted.isValid() ? quoted : downloaded,
            page.PreviousCloseFor(name), page.Demo()};
}

AlarmRule MonitorRule(const AlarmSettings& settings) {
    AlarmRule rule;
    rule.Key = QStringLiteral("UseMonitor");
    rule.Name = settings.MonitorCcy;
    rule.Kind = AlarmKind::Cross;
    rule.Value = settings.MonitorPrice;
    return rule;
}

AlarmEvaluator::AlarmEvaluator(Clock clock, std::chrono::seconds freshFor)
    : clock_(std::move(clock)), freshForSecs_(freshFor.count()) {}

void AlarmEvaluator::SetRules(const QList<AlarmRule>& rules) {
    QHash<QString, qsizetype> before;
    for (qsizetype i = 0; i < rules_.size(); ++i)
        before.insert(Identity(rules_[i]), i);
    std::vector<State> states(static_cast<size_t>(rules.size()));
    for (qsizetype i = 0; i < rules.size(); ++i) {
        const AlarmRule& rule = rules[i];
        const QString identity = Identity(rule);
        if (!rule.Readable && !reported_.contains(identity)) {
            reported_.insert(identity);
            qCWarning(lcAlarm).noquote() << "The alarm rule" << rule.Key << "cannot be read and is"
                                         << "ignored:" << rule.Raw;
        }
        const auto old = before.constFind(identity);
        if (old != before.constEnd())
            states[static_cast<size_t>(i)] = std::move(states_[static_cast<size_t>(*old)]);
    }
    rules_ = rules;
    states_ = std::move(states);
}

bool AlarmEvaluator::Fresh(const AlarmTick& tick) const {
    return Fresh(tick, clock_());
}

bool AlarmEvaluator::Fresh(const AlarmTick& tick, const QDateTime& now) const {
    if (!(tick.Price > 0) || !std::isfinite(tick.Price) || !tick.QuoteTime.isValid())
        return false;
    const qint64 age = tick.QuoteTime.secsTo(now);
    return age <= freshForSecs_ && age >= -freshForSecs_;
}

// Whether the rule's condition holds for this price, and whether it has fallen back by the
// dead-band that a rearming rule waits for.
bool AlarmEvaluator::Read(const AlarmRule& rule, State& state, const AlarmTick& tick,
                          Reading& out) {
    const long double p = tick.Price;
    const long double v = rule.Value;
    switch (rule.Kind) {
        case AlarmKind::Cross: {
            AlarmSettings settings;
            settings.UseMonitor = true;
            settings.MonitorCcy = rule.Name;
            settings.MonitorPrice = v;
            const AlarmVerdict verdict = CheckCrossing(settings, state.reference, p);
            out.holds = verdict == AlarmVerdict::Raise;
            out.clear = verdict == AlarmVerdict::Moved && std::fabs(p - v) >= state.band;
            return true;
        }
        case AlarmKind::Above:
            out.holds = p >= v - kTouch;
            out.clear = p < v - state.band;
            break;
        case AlarmKind::Below:
            out.holds = p <= v + kTouch;
            out.clear = p > v + state.band;
            break;
        case AlarmKind::ChangePct: {
            const long double close = tick.PreviousClose;
            if (!(close > 0) || !std::isfinite(close))
                return false;
            const long double change = std::fabs(p / close - 1) * 100;
            out.holds = change >= v - kTouch;
            out.clear = change < v - v * kBandShare;
            return true;
        }
        case AlarmKind::MovePct: {
            auto& window = state.window;
            const qint64 at = tick.QuoteTime.toMSecsSinceEpoch();
            // A source that steps back in time leaves nothing newer than its quote to compare with.
            while (!window.empty() && window.back().first > at)
                window.pop_back();
            const qint64 since = at - 60000LL * rule.Minutes;
            while (!window.empty() && window.front().first < since)
                window.pop_front();
            // |p / s - 1| is largest at the lowest or the highest price s of the window.
            long double move = 0;
            if (!window.empty()) {
                const auto [low, high] = std::minmax_element(
                    window.begin(), window.end(),
                    [](const auto& a, const auto& b) { return a.second < b.second; });
                move =
                    std::max(std::fabs(p / low->second - 1), std::fabs(p / high->second - 1)) * 100;
            }
            if (window.empty() || window.back().first != at)
                window.emplace_back(at, p);
            out.holds = move >= v - kTouch;
            out.clear = move < v - v * kBandShare;
            return true;
        }
    }
    // above and below: the reference is the last price short of the threshold.
    if (!out.holds)
        state.reference = p;
    return true;
}

AlarmCheck AlarmEvaluator::Check(const QList<AlarmTick>& ticks) {
    AlarmCheck result;
    if (rules_.isEmpty())
        return result;
    const QDateTime now = clock_();
    // Only the values that can be true; whether a demo value counts is the rule's to say.
    QHash<QString, const AlarmTick*> byName;
    byName.reserve(ticks.size());
    for (const AlarmTick& tick : ticks) {
        if (Fresh(tick, now))
            byName.insert(tick.Name, &tick);
        else
            byName.remove(tick.Name);
    }

    for (qsizetype i = 0; i < rules_.size(); ++i) {
        AlarmRule& rule = rules_[i];
        if (!rule.Readable || !rule.Enabled)
            continue;
        const AlarmTick* tick = byName.value(rule.Name);
        if (tick == nullptr || (tick->Demo && !rule.Demo))
            continue;
        State& state = states_[static_cast<size_t>(i)];
        Reading reading;
        if (!Read(rule, state, *tick, reading))
            continue;
        if (state.fired && reading.clear)
            state.cleared = true;
        if (!reading.holds)
            continue;
        if (state.fired && (!state.cleared || state.firedAt.secsTo(now) < kRearmAfter.count()))
            continue;

        result.Fired.append({rule, *tick, now});
        if (rule.Repeat == AlarmRepeat::Once) {
            rule.Enabled = false;
            result.Changed.append(rule);
            state = State();
            continue;
        }
        state.fired = true;
        state.cleared = false;
        state.firedAt = now;
        if (IsPriceKind(rule.Kind)) {
            const long double from = state.reference > 0 ? state.reference : tick->Price;
            state.band = std::fabs(rule.Value - from) * kBandShare;
        }
    }
    return result;
}

AlarmNotice ComposeAlarmNotice(const QList<AlarmFiring>& fired) {
    AlarmNotice notice;
    QStringList prices;
    QStringList rules;
    QSet<QString> named;
    for (const AlarmFiring& f : fired) {
        notice.Critical = notice.Critical || IsPriceKind(f.Rule.Kind);
        if (!named.contains(f.Rule.Name)) {
            named.insert(f.Rule.Name);
            prices.append(NoticeName(f.Rule.Name) + u' ' +
                          AlarmPriceText(f.Rule.Name, f.Tick.Price));
        }
        rules.append(fired.size() == 1 ? AlarmRuleText(f.Rule)
                                       : AlarmTexts::tr("%1：%2").arg(NoticeName(f.Rule.Name),
                                                                      AlarmRuleText(f.Rule)));
    }
    notice.Summary = prices.join(AlarmTexts::tr("，"));
    notice.Actions = {{kAlarmShowTicker, AlarmTexts::tr("显示牌价窗口")},
                      {kAlarmSilence, AlarmTexts::tr("停止警报")}};
    notice.Body = rules.join(u'\n');
    return notice;
}

}  // namespace kestrel
