#include "platform/SharedLibrary.h"

bool OpenSharedLibrary(QLibrary& library, const QString& name, int majorVersion)
{
#ifdef Q_OS_WIN
    for (const QString& file : {QStringLiteral("lib%1-%2").arg(name).arg(majorVersion), QStringLiteral("lib%1").arg(name), name}) {
        library.setFileName(file);
        if (library.load())
            return true;
    }
    return false;
#else
    library.setFileNameAndVersion(name, majorVersion);
    return library.load();
#endif
}
