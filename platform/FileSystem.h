#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <string_view>

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

// Calls found(name) for each regular file directly in folder (links followed; with
// withOthers also FIFOs, sockets and devices, never folders), with the name's bytes as the
// system gives them (Linux; UTF-8 elsewhere), in the order the file system gives them.
// Decodes nothing: for a poll that only wants to know what is new. Raises with the
// system's text when the folder cannot be read.
void ForEachFileName(const QString& folder, bool withOthers, const std::function<void(std::string_view name)>& found);

// A path in the form in which lookups compare paths: its bytes for the system calls on
// Linux (names are case-sensitive), its upper-cased UTF-8 on Windows.
QByteArray PathKey(const QString& path);

// The keys of the files in one folder, made from the names that ForEachFileName gives,
// without building a QString per name (the poll of a folder of thousands of files).
class TFolderKeys
{
public:
    explicit TFolderKeys(const QString& folder);
    // The key of folder/name; valid until the next call.
    std::string_view KeyOf(std::string_view name);

private:
    QString FFolder;
    std::string FBuffer;
    size_t FPrefix = 0;
};

// Whether a file (not a folder) exists at a path given as EncodeFileName's bytes.
bool FileExistsNative(const QByteArray& path);

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
