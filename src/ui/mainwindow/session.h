// What the ticker window and the command-line modes share: the settings load with the window
// font as the default quote font, and the set-up of the HTTP client that fetches the rates page.
#pragma once

#include <QStringList>

#include "platform/programfiles.h"
#include "settings/settingsload.h"

namespace kestrel {

class THTTPClient;

// Every text of the program is Chinese; the toolkit's own dialogs (the font and colour
// choosers) speak it too when the toolkit's translations are installed.
void InstallToolkitTranslations();

// The window font as the settings describe fonts (name, points, GB2312 character set).
FontDesc WindowFontDesc();

// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C in a terminal) ask the application to quit,
// as the end of the desktop session does, instead of killing it with the window position
// unsaved. Needs the application object. It also allows the end's watchdog below.
void QuitOnTerminationSignals();

// Once the program is to end, it ends within two seconds: what an orderly end may still wait on
// (a stopped bus, a hung compositor, a box opened after the event loop) cannot hold it longer.
// After that time the process is ended at once, with a line in the log. Armed by a termination
// signal itself; a no-op in a process that never called QuitOnTerminationSignals (the tests).
void ArmExitWatchdog();

// LoadSettings with the window font as the default quote font.
Settings LoadStartupSettings(const ProgramFiles& files, const QStringList& currentSelection = {});

// Points the client at Param/RatesURL (also the Referer), asks for a fresh uncached page and
// applies the wait time-out and the proxy mode. In the system and direct modes the proxy server
// and port are left as they were.
void ConfigureQuoteClient(THTTPClient& http, const Settings& settings);

}  // namespace kestrel
