#include "upgrade/infofile.h"

#include <QUrl>
#include <algorithm>
#include <cctype>

#include "net/netutils.h"
#include "settings/encodings.h"
#include "upgrade/upgradetext.h"

namespace kestrel {

namespace {

// Lower-cases ASCII letters only, so that positions in the copy are positions in the text.
QString AsciiLower(const QString& text) {
    QString lower = text;
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return lower;
}

QByteArray ParseDigest(const QString& hex) {
    const QByteArray bytes = hex.trimmed().toLatin1();
    if (bytes.size() != 64)
        return QByteArray("invalid");
    for (char c : bytes) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return QByteArray("invalid");
    }
    return QByteArray::fromHex(bytes);
}

}  // namespace

QString InfoValue(const QString& text, const QString& name, bool multiLine) {
    QString mark = u'#' + name + u'=';
    if (multiLine)
        mark += u'{';
    const qsizetype at = AsciiLower(text).indexOf(mark);
    if (at < 0)
        return {};
    const QStringView rest = QStringView(text).mid(at + mark.size());
    qsizetype end = 0;
    if (multiLine) {
        end = rest.indexOf(u'}');
        if (end < 0)
            end = rest.size();
    } else {
        while (end < rest.size() && rest[end].unicode() >= 0x20)
            ++end;
    }
    return rest.left(end).toString();
}

QList<UpgradeFile> InfoFiles(const QString& text) {
    QList<UpgradeFile> files;
    const auto add = [&](const QString& key) {
        const QString url = InfoValue(text, key);
        if (url.isEmpty())
            return false;
        const QString digest = InfoValue(text, key + QStringLiteral(".sha256"));
        files.append({url, digest.isEmpty() ? QByteArray() : ParseDigest(digest)});
        return true;
    };
    add(QStringLiteral("url"));
    add(QStringLiteral("url0"));
    // The numbered marks go on from the count found so far: with "#url=" present the next one
    // read is "#url2=", and the first gap ends the list.
    for (int n = int(files.size()) + 1; add(QStringLiteral("url") + QString::number(n)); ++n) {
    }
    return files;
}

TUpgradeMethod InfoMethod(const QString& text) {
    const QString method = InfoValue(text, QStringLiteral("method"));
    if (method.startsWith(u'1'))
        return TUpgradeMethod::umUseExternalSetup;
    if (method.startsWith(u'2'))
        return TUpgradeMethod::umRedirectToURL;
    return TUpgradeMethod::umSelfUpgrade;
}

QString DecodeInfoFile(const QByteArray& bytes) {
    return DecodeFileBytes(bytes).text;
}

QDate ParseVersionDate(const QString& text, QDate today) {
    const QStringList parts = text.split(u'/');
    if (parts.size() < 3)
        return today;
    bool okMonth = false, okDay = false, okYear = false;
    const int month = parts[0].toInt(&okMonth);
    const int day = parts[1].toInt(&okDay);
    // The year is everything after the second "/".
    const int year = parts.mid(2).join(u'/').toInt(&okYear);
    const QDate date(year, month, day);
    return okMonth && okDay && okYear && date.isValid() ? date : today;
}

QString FormatVersionDate(QDate date) {
    return QStringLiteral("%1/%2/%3")
        .arg(date.month(), 2, 10, QChar(u'0'))
        .arg(date.day(), 2, 10, QChar(u'0'))
        .arg(date.year(), 4, 10, QChar(u'0'));
}

bool IsNewerVersion(const QString& infoText, TUpdaterVersionControl control,
                    const QString& versionNumber, const QString& versionDate, QDate today) {
    if (control == TUpdaterVersionControl::byNumber)
        return CompareVersions(InfoValue(infoText, QStringLiteral("version")), versionNumber) > 0;
    return ParseVersionDate(InfoValue(infoText, QStringLiteral("date")), today) >
           ParseVersionDate(versionDate, today);
}

quint8 TotalPercent(int fileIndex, int fileCount, quint8 filePercent) {
    if (fileCount <= 0)
        return 0;
    return quint8(std::min(255, Percent(fileIndex, fileCount) + filePercent / fileCount));
}

QString TimeLeftText(qint64 seconds) {
    // Without a known length the client reports minus the elapsed time: nothing is known.
    seconds = std::max<qint64>(seconds, 0);
    return FormatUpgradeText(8, {seconds / 3600, (seconds / 60) % 60, seconds % 60});
}

QString SafeDownloadName(const QString& url) {
    const QString name = FileNameFromURL(url);
    const QString decoded = QUrl::fromPercentEncoding(name.toUtf8());
    if (decoded.isEmpty() || decoded.startsWith(u'.') || decoded.contains(u'/') ||
        decoded.contains(u'\\'))
        return {};
    for (const QChar c : decoded) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return {};
    }
    return name;
}

}  // namespace kestrel
