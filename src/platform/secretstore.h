// The desktop's secret store, where the proxy password lives instead of the settings file when
// a store is running.
#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace kestrel {

class ISecretStore {
public:
    virtual ~ISecretStore() = default;

    // The secret kept under key; nullopt when there is none or no store answers.
    virtual std::optional<QString> Read(const QString& key) = 0;
    // False when no store took it.
    virtual bool Write(const QString& key, const QString& secret) = 0;
    virtual bool Remove(const QString& key) = 0;
};

// Each settings file has a password of its own.
QString ProxyPasswordKey(const QString& iniPath);

// Makes store the one the settings dialog and the settings load use (none: the settings file
// keeps the password). Call once at start-up, before any settings are loaded.
void InstallSecretStore(std::unique_ptr<ISecretStore> store);
ISecretStore* InstalledSecretStore();

}  // namespace kestrel
