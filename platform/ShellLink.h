#pragma once

#include <QString>

// Puts a shortcut to target at linkPath with the given working folder and description:
// a shell link (.lnk) on Windows, a freedesktop desktop entry (Type=Link) elsewhere.
// An existing file is never replaced. Returns whether a file was written.
bool CreateShellLink(const QString& linkPath, const QString& target, const QString& workingFolder,
                     const QString& description);
