#include "upgrade/infofile.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <cctype>

#include "net/progress.h"
#include "net/urls.h"
#include "net/versions.h"
#include "text/encodings.h"
#include "updatehelper/updatehelper.h"
#include "upgrade/minisign.h"
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

InfoIndex::InfoIndex(const QString& text) : text_(text) {
    // One pass: each "#" starts a candidate name that ends at the next "=" (a mark) or "#" (no
    // mark; the scan goes on from there), so no character is looked at twice.
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        if (text[i] != u'#') {
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        while (j < size && text[j] != u'=' && text[j] != u'#')
            ++j;
        if (j == size)
            break;
        if (text[j] == u'=') {
            // The first mark of a name counts, as a search from the start would find it.
            const QString name = AsciiLower(text.mid(i + 1, j - i - 1));
            if (!marks_.contains(name))
                marks_.insert(name, j + 1);
            if (j + 1 < size && text[j + 1] == u'{' && !marks_.contains(name + u'{'))
                marks_.insert(name + u'{', j + 2);
            ++j;
        }
        i = j;
    }
}

QString InfoIndex::Value(const QString& name, bool multiLine) const {
    const auto found = marks_.constFind(multiLine ? name + u'{' : name);
    if (found == marks_.cend())
        return {};
    const QStringView rest = QStringView(text_).mid(found.value());
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

QString InfoValue(const QString& text, const QString& name, bool multiLine) {
    return InfoIndex(text).Value(name, multiLine);
}

QList<UpgradeFile> InfoFiles(const QString& text) {
    const InfoIndex index(text);
    QList<UpgradeFile> files;
    const auto add = [&](const QString& key) {
        const QString url = index.Value(key);
        if (url.isEmpty())
            return false;
        const QString digest = index.Value(key + QStringLiteral(".sha256"));
        files.append({url, digest.isEmpty() ? QByteArray() : ParseDigest(digest)});
        return true;
    };
    add(QStringLiteral("url"));
    add(QStringLiteral("url0"));
    // The numbered marks go on from the count found so far: with "#url=" present the next one
    // read is "#url2=", and the first gap ends the list. One past the most a file may list is
    // enough to refuse it.
    for (int n = int(files.size()) + 1;
         files.size() <= kMaxInfoFiles && add(QStringLiteral("url") + QString::number(n)); ++n) {
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

bool IsVersionText(const QString& text) {
    static const QRegularExpression version(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9}){0,7}$"));
    return version.match(text).hasMatch();
}

QString InfoRefusal(const QByteArray& info, const QByteArray& signature,
                    const QList<MinisignKey>& keys, QDate today, InfoDistrust* kind) {
    InfoDistrust ignored;
    InfoDistrust& distrust = kind ? *kind : ignored;
    distrust = InfoDistrust::unsigned_;
    if (signature.isEmpty())
        return QStringLiteral("it has no signature");
    distrust = InfoDistrust::invalid;
    const MinisignCheck check = VerifyMinisign(info, signature, keys);
    if (!check.valid)
        return check.error;
    static const QRegularExpression comment(
        QStringLiteral("^kestrelmv version=(\\S+) expires=([0-9]{4}-[0-9]{2}-[0-9]{2})$"));
    const QRegularExpressionMatch match = comment.match(check.trustedComment);
    if (!match.hasMatch())
        return QStringLiteral("its trusted comment \"%1\" is not in the expected form")
            .arg(check.trustedComment);
    const QString version = match.captured(1);
    const QString text = DecodeInfoFile(info);
    const InfoIndex index(text);
    if (!IsVersionText(version))
        return QStringLiteral("its version \"%1\" is not a version").arg(version);
    if (index.Value(QStringLiteral("version")) != version)
        return QStringLiteral("its signed version %1 differs from its #version=").arg(version);
    const QDate expires = QDate::fromString(match.captured(2), Qt::ISODate);
    if (!expires.isValid() || today > expires) {
        if (expires.isValid())
            distrust = InfoDistrust::expired;
        return QStringLiteral("it expired on %1").arg(match.captured(2));
    }
    const QList<UpgradeFile> files = InfoFiles(text);
    if (files.size() > kMaxInfoFiles)
        return QStringLiteral("it lists more than %1 files").arg(kMaxInfoFiles);
    const bool downloads = InfoMethod(text) != TUpgradeMethod::umRedirectToURL;
    for (const UpgradeFile& file : files) {
        const QString scheme = QUrl(file.URL).scheme().toLower();
        if (scheme != u"http" && scheme != u"https")
            return QStringLiteral("it names the address %1, which is not http or https")
                .arg(file.URL);
        if (downloads && file.Sha256.size() != 32)
            return QStringLiteral("it gives no SHA-256 digest for %1").arg(file.URL);
    }
    distrust = InfoDistrust::none;
    return {};
}

QString RefusedTarget(const QList<UpgradeFile>& files, const QString& programName) {
    for (const UpgradeFile& file : files) {
        const QString name = SafeDownloadName(file.URL);
        if (name != programName && name != QLatin1String(helper::kCompanionName))
            return name.isEmpty() ? file.URL : name;
    }
    return {};
}

}  // namespace kestrel
