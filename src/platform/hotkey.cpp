#include "platform/hotkey.h"

namespace kestrel {

IHotKeyService::~IHotKeyService() = default;

}  // namespace kestrel
