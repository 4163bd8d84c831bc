// What the ticker window and the command-line modes share: the settings load with the window
// font as the default quote font, and the set-up of the HTTP client that fetches the rates page.
#pragma once

#include <QStringList>

#include "platform/programfiles.h"
#include "settings/settingsload.h"

namespace kestrel {

class THTTPClient;

// Whether the windows speak English: as the setting says, or with Auto as the first of the
// desktop's languages (QLocale::uiLanguages: "en-US", "zh-Hans-CN", "C") that is English or
// Chinese says; a C or POSIX locale, and one with neither language, is Chinese.
bool ShowsEnglish(UiLanguage setting, const QStringList& uiLanguages);

// Installs the translators of the language ShowsEnglish picks from the setting and the system
// locale: for English the program's English and the toolkit's, for Chinese (the program's own
// texts) the toolkit's Chinese for its own dialogs, the font and colour choosers. Needs the
// application object; returns whether it is English.
bool InstallTranslations(UiLanguage setting);

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
