// The application's general error report: a refused settings write and similar platform errors
// are shown in a message box, and the program goes on.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace kestrel {

// Shows the message in an error box captioned with the application's title. Without a GUI
// application (the command-line modes) the message goes to standard error instead, and after
// ReportToLogFromNow to the log.
void ReportError(const QString& message);

// For a failure that can come again and again (the window position is saved on every move):
// the first report of a message in this run is ReportError's, the same message later goes to
// the log only.
void ReportErrorOnce(const QString& message);

// Hands each error box, before it shows, to `adopt`, which makes it the main window's (transient
// for it, and on top while it is); an empty function leaves the boxes on their own.
void SetErrorBoxOwner(std::function<void(QWidget*)> adopt);

// From now on every report goes to the log and none opens a box: for the program's end, when
// a box would hold up the exit with nobody left to read it.
void ReportToLogFromNow();

}  // namespace kestrel
