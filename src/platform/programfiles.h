// Where the program keeps its four files: the settings (.ini), the selection (.ccy), the alarm
// sound (.wav) and the background picture (.bmp); and the price history it writes.
#pragma once

#include <QString>

namespace kestrel {

struct ProgramFiles {
    QString IniPath;
    QString CcyPath;
    QString WavPath;
    QString BmpPath;
    // history.sqlite: in the data folder, $XDG_DATA_HOME/kestrel/ (~/.local/share/kestrel/),
    // beside the settings when KESTREL_HOME is set or a folder is given. Its folder is made
    // when the history is first written.
    QString HistoryPath;
};

// The executable's full path with its extension replaced (appended when it has none) by each of
// the four extensions. The files sit beside the executable; when that folder is not writable
// they go to $XDG_CONFIG_HOME/kestrel/ (~/.config/kestrel/) under the same names. The
// environment variable KESTREL_HOME=DIR puts them in DIR, named after the executable.
ProgramFiles ResolveProgramFiles(const QString& executablePath);

// The same paths for a given folder and base name, without any look at the environment.
ProgramFiles ProgramFilesIn(const QString& folder, const QString& baseName);

}  // namespace kestrel
