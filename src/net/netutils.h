// Free functions shared by the HTTP client and the upgrade: URL parts, version texts, HTTP dates,
// progress percentages, and a few file and resource helpers. None of them keeps state.
//
// Date-times are doubles: days since 1899-12-30, the fraction being the time of day (for days
// before that date the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00).
#pragma once

#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <memory>

namespace kestrel {

struct URLComponents {
    QString Scheme, Host;
    quint16 Port = 0;
    QString UserName, Password, Path, Extra;  // Extra: query and fragment, with their "?" / "#"
};

// Largest size of each part in characters; a longer part makes CrackURL fail.
inline constexpr int kMaxSchemeLength = 32;
inline constexpr int kMaxHostLength = 256;
inline constexpr int kMaxUserNameLength = 128;
inline constexpr int kMaxPasswordLength = 128;
inline constexpr int kMaxPathLength = 2048;
inline constexpr int kMaxExtraLength = 2048;

// Splits a URL ("http://" is assumed when it has no "://"), percent-escapes decoded (as UTF-8).
// The port is the URL's own, else the scheme's default (http 80, https 443, ftp 21, gopher 70,
// anything else 0). A file URL gives its path and no host. On failure parts is left untouched.
bool CrackURL(const QString& url, URLComponents& parts);

// The host of CrackURL; empty when the URL cannot be split.
QString HostFromURL(const QString& url);

// The text after the last "/", "\" or ":" of the URL (the whole URL when there is none); a
// query stays attached, and a URL ending in "/" gives an empty name.
QString FileNameFromURL(const QString& url);

// Replaces `path` with a new, empty file that only the user may read and write (a download may
// be private), open for reading and writing without a buffer, so that a write the disk refuses
// fails at once rather than at a close nobody checks. Null when the old file cannot be removed
// or the new one cannot be made.
std::unique_ptr<QFile> CreatePrivateFile(const QString& path);

// The first four "."-separated parts of a version text, "0" for the missing ones.
QStringList SplitVersion(const QString& version);

// Positive when A is the later version, 0 when equal, negative when earlier. Parts are compared
// as numbers; when a part of either text is not a number the whole texts are compared byte by
// byte (UTF-8) and the result is the difference of the first differing bytes, saturated to the
// 8-bit range so that its sign always holds.
qint8 CompareVersions(const QString& a, const QString& b);

// Reads an HTTP date (RFC 1123, RFC 850 or asctime layout, optionally ending in a "+hhmm" /
// "-hhmm" zone offset) and returns it as a local date-time. An empty text gives 0; a text that
// cannot be read gives the date-time 0 taken as GMT and converted to local time.
double ParseHTTPDate(const QString& text);

// The zone offset at the start of the text ("+0800", "-0530") in seconds east of GMT; 0 for
// anything else, including a named zone.
int ParseZoneOffset(const QString& text);

// A GMT date-time as local time of the system time zone, with the zone's offset at that instant.
double GMTToLocal(double gmt);

// 1-based index of a three-letter day ("SUN" .. "SAT") or month ("JAN" .. "DEC") name, compared
// case-insensitively; 0 when it is none.
int DayIndex(const QString& name);
int MonthIndex(const QString& name);

// Conversions between date-time doubles and QDateTime. The double carries no zone: FromQDateTime
// takes the date and time as they stand in the value's own time basis, ToQDateTime gives them
// in the basis asked for. Values outside QDateTime's range or NaN give an invalid QDateTime.
double DateTimeFromQDateTime(const QDateTime& dateTime);
QDateTime DateTimeToQDateTime(double dateTime, Qt::TimeSpec timeBasis = Qt::LocalTime);

// value × 100 / total rounded to nearest (ties to even); 0 when total is 0 or the result is not
// finite (an arithmetic error); below 0 gives 0 and above 255 gives 255.
quint8 Percent(double value, double total);

// The system temporary folder with a trailing "/"; the executable's folder when it is missing.
QString TempDirectory();

// Sets the last-write and last-access times of an existing file (date-times in local time, -1 =
// leave unchanged), each truncated to the 2-second steps of DOS times and only within 1980..2107
// (a value outside is left unchanged). Linux keeps no settable creation time: creation is
// accepted and ignored. False when the file cannot be opened for writing or a time cannot be set.
bool SetFileDates(const QString& fileName, double creation, double lastWrite, double lastAccess);

// Size of an existing file; -1 when there is none (or it is a directory).
qint64 FileSize64(const QString& fileName);

// Appends the bytes of a Qt resource (":/..." path) to the stream at its current position. False
// when the stream is missing, the resource is missing or empty, or writing fails.
bool ResourceToStream(const QString& resourcePath, QIODevice* stream);

// Splits a command line of a file association into its program and its parameters, both trimmed.
void SplitCommandLine(const QString& command, QString& program, QString& parameters);

}  // namespace kestrel
