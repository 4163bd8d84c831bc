#include "platform/transfermodule.h"

#include <memory>
#include <mutex>

#include "net/transfer.h"

namespace kestrel {

void InstallTransferModule(const QString& folder) {
    using Make = ITransfer* (*)();
    struct Module {
        QString Path;
        std::once_flag Loaded;
        Make MakeTransfer = nullptr;
    };
    auto module = std::make_shared<Module>();
    module->Path = folder + QStringLiteral("/kestrel-net.so");
    SetDefaultTransferFactory([module]() -> std::unique_ptr<ITransfer> {
        std::call_once(module->Loaded, [&module] {
            QString error;
            module->MakeTransfer = reinterpret_cast<Make>(
                ModuleEntry(module->Path, "kestrel_make_transfer_v1", &error));
            if (module->MakeTransfer == nullptr)
                qWarning("kestrel: nothing can be downloaded: %s", qUtf8Printable(error));
        });
        return module->MakeTransfer ? std::unique_ptr<ITransfer>(module->MakeTransfer()) : nullptr;
    });
}

}  // namespace kestrel
