// kestrel-sign: makes the publisher's key pair and signs upgrade information files, so that
// copies of Kestrel that trust the key accept them.
//
//   kestrel-sign generate SECRET-KEY-FILE PUBLIC-KEY-FILE
//   kestrel-sign sign SECRET-KEY-FILE INFO-FILE EXPIRY-DATE
//
// The signature goes to INFO-FILE.minisig; its trusted comment carries the information file's
// own "#version=" and the expiry date (YYYY-MM-DD), after which copies refuse the file.
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

#include "upgrade/infofile.h"
#include "upgrade/minisign.h"

namespace {

using namespace kestrel;

int Fail(const QString& text) {
    std::fprintf(stderr, "kestrel-sign: %s\n", qPrintable(text));
    return 1;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kestrel-sign generate SECRET-KEY-FILE PUBLIC-KEY-FILE\n"
                 "       kestrel-sign sign SECRET-KEY-FILE INFO-FILE EXPIRY-DATE\n");
    return 2;
}

// Writes a new file that only its owner can read; an existing file is never overwritten.
bool WriteNew(const QString& path, const QByteArray& bytes, mode_t mode) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && written && synced;
}

int Generate(const QString& secretPath, const QString& publicPath) {
    const MinisignSecretKey secretKey = MinisignGenerate();
    if (!WriteNew(secretPath, MinisignSecretKeyFile(secretKey), 0600))
        return Fail(QStringLiteral("cannot create %1 (it must not exist yet)").arg(secretPath));
    if (!WriteNew(publicPath, MinisignPublicKeyFile(MinisignPublicOf(secretKey)), 0644))
        return Fail(QStringLiteral("cannot create %1 (it must not exist yet)").arg(publicPath));
    std::printf("%s\n", qPrintable(MinisignKeyLine(MinisignPublicOf(secretKey))));
    return 0;
}

int Sign(const QString& secretPath, const QString& infoPath, const QString& expiry) {
    QFile secretFile(secretPath);
    if (!secretFile.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read %1").arg(secretPath));
    const std::optional<MinisignSecretKey> secretKey = ParseMinisignSecretKey(secretFile.readAll());
    if (!secretKey)
        return Fail(QStringLiteral("%1 is not an unencrypted secret key").arg(secretPath));
    QFile infoFile(infoPath);
    if (!infoFile.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read %1").arg(infoPath));
    const QByteArray info = infoFile.readAll();
    const QString version = InfoValue(DecodeInfoFile(info), QStringLiteral("version"));
    if (!IsVersionText(version))
        return Fail(QStringLiteral("%1 has no #version= with a version number").arg(infoPath));
    const QDate expires = QDate::fromString(expiry, Qt::ISODate);
    if (!expires.isValid() || expiry.size() != 10 || expires < QDate::currentDate())
        return Fail(QStringLiteral("the expiry must be a date from today on, as YYYY-MM-DD"));
    const QString comment = QStringLiteral("kestrelmv version=%1 expires=%2").arg(version, expiry);
    QSaveFile out(infoPath + QStringLiteral(".minisig"));
    if (!out.open(QIODevice::WriteOnly) || out.write(MinisignSign(info, *secretKey, comment)) < 0 ||
        !out.commit())
        return Fail(QStringLiteral("cannot write %1.minisig").arg(infoPath));
    std::printf("%s.minisig: %s\n", qPrintable(infoPath), qPrintable(comment));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == u"generate")
        return Generate(args[1], args[2]);
    if (args.size() == 4 && args[0] == u"sign")
        return Sign(args[1], args[2], args[3]);
    return Usage();
}
