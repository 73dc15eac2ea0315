#pragma once

#include <QString>

// The recycle bin. On Windows the system's; on Linux the freedesktop.org trash that every
// desktop shows and restores from: the file goes to Trash/files/<name>, and
// Trash/info/<name>.trashinfo says where it came from (the path percent-escaped, as the
// desktops write and read it) and when. A file on another file system than the home
// goes to the trash of that file system ($topdir/.Trash/$uid or $topdir/.Trash-$uid).

// Moves the file at path into the trash. Returns an empty text on success, otherwise the
// system's message; the file then stays where it was.
QString MoveToTrash(const QString& path);

// The trash entries that a move killed midway left behind: a ".trashinfo" without its
// file whose original path lies in folder (or that says nothing at all). Returns how many
// were removed. Linux only; elsewhere nothing to do.
int RemoveOrphanedTrashEntries(const QString& folder);

// The folder that holds "files" and "info" of the trash that path would go to (Linux);
// empty when there is none. For the tests and the clean-up.
QString TrashFolderFor(const QString& path);

// Percent-escapes a path for the "Path=" key: every byte but A-Z a-z 0-9 - . _ ~ and "/".
QByteArray EscapeTrashPath(const QByteArray& path);
