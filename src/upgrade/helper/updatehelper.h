// The work of kestrel-update-helper: after an upgrade has downloaded its files beside the
// program as "name.uTMP", wait until the program has ended, put each file in place of the one
// it replaces, and start the program again.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestrel::helper {

// The helper's command line: the program's full path, then one text "+", the restart text and
// the method digit ("1" runs a setup program first).
struct HelperCommand {
    bool valid = false;
    QString programPath;    // absolute
    QString programFolder;  // with its trailing "/"
    QString programName;
    QString restartText;  // the restarted program's only argument; none when empty
    bool setupMode = false;
};

// Reads the arguments (without the helper's own name). They are joined with blanks as one
// command line; the parameter text starts at the first argument that starts with "+", so a
// "+" inside the program's path does not end it. Invalid without that argument, without an
// absolute program path, or without a method digit.
HelperCommand ParseHelperCommandLine(const QStringList& args);

struct Replacement {
    QString source;  // "name.uTMP" in the program's folder
    QString target;  // the name it takes there
};

struct ReplacementPlan {
    QList<Replacement> files;
    QString programSource;  // the download that becomes the program; empty when none
    QString setupSource;    // setup mode: the download that is the setup program; empty when none
};

// Which download becomes what. Every "name.uTMP" replaces "name", except one: a download named
// like the program replaces the program; without one, the first (by name) whose target ends in
// "exe", else the first that is an ELF executable, is the new program (normal mode) or the setup
// program (setup mode) - the "exe" one only when it is an ELF executable too, as a program
// built for another system must not take the program's place. `downloads` are the names
// ending in ".uTMP"; `isExecutable` tells whether a download is an ELF executable.
ReplacementPlan PlanReplacements(QStringList downloads, const QString& programName, bool setupMode,
                                 const std::function<bool(const QString&)>& isExecutable);

// An ELF program: a fixed-address executable, or a position-independent one that names a
// program interpreter (a shared library has none).
bool IsElfExecutable(const QString& path);

// True while a process runs the file: Linux refuses to open it for writing then (ETXTBSY).
// When the file cannot be opened for writing for another reason (a read-only folder), the
// running processes are looked through for it.
bool ProgramRunning(const QString& path);

// The names of the downloads ("*.uTMP", regular files only) in a folder, sorted.
QStringList FindDownloads(const QString& folder);

// Puts every download of the plan in place within the folder: each is renamed onto its
// target in one step, so a failure leaves the old file as it was. The new program keeps the
// old program's permission bits (0755 when there was none), the setup program is made
// executable, other files take the bits of the file they replace, or 0644. Links are never
// followed: a download that is a link is left alone, a target that is a link is replaced by the
// file itself. Answers the number of downloads that could not be put in place.
int ApplyReplacements(const QString& folder, const ReplacementPlan& plan,
                      const QString& programName);

// The helper's whole run: wait for the program to end, replace its files, run the setup
// program when there is one, start the program with the restart text. Exit code 0 when
// everything was replaced and the program started, 3 when a file could not be replaced, 4
// when the program could not be started.
int RunUpdate(const HelperCommand& command);

}  // namespace kestrel::helper
