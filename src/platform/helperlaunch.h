// Starting the update helper, the small program that moves the staged files of an upgrade into
// place once the program has ended and starts it again.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestrel {

// Starts the helper that the program carries as the resource ":/upgrade/kestrel-update-helper"
// (see LaunchHelperFrom). False when it could not be started. Ending the program is the
// caller's.
bool LaunchHelper(const QString& parameterText, const QString& stagingName, int lockFd);

// Starts a helper from its bytes, detached, with the program's full path, the parameter text
// ("+" restart text and method digit) and the staging folder's name as its arguments. The
// helper never touches the disk: it runs from a sealed in-memory file, so nobody can swap it
// between writing and starting. The upgrade lock (when lockFd is not -1) is handed over on
// descriptor 3, so that the folder stays locked until the helper is done.
bool LaunchHelperFrom(const QByteArray& helperBytes, const QString& programPath,
                      const QString& parameterText, const QString& stagingName, int lockFd);

}  // namespace kestrel
