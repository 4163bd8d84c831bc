// The hot key from the first of several services that can give one: on Wayland the desktop
// decides, and which desktop service runs is known only by asking.
#pragma once

#include <memory>
#include <vector>

#include "platform/hotkey.h"

namespace kestrel {

// Tries the services in order until one has the key; presses and refusals of every service
// are passed on. Register returns false when every service said no at once; OnSettled(false)
// when the last of them said no later.
class HotKeyChain : public IHotKeyService {
public:
    explicit HotKeyChain(std::vector<std::unique_ptr<IHotKeyService>> services);
    ~HotKeyChain() override;
    HotKeyChain(const HotKeyChain&) = delete;
    HotKeyChain& operator=(const HotKeyChain&) = delete;

    bool Register(quint16 modifiers, quint16 virtualKey) override;
    void Unregister() override;
    bool AnswersLater() const override;
    bool KeyIsDesktopWide() const override;

private:
    // Registers from the service at index on; false when none took or asked for the key.
    bool TryFrom(std::size_t index);
    void Settled(std::size_t index, bool bound);

    std::vector<std::unique_ptr<IHotKeyService>> services_;
    std::size_t current_;  // the service that has or was asked for the key; size() for none
    quint16 modifiers_ = 0;
    quint16 virtualKey_ = 0;
};

// The services of this session: the X11 grab alone where no Wayland display is named;
// otherwise the desktop portal, then KDE's service, then the X11 grab (which still serves while
// X11 windows have the focus on XWayland).
std::unique_ptr<IHotKeyService> CreateHotKeyService();

}  // namespace kestrel
