#pragma once

#include <QString>
#include <QStringList>

class QFile;
class QIODevice;

// File operations the engine needs, with the platform's rules and messages. Paths may
// hold file names that are not UTF-8 (see FileNames.h): every operation here uses the
// name's own bytes.

// A file (not a folder) exists at path; links are followed.
bool FileExists(const QString& path);
// A folder exists at path; links are followed.
bool DirectoryExists(const QString& path);

// The names of the regular files directly in folder (no sub-folders, no FIFOs, sockets or
// devices; hidden files included), in the order the file system gives them; with
// withOthers also the FIFOs, sockets and devices (never folders). Raises with the system's
// text when the folder cannot be read.
QStringList ListFileNames(const QString& folder, bool withOthers = false);

// Whether path holds a character that the platform does not allow in paths, or a
// wildcard: on Windows control characters, <>"| and * ?; elsewhere only NUL.
bool HasInvalidPathChars(const QString& path);

// Opens path for reading, but only a regular file (links followed): a FIFO, a socket or a
// device is refused at once ("keine Datei"), never waited on. Returns an empty text on
// success, otherwise the reason.
QString OpenForReading(QFile& file, const QString& path);

// Copies source over target through a temporary file in target's folder that is renamed
// over target at the end and flushed to the disk with its folder: target is either the
// old file or the complete new one, never a part. Returns an empty text on success,
// otherwise the system's message. The copy keeps the source's modification time.
QString CopyFileReplacing(const QString& source, const QString& target);
QString CopyDeviceReplacing(QIODevice& source, const QString& target);
QString WriteFileReplacing(const QString& target, const QByteArray& content);

// Whether name is one of the temporary files the copies above write (a hidden
// ".erechnung-tmp-XXXXXX"); such a file is never an invoice.
bool IsOwnTemporaryFileName(const QString& name);

// Removes what a copy that was killed midway left in folder: our temporary files that no
// running copy holds. Returns how many were removed.
int RemoveStaleTemporaryFiles(const QString& folder);
