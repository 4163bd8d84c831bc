#include "platform/desktop/platformservices.h"

#include "platform/keychain/keychainstore.h"
#include "platform/networkmodule.h"
#include "platform/secretstore.h"

namespace kestrel {

void InstallPlatformServices() {
    InstallTransferModule();
    InstallSecretStore(MakeKeychainStore());
}

}  // namespace kestrel
