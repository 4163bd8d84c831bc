// The progress of a download as the percentage shown to the user.
#pragma once

#include <QtGlobal>

namespace kestrel {

// value × 100 / total rounded to nearest (ties to even); 0 when total is 0 or the result is not
// finite (an arithmetic error); below 0 gives 0 and above 255 gives 255.
quint8 Percent(double value, double total);

}  // namespace kestrel
