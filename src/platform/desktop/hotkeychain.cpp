#include "platform/desktop/hotkeychain.h"

#include "platform/dbus/kglobalaccelhotkey.h"
#include "platform/dbus/portalhotkey.h"
#include "platform/x11/x11hotkey.h"

namespace kestrel {

HotKeyChain::HotKeyChain(std::vector<std::unique_ptr<IHotKeyService>> services)
    : services_(std::move(services)), current_(services_.size()) {
    for (std::size_t i = 0; i < services_.size(); ++i) {
        IHotKeyService& service = *services_[i];
        service.OnHotKey = [this](quint16 vk, quint16 mods) {
            if (OnHotKey)
                OnHotKey(vk, mods);
        };
        service.OnRefused = [this](quint16 vk, quint16 mods) {
            if (OnRefused)
                OnRefused(vk, mods);
        };
        service.OnSettled = [this, i](bool bound) { Settled(i, bound); };
    }
}

HotKeyChain::~HotKeyChain() {
    Unregister();
}

bool HotKeyChain::Register(quint16 modifiers, quint16 virtualKey) {
    Unregister();
    modifiers_ = modifiers;
    virtualKey_ = virtualKey;
    return TryFrom(0);
}

void HotKeyChain::Unregister() {
    if (current_ < services_.size())
        services_[current_]->Unregister();
    current_ = services_.size();
}

bool HotKeyChain::AnswersLater() const {
    return current_ < services_.size() && services_[current_]->AnswersLater();
}

bool HotKeyChain::KeyIsDesktopWide() const {
    return current_ < services_.size() && services_[current_]->KeyIsDesktopWide();
}

bool HotKeyChain::TryFrom(std::size_t index) {
    for (current_ = index; current_ < services_.size(); ++current_) {
        if (services_[current_]->Register(modifiers_, virtualKey_))
            return true;
    }
    return false;
}

void HotKeyChain::Settled(std::size_t index, bool bound) {
    // A service that is no longer asked may still answer: only the current one counts.
    if (index != current_)
        return;
    if (!bound) {
        if (TryFrom(index + 1) && AnswersLater())
            return;
        bound = current_ < services_.size();
    }
    if (OnSettled)
        OnSettled(bound);
}

std::unique_ptr<IHotKeyService> CreateHotKeyService() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::make_unique<X11HotKeyService>();
    std::vector<std::unique_ptr<IHotKeyService>> services;
    services.push_back(std::make_unique<PortalHotKeyService>());
    services.push_back(std::make_unique<KGlobalAccelHotKeyService>());
    services.push_back(std::make_unique<X11HotKeyService>());
    return std::make_unique<HotKeyChain>(std::move(services));
}

}  // namespace kestrel
