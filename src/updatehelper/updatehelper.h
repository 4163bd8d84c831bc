// The work of kestrel-update-helper: after an upgrade has downloaded and verified its files in
// a private staging folder inside the program's folder, wait until the program has ended, move
// the whole set in place, start the new program and, when it does not run, put the old files
// back and start the old program.
//
// The moves are journalled in the staging folder, so that a helper killed half-way leaves a
// state that RecoverUpgrades() takes back to the old set.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrel::helper {

// The staging folders are "<program folder>/.kestrel-upgrade-XXXXXX" (mode 0700); the lock
// that allows one upgrade at a time is "<program folder>/.kestrel-upgrade.lock".
inline constexpr char kStagingPrefix[] = ".kestrel-upgrade-";
inline constexpr char kLockName[] = ".kestrel-upgrade.lock";
// Marks in a staging folder: every file downloaded and verified; the moves begun; done.
inline constexpr char kReadyMark[] = "ready";
inline constexpr char kMovingMark[] = "moving";
inline constexpr char kMovedMark[] = "moved";
// The argument that the old program gets, after the restart text, when the new one failed.
inline constexpr char kUpgradeFailedFlag[] = "/upgradefailed";
// The other program installed beside the program, which an upgrade may replace too.
inline constexpr char kCompanionName[] = "kestrel-quoted";

// The helper's command line: the program's full path, then one text "+", the restart text and
// the method digit ("1" runs a setup program first), then the staging folder's name.
struct HelperCommand {
    bool valid = false;
    QString programPath;    // absolute
    QString programFolder;  // with its trailing "/"
    QString programName;
    QString restartText;  // the restarted program's only argument; none when empty
    QString stagingName;  // ".kestrel-upgrade-XXXXXX"; empty when none was given
    bool setupMode = false;
};

// Reads the arguments (without the helper's own name). A last argument that names a staging
// folder is taken as such; the others are joined with blanks as one command line, whose
// parameter text starts at the first argument that starts with "+", so a "+" inside the
// program's path does not end it. Invalid without that argument, without an absolute program
// path, or without a method digit.
HelperCommand ParseHelperCommandLine(QStringList args);

// A program this machine can run: an ELF executable of its own architecture (class, byte
// order and machine as the running process has them), or a script whose "#!" line names an
// interpreter that exists and may be run.
bool IsRunnableHere(const QString& path);

// True while a process runs the file: Linux refuses to open it for writing then (ETXTBSY).
// When the file cannot be opened for writing for another reason (a read-only folder), the
// running processes are looked through for it.
bool ProgramRunning(const QString& path);

// Takes the folder's upgrade lock (waiting for it, or not); the descriptor to close to let it
// go, or -1.
int LockFolder(const QString& folder, bool wait);

// A staging folder this user made: a real folder (no link) owned by the user, mode 0700.
bool IsStagingFolder(const QString& path);

// Writes a file's data to the disk; true when it is there.
bool SyncFile(const QString& path);

// Removes a staging folder and everything in it.
void RemoveStaging(const QString& path);

// Why a staged set may not be installed, or empty: a file that would become something other
// than the program or its companion, or a program that cannot run here. Setup mode allows one
// runnable file of any name, which is run and never installed.
QString CheckStaged(const QString& stagingPath, const QString& programName, bool setupMode);

// Takes every interrupted upgrade of the folder back to the old files (or, when the moves were
// complete, keeps the new ones), and removes the staging folders that never got that far. The
// caller holds the folder's lock.
void RecoverUpgrades(const QString& folder, const QString& programName);

// Starts a program detached in its folder; with a watch time, it also waits that long to see
// that it does not fail: true unless it could not be started or it ended with an error or a
// signal within that time.
bool StartProgram(const QString& path, const QStringList& arguments, const QString& folder,
                  int watchMs);

// The helper's whole run: wait for the program to end, take the folder's lock, move the staged
// set in place (journalled), run the setup program when there is one, start the program with
// the restart text and watch it for two seconds; if it fails, put the old files back and start
// the old program with the restart text and kUpgradeFailedFlag. Exit code 0 when the new
// program runs, 3 when the staged set was refused or could not be moved, 4 when the program
// could not be started, 5 when the new program failed and the old one was put back.
int RunUpdate(const HelperCommand& command);

}  // namespace kestrel::helper
