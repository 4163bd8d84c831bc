#include "net/netutils.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <optional>

namespace kestrel {

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr double kSecondsPerDay = 86400.0;

QString PercentDecoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

quint16 DefaultPort(const QString& scheme) {
    const QString s = scheme.toLower();
    if (s == u"http")
        return 80;
    if (s == u"https")
        return 443;
    if (s == u"ftp")
        return 21;
    if (s == u"gopher")
        return 70;
    return 0;
}

bool ValidScheme(const QString& scheme) {
    if (scheme.isEmpty() || scheme.size() > kMaxSchemeLength || !scheme.at(0).isLetter()) {
        return false;
    }
    return std::all_of(scheme.begin(), scheme.end(), [](QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 128) || c == u'+' || c == u'-' || c == u'.';
    });
}

// Splits "host", "host:port", "[v6]" or "[v6]:port"; false for a malformed port.
bool SplitHostPort(const QString& hostPort, QString& host, std::optional<quint16>& port) {
    qsizetype colon = -1;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0)
            return false;
        host = hostPort.mid(1, close - 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort.at(close + 1) != u':')
                return false;
            colon = close + 1;
        }
    } else {
        colon = hostPort.lastIndexOf(u':');
        host = colon < 0 ? hostPort : hostPort.left(colon);
    }
    if (colon < 0 || colon + 1 == hostPort.size())
        return true;
    const QString digits = hostPort.mid(colon + 1);
    bool ok = false;
    const uint value = digits.toUInt(&ok);
    if (!ok || value > 65535 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); })) {
        return false;
    }
    port = quint16(value);
    return true;
}

// Integer of a text the way the old runtime read it: optional sign and digits, surrounding
// blanks allowed; nullopt for anything else.
std::optional<int> ToInt(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

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

qint64 MsecsOfDay(double fraction) {
    return qint64(std::llround(fraction * kSecondsPerDay * 1000));
}

// The part after the last path delimiter, as the old runtime's file-name functions split names.
qsizetype LastDelimiter(const QString& text) {
    return std::max({text.lastIndexOf(u'\\'), text.lastIndexOf(u'/'), text.lastIndexOf(u':')});
}

QString FileExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > LastDelimiter(path) ? path.mid(dot) : QString();
}

// Finds the parameters after the first separator whose split is acceptable (step 3 of the
// command-line reduction); program and parameters stay as they are when none is.
void SplitAtSeparator(const QString& command, QString& program, QString& parameters) {
    const bool commandHasExtension = !FileExtension(command).isEmpty();
    for (const QStringView separator : {u" -", u" /", u" \\", u",", u" %"}) {
        const qsizetype p = command.indexOf(separator);
        if (p < 0)
            continue;
        const QString before = command.left(p);
        if (FileExtension(before).isEmpty() && commandHasExtension)
            continue;
        program = before;
        parameters = separator == u"," ? command.mid(p + 1) : command.mid(p);
        if (!parameters.isEmpty())
            return;
    }
}

void RemoveFirstQuotes(QString& text, int count) {
    for (int i = 0; i < count; ++i) {
        const qsizetype q = text.indexOf(u'"');
        if (q < 0)
            return;
        text.remove(q, 1);
    }
}

// A date-time truncated to the DOS format's 2-second steps, or nullopt outside its range.
std::optional<QDateTime> DosDateTime(double value) {
    const QDateTime local = DateTimeToQDateTime(value);
    if (!local.isValid() || local.date().year() < 1980 || local.date().year() > 2107) {
        return std::nullopt;
    }
    const QTime t = local.time();
    return QDateTime(local.date(), QTime(t.hour(), t.minute(), t.second() & ~1));
}

}  // namespace

