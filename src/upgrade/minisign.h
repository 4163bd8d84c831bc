// Detached Ed25519 signatures in the minisign file format: the publisher signs the upgrade
// information file, and the program trusts it only when a key it holds made the signature.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace kestrel {

struct MinisignKey {
    QByteArray id;   // 8 bytes, as they appear in the key and in signatures
    QByteArray key;  // the 32-byte Ed25519 public key
};

// A public key from its base64 line ("RWQ..."), or from a whole public key file (the
// "untrusted comment:" line is skipped). Nothing for anything else.
std::optional<MinisignKey> ParseMinisignKey(const QString& text);

// The keys of a ";"-separated list of base64 key lines; the ones that do not parse are left
// out.
QList<MinisignKey> ParseMinisignKeys(const QString& list);

// The public key line of a key.
QString MinisignKeyLine(const MinisignKey& key);

struct MinisignCheck {
    bool valid = false;
    QString trustedComment;  // only when valid
    QString error;           // why not, when not valid
};

// Checks a signature file (four lines: untrusted comment, signature, trusted comment, global
// signature) for a message against the keys. Both the plain and the prehashed (BLAKE2b-512)
// forms are accepted.
MinisignCheck VerifyMinisign(const QByteArray& message, const QByteArray& signatureFile,
                             const QList<MinisignKey>& keys);

// A secret key for signing: the key id and the 64-byte Ed25519 secret key.
struct MinisignSecretKey {
    QByteArray id;
    QByteArray secret;
};

// A new key pair.
MinisignSecretKey MinisignGenerate();
MinisignKey MinisignPublicOf(const MinisignSecretKey& secretKey);

// The unencrypted secret key file of a key, and the key read back from such a file; nothing
// for a file that is damaged or protected by a password.
QByteArray MinisignSecretKeyFile(const MinisignSecretKey& secretKey);
std::optional<MinisignSecretKey> ParseMinisignSecretKey(const QByteArray& file);

// The public key file of a key.
QByteArray MinisignPublicKeyFile(const MinisignKey& key);

// A prehashed signature file for a message with the given trusted comment (one line).
QByteArray MinisignSign(const QByteArray& message, const MinisignSecretKey& secretKey,
                        const QString& trustedComment);

}  // namespace kestrel
