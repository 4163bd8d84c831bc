// The upgrade information file and the version check: reading the "#"-marked keys, the list of
// files, comparing the published version with the program's own, and the few numbers the
// download loop shows.
//
// The information file is not read line by line: each key is searched for in the whole text, in
// any letter case, also in the middle of a line.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace kestrel {

struct MinisignKey;

// The most files an information file may list; a longer list is refused as a whole.
inline constexpr int kMaxInfoFiles = 300;

enum class TUpgradeMethod { umSelfUpgrade, umUseExternalSetup, umRedirectToURL };
enum class TUpdaterVersionControl { byDate, byNumber };

// One file to download and the SHA-256 digest it must have (empty when none was published).
struct UpgradeFile {
    QString URL;
    QByteArray Sha256;  // raw 32 bytes
};

// The value of "#name=" (names are given in lower case): the text behind the mark up to the first
// character below 0x20, or with multiLine the value of "#name={" up to the first "}". Empty when
// the mark is missing. The value keeps its letter case and is not trimmed.
QString InfoValue(const QString& text, const QString& name, bool multiLine = false);

// Every mark of a text found in one pass, for reading many keys of a long file: InfoValue for
// each key in linear time overall. The text must outlive the index.
class InfoIndex {
public:
    explicit InfoIndex(const QString& text);
    QString Value(const QString& name, bool multiLine = false) const;

private:
    const QString& text_;
    QHash<QString, qsizetype> marks_;  // lower-case name ("name{" for "#name={") -> value start
};

// The file addresses: "#url=", then "#url0=", then the numbered marks from the number after the
// files found so far, up to the first missing one. Each address may carry a digest in a mark of
// the same name followed by ".sha256" ("#url2.sha256=" + 64 hex digits); a digest mark that is
// not 64 hex digits makes the file unverifiable, so it is kept with an unusable digest and fails.
// At most kMaxInfoFiles + 1 are read.
QList<UpgradeFile> InfoFiles(const QString& text);

// "#method=": "1" external setup, "2" a web page, anything else a self-upgrade.
TUpgradeMethod InfoMethod(const QString& text);

// The bytes of the information file as text: UTF-8 when they are valid UTF-8, else GBK.
QString DecodeInfoFile(const QByteArray& bytes);

// month/day/year; today when any part is missing, not a number or no such date.
QDate ParseVersionDate(const QString& text, QDate today = QDate::currentDate());
// "04/22/2012".
QString FormatVersionDate(QDate date);

// Whether the information file announces a version later than the program's own.
bool IsNewerVersion(const QString& infoText, TUpdaterVersionControl control,
                    const QString& versionNumber, const QString& versionDate,
                    QDate today = QDate::currentDate());

// The percent of all files done: files before this one, plus this file's share.
quint8 TotalPercent(int fileIndex, int fileCount, quint8 filePercent);

// The wizard's time-left line for a number of seconds: hours, then minutes and seconds of two
// digits.
QString TimeLeftText(qint64 seconds);

// The name under which a downloaded file is stored beside the program (before ".uTMP"), or
// empty when the address's file name could leave that folder or hide itself: empty, a leading
// dot ("..", ".profile"), a path separator or a control character once percent escapes are
// decoded.
QString SafeDownloadName(const QString& url);

// Whether a text is a version number: up to eight dot-separated fields of digits.
bool IsVersionText(const QString& text);

// Why a published information file is not to be trusted, or empty when it is: a signature
// file missing or not made by one of the keys, a trusted comment other than
// "kestrelmv version=<V> expires=<YYYY-MM-DD>", a V that is not a version or differs from
// "#version=", an expiry before today, too many files, an address that is not http or https,
// or a download without its "#urlN.sha256=" digest. Whether the version is newer is the
// caller's question. kind, when given, receives what the refusal comes down to for the user.
enum class InfoDistrust { none, unsigned_, expired, invalid };
QString InfoRefusal(const QByteArray& info, const QByteArray& signature,
                    const QList<MinisignKey>& keys, QDate today = QDate::currentDate(),
                    InfoDistrust* kind = nullptr);

// The first file of a self-upgrade that would replace something other than the program or its
// companion program (the settings file, the selection file, a file the user keeps beside the
// program), or empty when there is none.
QString RefusedTarget(const QList<UpgradeFile>& files, const QString& programName);

}  // namespace kestrel
