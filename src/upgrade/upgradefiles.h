// The files of an upgrade on disk: the downloads, their checks, and the program's folder.
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace kestrel {

// The folder that receives the downloads: the program's, with a trailing "/".
QString ProgramFolder(const QString& programPath);

// Writes a download that arrived in memory to its file, as the HTTP client writes the ones that
// arrive with a length.
bool SaveDownload(const QString& path, QIODevice& body);

// Whether a write to the file failed for want of room: the file has reached the size limit of
// the process, or its file system is full.
bool DiskRefusedWrite(const QString& path);

// Whether the file's SHA-256 digest is the one published.
bool DigestMatches(const QString& fileName, const QByteArray& expected);

}  // namespace kestrel
