#include "upgrade/minisign.h"

#include <sodium.h>

#include <QStringList>

namespace kestrel {

namespace {

constexpr int kIdSize = 8;
constexpr qsizetype kPublicSize = 2 + kIdSize + crypto_sign_PUBLICKEYBYTES;
constexpr qsizetype kSignatureSize = 2 + kIdSize + crypto_sign_BYTES;
constexpr qsizetype kSaltSize = 32;
constexpr qsizetype kChecksumSize = 32;
constexpr qsizetype kSecretFileSize =
    2 + 2 + 2 + kSaltSize + 8 + 8 + kIdSize + crypto_sign_SECRETKEYBYTES + kChecksumSize;

const char kUntrusted[] = "untrusted comment: ";
const char kTrusted[] = "trusted comment: ";

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

const unsigned char* Bytes(const QByteArray& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

std::optional<QByteArray> StrictBase64(const QByteArray& text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return decoded.decoded;
}

QByteArray Blake2b(const QByteArray& message, size_t size) {
    QByteArray hash(qsizetype(size), Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size, Bytes(message),
                       size_t(message.size()), nullptr, 0);
    return hash;
}

bool VerifyDetached(const QByteArray& signature, const QByteArray& message, const QByteArray& key) {
    return crypto_sign_verify_detached(Bytes(signature), Bytes(message), quint64(message.size()),
                                       Bytes(key)) == 0;
}

QByteArray SignDetached(const QByteArray& message, const QByteArray& secret) {
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         Bytes(message), quint64(message.size()), Bytes(secret));
    return signature;
}

QByteArray SecretChecksum(const MinisignSecretKey& secretKey) {
    return Blake2b(QByteArray("Ed") + secretKey.id + secretKey.secret, kChecksumSize);
}

}  // namespace

std::optional<MinisignKey> ParseMinisignKey(const QString& text) {
    QString line;
    for (const QString& candidate : text.split(u'\n')) {
        if (!candidate.trimmed().isEmpty() && !candidate.startsWith(QLatin1String(kUntrusted)))
            line = candidate.trimmed();
    }
    const std::optional<QByteArray> bytes = StrictBase64(line.toLatin1());
    if (!bytes || bytes->size() != kPublicSize || !bytes->startsWith("Ed"))
        return std::nullopt;
    return MinisignKey{bytes->mid(2, kIdSize), bytes->mid(2 + kIdSize)};
}

QList<MinisignKey> ParseMinisignKeys(const QString& list) {
    QList<MinisignKey> keys;
    for (const QString& line : list.split(u';', Qt::SkipEmptyParts)) {
        if (const std::optional<MinisignKey> key = ParseMinisignKey(line.trimmed()))
            keys.append(*key);
    }
    return keys;
}

QString MinisignKeyLine(const MinisignKey& key) {
    return QString::fromLatin1((QByteArray("Ed") + key.id + key.key).toBase64());
}

MinisignCheck VerifyMinisign(const QByteArray& message, const QByteArray& signatureFile,
                             const QList<MinisignKey>& keys) {
    MinisignCheck check;
    if (!SodiumReady()) {
        check.error = QStringLiteral("the signature library cannot start");
        return check;
    }
    QList<QByteArray> lines = signatureFile.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.size() != 4 || !lines[0].startsWith(kUntrusted) || !lines[2].startsWith(kTrusted)) {
        check.error = QStringLiteral("the signature file is not in the expected form");
        return check;
    }
    const std::optional<QByteArray> signature = StrictBase64(lines[1]);
    const std::optional<QByteArray> global = StrictBase64(lines[3]);
    if (!signature || signature->size() != kSignatureSize || !global ||
        global->size() != crypto_sign_BYTES) {
        check.error = QStringLiteral("the signature file is damaged");
        return check;
    }
    const QByteArray algorithm = signature->left(2);
    if (algorithm != "Ed" && algorithm != "ED") {
        check.error = QStringLiteral("the signature uses an unknown algorithm");
        return check;
    }
    const QByteArray id = signature->mid(2, kIdSize);
    const QByteArray fileSignature = signature->mid(2 + kIdSize);
    const QByteArray trusted = lines[2].mid(qsizetype(sizeof kTrusted) - 1);
    for (const MinisignKey& key : keys) {
        if (key.id != id)
            continue;
        const QByteArray signedPart = algorithm == "ED" ? Blake2b(message, 64) : message;
        if (!VerifyDetached(fileSignature, signedPart, key.key)) {
            check.error = QStringLiteral("the signature does not match the file");
            return check;
        }
        if (!VerifyDetached(*global, fileSignature + trusted, key.key)) {
            check.error = QStringLiteral("the trusted comment was altered");
            return check;
        }
        check.valid = true;
        check.trustedComment = QString::fromUtf8(trusted);
        return check;
    }
    check.error = QStringLiteral("the signature was made by key %1, which is not trusted")
                      .arg(QString::fromLatin1(id.toHex().toUpper()));
    return check;
}

