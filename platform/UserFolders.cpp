#include "platform/UserFolders.h"

#include "platform/Paths.h"

#include <QDir>
#include <QStandardPaths>

QString LocalAppDataFolder()
{
#ifdef Q_OS_WIN
    QString folder = QDir::toNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
#else
    QString folder = qEnvironmentVariable("XDG_DATA_HOME");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) {
        const QString home = QDir::homePath();
        folder = home.isEmpty() ? QString() : home + QStringLiteral("/.local/share");
    }
    // A fresh account may not have it yet; the history, the trash and the default folders
    // all need it.
    if (!folder.isEmpty())
        QDir().mkpath(folder);
#endif
    if (!folder.isEmpty() && !folder.endsWith(NativeSeparator()))
        folder += NativeSeparator();
    return folder;
}

QString DesktopFolder()
{
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}
