// A secret store for tests: secrets in memory, and a switch for a desktop without a store.
#pragma once

#include <QMap>

#include "platform/secretstore.h"

namespace kestrel {

class FakeSecretStore : public ISecretStore {
public:
    std::optional<QString> Read(const QString& key) override;
    bool Write(const QString& key, const QString& secret) override;
    bool Remove(const QString& key) override;

    bool Running = true;  // false: every call fails, as without a Secret Service
    QMap<QString, QString> Secrets;
};

}  // namespace kestrel
