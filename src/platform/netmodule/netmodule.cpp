// The entry point of the network module: the program looks it up by name the first time it
// downloads. A name carries the version of what it returns or takes: change the one with the
// other, so that a program never calls into a module built against another.
#include <QtGlobal>

#include "platform/net/curltransfer.h"

extern "C" Q_DECL_EXPORT kestrel::ITransfer* kestrel_make_transfer_v1() {
    return kestrel::MakeCurlTransfer().release();
}
