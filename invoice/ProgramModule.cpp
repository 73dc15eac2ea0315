#include "invoice/ProgramModule.h"

#include "BuildConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

bool LoadProgramModule(QLibrary& library, const QString& name, QString& error)
{
    QStringList tried;
    const QString program = QCoreApplication::applicationDirPath();
    const bool built = !program.isEmpty()
        && QDir(program).canonicalPath().startsWith(QDir(QStringLiteral(ERECHNUNG_BUILD_ROOT)).canonicalPath() + u'/');
    const QStringList folders = built
        ? QStringList{QStringLiteral(ERECHNUNG_MODULE_BUILD_DIR)}
        : QStringList{QStringLiteral(ERECHNUNG_MODULE_INSTALL_DIR),
                      QDir(program).filePath(QStringLiteral("../") + QStringLiteral(ERECHNUNG_MODULE_INSTALL_RELDIR)), program};
    for (const QString& folder : folders) {
        if (folder.isEmpty() || !QDir(folder).exists())
            continue;
        library.setFileName(QDir(folder).filePath(name));
        if (library.load())
            return true;
        tried << library.errorString();
    }
    error = tried.isEmpty() ? QStringLiteral("nicht gefunden") : tried.join(QStringLiteral("; "));
    return false;
}
