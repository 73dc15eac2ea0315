#pragma once

#include <QString>

// The per-user local application data folder with a trailing separator; created when it
// is missing. Empty text when the platform cannot name it.
QString LocalAppDataFolder();

// The file-system path of the user's desktop; empty when there is none.
QString DesktopFolder();
