#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// File operations the engine needs, with the platform's rules and messages.

// A file (not a folder) exists at path; links are followed.
bool FileExists(const QString& path);
// A folder exists at path; links are followed.
bool DirectoryExists(const QString& path);

// The names of the files directly in folder (no sub-folders; hidden files included), in
// the order the file system gives them. Raises with the system's text when the folder
// cannot be read.
QStringList ListFileNames(const QString& folder);

// Whether path holds a character that the platform does not allow in paths, or a
// wildcard: on Windows control characters, <>"| and * ?; elsewhere only NUL.
bool HasInvalidPathChars(const QString& path);

// Copies source over target through a temporary file in target's folder that is renamed
// over target at the end: target is either the old file or the complete new one, never a
// part. Returns an empty text on success, otherwise the system's message.
QString CopyFileReplacing(const QString& source, const QString& target);
QString CopyDeviceReplacing(QIODevice& source, const QString& target);

// Moves the file into the recycle bin (Windows) or the freedesktop trash. Returns an
// empty text on success, otherwise the system's message.
QString MoveToTrash(const QString& path);
