#pragma once

#include <QString>

// Reading and writing INI ("profile") files with the rules of the Windows profile
// functions, the same code on every platform: sections "[Name]", lines "key=value" ending
// in CR LF, section and key names compared without regard to case, blanks around keys and
// values ignored, a value in matching quotes read without them, values read up to 2047
// characters, the text in the ANSI code page (a file that starts with a UTF-16 byte-order
// mark is read and written as UTF-16). Each call reads the file anew.

// The value of key in section, or defaultValue when the file, the section or the key is
// missing.
QString ReadProfileString(const QString& path, const QString& section, const QString& key,
                          const QString& defaultValue);

// Writes key=value into section: a key replaces its line where it stands, a new key goes
// after the last entry of its section, a new section at the end of the file; every other
// line stays as it was. The file is created when it is missing, never its folder. The new
// file replaces the old one in one step, so that a crash never leaves half a file behind.
// Raises "In %s kann nicht geschrieben werden" (the file's path) when that fails.
void WriteProfileString(const QString& path, const QString& section, const QString& key, const QString& value);
