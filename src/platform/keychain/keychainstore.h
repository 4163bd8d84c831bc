// The secret store over QtKeychain: the Secret Service of the desktop (GNOME Keyring, KWallet).
#pragma once

#include <memory>

#include "platform/secretstore.h"

namespace kestrel {

// Each call waits for the store's answer while serving the event loop, for a few seconds at
// most: a store that does not answer by then counts as none, and its job is left to finish on
// its own.
std::unique_ptr<ISecretStore> MakeKeychainStore();

}  // namespace kestrel