bool CrackURL(const QString& url, URLComponents& parts) {
    const QString full = url.contains(u"://") ? url : QStringLiteral("http://") + url;
    const qsizetype schemeEnd = full.indexOf(u"://");
    URLComponents result;
    result.Scheme = full.left(schemeEnd);
    if (!ValidScheme(result.Scheme))
        return false;
    QString rest = full.mid(schemeEnd + 3);

    if (result.Scheme.compare(u"file", Qt::CaseInsensitive) == 0) {
        if (rest.startsWith(u"localhost/", Qt::CaseInsensitive))
            rest.remove(0, 9);
        result.Path = PercentDecoded(rest);
        if (result.Path.isEmpty() || result.Path.size() > kMaxPathLength)
            return false;
        parts = result;
        return true;
    }

    qsizetype authorityEnd = rest.size();
    for (const QChar c : {u'/', u'?', u'#'}) {
        const qsizetype p = rest.indexOf(c);
        if (p >= 0)
            authorityEnd = std::min(authorityEnd, p);
    }
    QString authority = rest.left(authorityEnd);
    const QString tail = rest.mid(authorityEnd);
    qsizetype extraStart = tail.size();
    for (const QChar c : {u'?', u'#'}) {
        const qsizetype p = tail.indexOf(c);
        if (p >= 0)
            extraStart = std::min(extraStart, p);
    }
    result.Path = PercentDecoded(tail.left(extraStart));
    result.Extra = PercentDecoded(tail.mid(extraStart));

    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(u':');
        result.UserName = PercentDecoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            result.Password = PercentDecoded(userInfo.mid(colon + 1));
    }
    std::optional<quint16> port;
    if (!SplitHostPort(authority, result.Host, port))
        return false;
    result.Host = PercentDecoded(result.Host);
    result.Port = port.value_or(DefaultPort(result.Scheme));

    if (result.Host.isEmpty() || result.Host.size() > kMaxHostLength ||
        result.UserName.size() > kMaxUserNameLength ||
        result.Password.size() > kMaxPasswordLength || result.Path.size() > kMaxPathLength ||
        result.Extra.size() > kMaxExtraLength) {
        return false;
    }
    parts = result;
    return true;
}

QString HostFromURL(const QString& url) {
    URLComponents parts;
    return CrackURL(url, parts) ? parts.Host : QString();
}

QString FileNameFromURL(const QString& url) {
    return url.mid(LastDelimiter(url) + 1);
}

std::unique_ptr<QFile> CreatePrivateFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        return nullptr;
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(name.constData());
        return nullptr;
    }
    return file;
}

QStringList SplitVersion(const QString& version) {
    QString rest = version + u'.';
    QStringList parts;
    for (int i = 0; i < 4; ++i) {
        const qsizetype dot = rest.indexOf(u'.');
        if (dot < 0) {
            parts << QStringLiteral("0");
            continue;
        }
        parts << rest.left(dot);
        rest = rest.mid(dot + 1);
    }
    return parts;
}

qint8 CompareVersions(const QString& a, const QString& b) {
    const QStringList pa = SplitVersion(a), pb = SplitVersion(b);
    for (int i = 0; i < 4; ++i) {
        const int na = ToInt(pa.at(i)).value_or(-1), nb = ToInt(pb.at(i)).value_or(-1);
        if (na == -1 || nb == -1) {
            const QByteArray ba = a.toUtf8(), bb = b.toUtf8();
            // Zero-terminated comparison: the shorter text ends in a 0 byte.
            for (qsizetype k = 0;; ++k) {
                const int ca = k < ba.size() ? quint8(ba.at(k)) : 0;
                const int cb = k < bb.size() ? quint8(bb.at(k)) : 0;
                if (ca != cb)
                    return qint8(std::clamp(ca - cb, -128, 127));
                if (ca == 0)
                    return 0;
            }
        }
        if (na != nb)
            return na > nb ? 1 : -1;
    }
    return 0;
}

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

