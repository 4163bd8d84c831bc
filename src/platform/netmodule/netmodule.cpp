// The entry points of the network module: the program looks them up by name the first time it
// downloads or asks whether it is online. A name carries the version of what it returns or
// takes: change the one with the other, so that a program never calls into a module built
// against another.
#include <QtGlobal>

#include "platform/linux/curltransfer.h"
#include "platform/linux/networkstate.h"

extern "C" Q_DECL_EXPORT kestrel::ITransfer* kestrel_make_transfer_v1() {
    return kestrel::MakeCurlTransfer().release();
}

extern "C" Q_DECL_EXPORT bool kestrel_internet_connected_v1() {
    return kestrel::NetworkLooksOnline();
}
