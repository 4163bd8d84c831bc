#include "platform/fake/fakesecretstore.h"

namespace kestrel {

std::optional<QString> FakeSecretStore::Read(const QString& key) {
    if (!Running || !Secrets.contains(key))
        return std::nullopt;
    return Secrets.value(key);
}

bool FakeSecretStore::Write(const QString& key, const QString& secret) {
    if (Running)
        Secrets.insert(key, secret);
    return Running;
}

bool FakeSecretStore::Remove(const QString& key) {
    return Running && Secrets.remove(key) > 0;
}

}  // namespace kestrel
