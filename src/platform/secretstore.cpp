#include "platform/secretstore.h"

#include <QFileInfo>

#include "settings/settingsload.h"

namespace kestrel {

namespace {

std::unique_ptr<ISecretStore>& Installed() {
    static std::unique_ptr<ISecretStore> store;
    return store;
}

}  // namespace

QString ProxyPasswordKey(const QString& iniPath) {
    return QStringLiteral("proxy-password:") + QFileInfo(iniPath).absoluteFilePath();
}

void InstallSecretStore(std::unique_ptr<ISecretStore> store) {
    Installed() = std::move(store);
    SetProxyPasswordLookup([](const QString& iniPath) {
        ISecretStore* secrets = InstalledSecretStore();
        return secrets ? secrets->Read(ProxyPasswordKey(iniPath)).value_or(QString()) : QString();
    });
}

ISecretStore* InstalledSecretStore() {
    return Installed().get();
}

}  // namespace kestrel
