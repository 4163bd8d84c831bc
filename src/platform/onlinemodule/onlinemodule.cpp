// The entry point of the network information module, looked up by name the first time the
// program asks whether it is online; versioned as the network module's.
#include <QtGlobal>

#include "platform/online/networkstate.h"

extern "C" Q_DECL_EXPORT bool kestrel_internet_connected_v1() {
    return kestrel::NetworkLooksOnline();
}
