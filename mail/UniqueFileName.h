#pragma once

#include <QString>

// A full path in folder for filename that names no existing file: characters that
// Windows forbids in names are removed, "." / ".." / names that are empty after that and
// the Windows device names (CON, NUL, COM1 ...) become "Anhang" with the original
// extension, and a taken name is numbered "rechnung(2).pdf" up to 9999. Raises
// "Ordner %s existiert nicht" for a missing folder, and a clear message when every
// numbered name is taken. The path never leaves folder.
QString UniqueFileNameInFolder(const QString& folder, const QString& filename);

// The file name part of that rule, without looking at the folder.
QString SafeAttachmentName(const QString& filename);
