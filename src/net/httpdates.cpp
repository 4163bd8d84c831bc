#include "net/httpdates.h"

#include <QStringList>
#include <algorithm>
#include <optional>

#include "net/daynumbers.h"
#include "net/runtimetext.h"

namespace kestrel {

namespace {

// Cuts the text before the first separator off the front of rest (all of it when there is none).
QString CutToken(QString& rest, QChar separator) {
    const qsizetype p = rest.indexOf(separator);
    QString token = p < 0 ? rest : rest.left(p);
    rest = p < 0 ? QString() : rest.mid(p + 1);
    return token;
}

QString TrimStart(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return text.mid(i);
}

}  // namespace

int DayIndex(const QString& name) {
    static const QStringList days = {
        QStringLiteral("SUN"), QStringLiteral("MON"), QStringLiteral("TUE"), QStringLiteral("WED"),
        QStringLiteral("THU"), QStringLiteral("FRI"), QStringLiteral("SAT")};
    return int(days.indexOf(name.toUpper())) + 1;
}

int MonthIndex(const QString& name) {
    static const QStringList months = {
        QStringLiteral("JAN"), QStringLiteral("FEB"), QStringLiteral("MAR"), QStringLiteral("APR"),
        QStringLiteral("MAY"), QStringLiteral("JUN"), QStringLiteral("JUL"), QStringLiteral("AUG"),
        QStringLiteral("SEP"), QStringLiteral("OCT"), QStringLiteral("NOV"), QStringLiteral("DEC")};
    return int(months.indexOf(name.toUpper())) + 1;
}

int ParseZoneOffset(const QString& text) {
    const QString s = text.trimmed().left(5);
    if (s.size() < 5 || (s.at(0) != u'+' && s.at(0) != u'-'))
        return 0;
    const QString hh = s.mid(1, 2), mm = s.mid(3, 2);
    const auto digits = [](const QString& t) {
        return std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); });
    };
    if (!digits(hh) || !digits(mm))
        return 0;
    const int hours = hh.toInt(), minutes = mm.toInt();
    if (hours > 23 || minutes > 59)
        return 0;
    const int seconds = hours * 3600 + minutes * 60;
    return s.at(0) == u'-' ? -seconds : seconds;
}

double ParseHTTPDate(const QString& text) {
    QString rest = text.trimmed();
    if (rest.isEmpty())
        return 0;

    // Steps that fail leave the date at 0 but keep what is left of the text for the zone.
    const auto parse = [&rest]() -> std::optional<QDateTime> {
        if (DayIndex(rest.left(3)) != 0)
            rest = TrimStart(rest.mid(rest.indexOf(u' ') + 1));
        const qsizetype dash = rest.indexOf(u'-'), space = rest.indexOf(u' ');
        const QChar separator = (dash > 0 && (space < 0 || dash < space)) ? u'-' : u' ';

        int day = 0, month = 0;
        const auto readDay = [&]() {
            day = ToInt(CutToken(rest, separator)).value_or(1);
            rest = TrimStart(rest);
        };
        const auto readMonth = [&]() {
            month = MonthIndex(CutToken(rest, separator));
            rest = TrimStart(rest);
        };
        const qsizetype firstEnd = rest.indexOf(separator);
        if (MonthIndex(firstEnd < 0 ? rest : rest.left(firstEnd)) != 0) {
            readMonth();
            readDay();
        } else {
            readDay();
            readMonth();
        }

        const QString yearToken = CutToken(rest, u' ');
        int year = ToInt(yearToken).value_or(1900);
        if (year == 1900) {  // asctime: the year comes after the time
            year = ToInt(rest).value_or(1900);
            rest = yearToken;
        }
        if (year < 80) {
            year += 2000;
        } else if (year < 100) {
            year += 1900;
        }
        const QDate date(year, month, day);
        if (!date.isValid())
            return std::nullopt;

        QTime time(0, 0);
        if (rest.contains(u':')) {
            QString clock = CutToken(rest, u' ');
            const int hours = ToInt(CutToken(clock, u':')).value_or(0);
            const int minutes = ToInt(CutToken(clock, u':')).value_or(0);
            const int seconds = ToInt(CutToken(clock, u' ')).value_or(0);
            time = QTime(hours, minutes, seconds);
            if (!time.isValid())
                return std::nullopt;
        }
        rest = TrimStart(rest);
        return QDateTime(date, time, Qt::UTC);
    };

    QDateTime gmt = parse().value_or(DateTimeToQDateTime(0, Qt::UTC));
    if (rest.size() > 4)
        gmt = gmt.addSecs(-ParseZoneOffset(rest));
    return GMTToLocal(DateTimeFromQDateTime(gmt));
}

double RetryAfterSeconds(const QString& rawHeaders, const QDateTime& now) {
    QString value;
    // The last one counts: the headers of a response that was followed come first.
    for (const QStringView line : QStringView(rawHeaders).split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0 &&
            line.left(colon).trimmed().compare(u"retry-after", Qt::CaseInsensitive) == 0) {
            value = line.mid(colon + 1).trimmed().toString();
        }
    }
    if (value.isEmpty())
        return 0;
    bool number = false;
    const qint64 seconds = value.toLongLong(&number);
    if (number)
        return value.front().isDigit() ? double(seconds) : 0;
    const QDateTime when = DateTimeToQDateTime(ParseHTTPDate(value));
    if (!when.isValid())
        return 0;
    return std::max(0.0, now.msecsTo(when) / 1000.0);
}

}  // namespace kestrel
