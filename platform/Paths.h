#pragma once

#include <QString>

// Path rules of the platform. On Windows "\" (and "/") separate folders and ":" ends the
// drive; elsewhere only "/" separates, and "\" and ":" are ordinary file-name characters.

// The native folder separator: "\" on Windows, "/" elsewhere.
QChar NativeSeparator();

// True for a character after which a file name starts.
bool IsPathDelimiter(QChar c);

// name in folder: a separator goes between them unless folder already ends with a
// delimiter.
QString JoinPath(const QString& folder, const QString& name);

// The text after the last delimiter.
QString ExtractFileName(const QString& path);

// The text from the last "." that no delimiter follows, the dot included; empty if none.
QString ExtractFileExt(const QString& path);

// Whether file names are compared without regard to case (Windows) or exactly.
bool FileNamesCaseInsensitive();

// The key under which a path is looked up: upper-cased where names ignore case.
QString PathLookupKey(const QString& path);