double DateTimeFromQDateTime(const QDateTime& dateTime) {
    if (!dateTime.isValid())
        return 0;
    const qint64 days = kEpoch.daysTo(dateTime.date());
    const double fraction = dateTime.time().msecsSinceStartOfDay() / (kSecondsPerDay * 1000);
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime DateTimeToQDateTime(double dateTime, Qt::TimeSpec timeBasis) {
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > 1e9)
        return {};
    const double days = std::trunc(dateTime);
    qint64 msecs = MsecsOfDay(std::fabs(dateTime - days));
    qint64 dayCount = qint64(days);
    if (msecs >= qint64(kSecondsPerDay) * 1000) {  // rounding reached the next midnight
        msecs = 0;
        ++dayCount;
    }
    const QDate date = kEpoch.addDays(dayCount);
    if (!date.isValid())
        return {};
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(msecs)), timeBasis);
}

double GMTToLocal(double gmt) {
    const QDateTime utc = DateTimeToQDateTime(gmt, Qt::UTC);
    if (!utc.isValid())
        return gmt;
    const QDateTime local = utc.toTimeZone(QTimeZone::systemTimeZone());
    return DateTimeFromQDateTime(QDateTime(local.date(), local.time(), Qt::UTC));
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

    QDateTime gmt = parse().value_or(QDateTime(kEpoch, QTime(0, 0), Qt::UTC));
    if (rest.size() > 4)
        gmt = gmt.addSecs(-ParseZoneOffset(rest));
    return GMTToLocal(DateTimeFromQDateTime(gmt));
}

quint8 Percent(double value, double total) {
    if (total == 0)
        return 0;
    const double percent = std::nearbyint(value * 100 / total);
    if (!std::isfinite(percent) || percent <= 0)
        return 0;
    return percent >= 255 ? 255 : quint8(percent);
}

QString TempDirectory() {
    const QString temp = QDir::tempPath();
    if (QFileInfo(temp).isDir())
        return temp + u'/';
    return QCoreApplication::applicationDirPath() + u'/';
}

bool SetFileDates(const QString& fileName, double /*creation*/, double lastWrite,
                  double lastAccess) {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly)) {
        return false;
    }
    bool ok = true;
    for (const auto& [value, kind] : {std::pair{lastWrite, QFileDevice::FileModificationTime},
                                      std::pair{lastAccess, QFileDevice::FileAccessTime}}) {
        if (value == -1)
            continue;
        if (const std::optional<QDateTime> dos = DosDateTime(value)) {
            ok = file.setFileTime(*dos, kind) && ok;
        }
    }
    return ok;
}

qint64 FileSize64(const QString& fileName) {
    const QFileInfo info(fileName);
    return info.exists() && !info.isDir() ? info.size() : -1;
}

bool ResourceToStream(const QString& resourcePath, QIODevice* stream) {
    if (!stream)
        return false;
    QFile resource(resourcePath);
    if (!resource.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = resource.readAll();
    if (bytes.isEmpty())
        return false;
    return stream->write(bytes) == bytes.size();
}

void SplitCommandLine(const QString& command, QString& program, QString& parameters) {
    QString text = command.trimmed();
    program = QString();
    parameters = QString();
    if (text.isEmpty())
        return;

    const qsizetype first = text.indexOf(u'"');
    if (first >= 0)
        text.remove(first, 1);
    const qsizetype second = first >= 0 ? text.indexOf(u'"') : -1;
    if (second >= 0)
        text.remove(second, 1);

    if (second >= 0) {
        if (first == 0) {
            program = text.left(second);
            parameters = text.mid(second + 1).trimmed();
            RemoveFirstQuotes(parameters, 2);
        } else {
            parameters = text.mid(first);
            program = text.left(std::max<qsizetype>(0, first - 1));
        }
    } else {
        program = text;
        SplitAtSeparator(text, program, parameters);
        if (FileExtension(program).toUpper() == u".DLL" && program.toUpper().contains(u"RUNDLL")) {
            const qsizetype nameStart = LastDelimiter(text) + 1;
            const QString name = text.mid(nameStart);
            const qsizetype space = name.indexOf(u' ');
            program = text.left(nameStart) + (space < 0 ? name : name.left(space));
            parameters = space < 0 ? QString() : name.mid(space + 1);
        }
    }
    program = program.trimmed();
    parameters = parameters.trimmed();
}

}  // namespace kestrel
