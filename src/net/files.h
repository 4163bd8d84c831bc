// The files of a download and of the upgrade: a private file to write into, the temporary
// folder, file times and sizes, resources copied out; and the one way a whole file is replaced.
#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <memory>

namespace kestrel {

// Replaces `path` with a new, empty file that only the user may read and write (a download may
// be private), open for reading and writing without a buffer, so that a write the disk refuses
// fails at once rather than at a close nobody checks. Null when the old file cannot be removed
// or the new one cannot be made.
std::unique_ptr<QFile> CreatePrivateFile(const QString& path);

// Replaces the file at `path` with exactly `bytes`, or leaves it as it was. The bytes go to a
// new file beside it; every write, the flush to the disk and the close are checked, and only
// then does the new file take the old one's name, in one rename. On any failure the new file
// is removed, the old one keeps every byte, and false comes back with the system's reason in
// *reason. The old file's permissions are kept (a new one gets the umask's); a symbolic link
// stays and its target is replaced.
bool ReplaceFileBytes(const QString& path, QByteArrayView bytes, QString* reason = nullptr);

// The system temporary folder with a trailing "/"; the executable's folder when it is missing.
QString TempDirectory();

// Sets the last-write and last-access times of an existing file (date-times in local time, -1 =
// leave unchanged), each truncated to the 2-second steps of DOS times and only within 1980..2107
// (a value outside is left unchanged). Linux keeps no settable creation time: creation is
// accepted and ignored. False when the file cannot be opened for writing or a time cannot be set.
bool SetFileDates(const QString& fileName, double creation, double lastWrite, double lastAccess);

// Size of an existing file; -1 when there is none (or it is a directory).
qint64 FileSize64(const QString& fileName);

// Appends the bytes of a Qt resource (":/..." path) to the stream at its current position. False
// when the stream is missing, the resource is missing or empty, or writing fails.
bool ResourceToStream(const QString& resourcePath, QIODevice* stream);

}  // namespace kestrel
