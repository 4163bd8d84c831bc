#include "platform/fake/fakehotkey.h"

namespace kestrel {

bool FakeHotKeyService::Register(quint16 modifiers, quint16 virtualKey) {
    ++RegisterCalls;
    Unregister();
    if (Taken.contains(quint32(modifiers) << 16 | virtualKey)) {
        if (OnRefused)
            OnRefused(virtualKey, modifiers);
        return false;
    }
    registered_ = true;
    virtualKey_ = virtualKey;
    modifiers_ = modifiers;
    return true;
}

void FakeHotKeyService::Unregister() {
    registered_ = false;
    virtualKey_ = modifiers_ = 0;
}

bool FakeHotKeyService::Press(quint16 virtualKey, quint16 modifiers) {
    if (!registered_ || virtualKey != virtualKey_ || modifiers != modifiers_)
        return false;
    Deliver(virtualKey, modifiers);
    return true;
}

void FakeHotKeyService::Deliver(quint16 virtualKey, quint16 modifiers) {
    if (OnHotKey)
        OnHotKey(virtualKey, modifiers);
}

}  // namespace kestrel
