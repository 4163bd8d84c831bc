// Writing out and starting the update helper, the small program that replaces the program's
// files once the program has ended and starts it again.
#pragma once

#include <QString>

namespace kestrel {

// Where the helper is written: "kestrel-update-helper" in the first folder that only the user
// can write and that allows running programs (not on a noexec mount): $XDG_RUNTIME_DIR, else
// a private folder of the user in the temporary folder (made with mode 0700 when missing, and
// refused when it is somebody else's or open to others), else the program's own folder.
// Decided once per process; empty when no folder fits.
QString HelperPath();

// The folder choice of HelperPath() for given candidates (an empty one is skipped); the
// private folder "kestrel-UID" is made in tempDir when missing.
QString HelperFolderFrom(const QString& runtimeDir, const QString& tempDir,
                         const QString& programDir);

// Deletes the helper that an earlier upgrade left at HelperPath(). Every upgrader calls it when
// it is constructed.
void DeleteHelper();

// Writes the helper out of the program's resource ":/upgrade/kestrel-update-helper" to
// HelperPath() (mode 0700, replacing what is there) and starts it detached with the program's
// full path and the parameter text ("+" restart text and method digit) as its arguments.
// False when the helper could not be written or started. Ending the program is the caller's.
bool LaunchHelper(const QString& parameterText);

// The same with the helper's bytes, its path and the program's path given, for tests.
bool LaunchHelperFrom(const QByteArray& helperBytes, const QString& helperPath,
                      const QString& programPath, const QString& parameterText);

}  // namespace kestrel
