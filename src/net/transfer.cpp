#include "net/transfer.h"

#include <mutex>

namespace kestrel {

namespace {
std::mutex gFactoryLock;
TransferFactory gDefaultFactory;
}  // namespace

void SetDefaultTransferFactory(TransferFactory factory) {
    std::lock_guard lock(gFactoryLock);
    gDefaultFactory = std::move(factory);
}

TransferFactory DefaultTransferFactory() {
    std::lock_guard lock(gFactoryLock);
    return gDefaultFactory;
}

}  // namespace kestrel
