// Ending the program from a component that does not hold the main window (the upgrade restart).
#pragma once

namespace kestrel {

// Closes the program's main window (the TMainForm) when there is one, then asks the application
// to quit; the main window's own close handling runs as it does for any close.
void CloseApplication();

}  // namespace kestrel
