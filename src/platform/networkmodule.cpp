#include "platform/networkmodule.h"

#include <memory>
#include <mutex>

#include "net/transfer.h"
#include "platform/logging.h"

namespace kestrel {

namespace {

// A module's entry point; nullptr, with the reason logged, when it cannot be had.
void* Entry(const QString& file, const char* symbol) {
    QString error;
    void* entry = ModuleEntry(file, symbol, &error);
    if (entry == nullptr)
        qCWarning(lcPlatform) << "the network module cannot be used:" << qUtf8Printable(error);
    return entry;
}

}  // namespace

void InstallTransferModule(const QString& folder) {
    using Make = ITransfer* (*)();
    struct Module {
        QString Folder;
        std::once_flag Loaded;
        Make MakeTransfer = nullptr;
    };
    auto module = std::make_shared<Module>();
    module->Folder = folder;
    SetDefaultTransferFactory([module]() -> std::unique_ptr<ITransfer> {
        std::call_once(module->Loaded, [&module] {
            module->MakeTransfer = reinterpret_cast<Make>(Entry(
                module->Folder + QStringLiteral("/kestrel-net.so"), "kestrel_make_transfer_v1"));
        });
        return module->MakeTransfer ? std::unique_ptr<ITransfer>(module->MakeTransfer()) : nullptr;
    });
}

bool NetworkModuleSaysOnline() {
    using Ask = bool (*)();
    static const auto ask = reinterpret_cast<Ask>(Entry(
        ModuleFolder() + QStringLiteral("/kestrel-online.so"), "kestrel_internet_connected_v1"));
    return ask != nullptr && ask();
}

}  // namespace kestrel
