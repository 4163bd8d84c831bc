// The application's general error report: a refused settings write and similar platform errors
// are shown in a message box, and the program goes on.
#pragma once

#include <QString>

namespace kestrel {

// Shows the message in an error box captioned with the application's title. Without a GUI
// application (the command-line modes) the message goes to standard error instead.
void ReportError(const QString& message);

// From now on ReportError writes to the log instead of opening a box: the program is ending, and
// a box would hold the end.
void ReportToLogFromNow();

}  // namespace kestrel