MinisignSecretKey MinisignGenerate() {
    SodiumReady();
    MinisignSecretKey secretKey;
    secretKey.id.resize(kIdSize);
    randombytes_buf(secretKey.id.data(), kIdSize);
    QByteArray publicKey(crypto_sign_PUBLICKEYBYTES, Qt::Uninitialized);
    secretKey.secret.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                        reinterpret_cast<unsigned char*>(secretKey.secret.data()));
    return secretKey;
}

MinisignKey MinisignPublicOf(const MinisignSecretKey& secretKey) {
    // The second half of an Ed25519 secret key is its public key.
    return {secretKey.id, secretKey.secret.right(crypto_sign_PUBLICKEYBYTES)};
}

QByteArray MinisignSecretKeyFile(const MinisignSecretKey& secretKey) {
    // Signature algorithm, no key derivation (not encrypted), BLAKE2b checksum, then an unused
    // salt and limits.
    QByteArray bytes = QByteArray("Ed") + QByteArray(2, '\0') + QByteArray("B2") +
                       QByteArray(kSaltSize + 16, '\0');
    bytes += secretKey.id + secretKey.secret + SecretChecksum(secretKey);
    return QByteArray(kUntrusted) + "kestrel-sign secret key\n" + bytes.toBase64() + '\n';
}

std::optional<MinisignSecretKey> ParseMinisignSecretKey(const QByteArray& file) {
    SodiumReady();
    QByteArray line;
    for (const QByteArray& candidate : file.split('\n')) {
        if (!candidate.trimmed().isEmpty() && !candidate.startsWith(kUntrusted))
            line = candidate.trimmed();
    }
    const std::optional<QByteArray> bytes = StrictBase64(line);
    if (!bytes || bytes->size() != kSecretFileSize || !bytes->startsWith("Ed") ||
        bytes->mid(2, 2) != QByteArray(2, '\0') || bytes->mid(4, 2) != "B2")
        return std::nullopt;
    const qsizetype at = 6 + kSaltSize + 16;
    MinisignSecretKey secretKey{bytes->mid(at, kIdSize),
                                bytes->mid(at + kIdSize, crypto_sign_SECRETKEYBYTES)};
    if (bytes->right(kChecksumSize) != SecretChecksum(secretKey))
        return std::nullopt;
    return secretKey;
}

QByteArray MinisignPublicKeyFile(const MinisignKey& key) {
    return QByteArray(kUntrusted) + "minisign public key " + key.id.toHex().toUpper() + '\n' +
           MinisignKeyLine(key).toLatin1() + '\n';
}

QByteArray MinisignSign(const QByteArray& message, const MinisignSecretKey& secretKey,
                        const QString& trustedComment) {
    SodiumReady();
    const QByteArray fileSignature = SignDetached(Blake2b(message, 64), secretKey.secret);
    const QByteArray trusted = trustedComment.toUtf8();
    const QByteArray global = SignDetached(fileSignature + trusted, secretKey.secret);
    return QByteArray(kUntrusted) + "signature from kestrel-sign secret key\n" +
           (QByteArray("ED") + secretKey.id + fileSignature).toBase64() + '\n' + kTrusted +
           trusted + '\n' + global.toBase64() + '\n';
}

}  // namespace kestrel
