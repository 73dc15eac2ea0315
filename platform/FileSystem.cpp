#include "platform/FileSystem.h"

#include "platform/Exception.h"
#include "platform/UserFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#endif


#ifdef Q_OS_WIN

bool FileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool DirectoryExists(const QString& path)
{
    return QFileInfo(path).isDir();
}

QStringList ListFileNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
}

bool HasInvalidPathChars(const QString& path)
{
    for (QChar c : path) {
        if (c.unicode() < 32 || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"')
            || c == QLatin1Char('|') || c == QLatin1Char('*') || c == QLatin1Char('?'))
            return true;
    }
    return false;
}

#else

namespace {
bool Stat(const QString& path, struct stat& st)
{
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}
} // namespace

bool FileExists(const QString& path)
{
    struct stat st;
    return Stat(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const QString& path)
{
    struct stat st;
    return Stat(path, st) && S_ISDIR(st.st_mode);
}

QStringList ListFileNames(const QString& folder)
{
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir)
        throw Exception(QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral("\r\n[") + folder + QLatin1Char(']'));
    QStringList names;
    const QByteArray prefix = encoded.endsWith('/') ? encoded : encoded + '/';
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // Links are followed; only what they point to counts.
            struct stat st;
            regular = ::stat((prefix + name).constData(), &st) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            names << QFile::decodeName(name);
    }
    ::closedir(dir);
    return names;
}

bool HasInvalidPathChars(const QString& path)
{
    return path.contains(QChar(0));
}

#endif

QString CopyDeviceReplacing(QIODevice& source, const QString& target)
{
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return out.errorString();
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = source.read(buffer.data(), buffer.size());
        if (n < 0) {
            out.cancelWriting();
            return source.errorString();
        }
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n) {
            const QString error = out.errorString();
            out.cancelWriting();
            return error;
        }
    }
    if (!out.commit())
        return out.errorString();
    return {};
}

QString CopyFileReplacing(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    const QDateTime modified = in.fileTime(QFileDevice::FileModificationTime);
    const QString error = CopyDeviceReplacing(in, target);
    if (error.isEmpty()) {
        // Like a platform file copy, the copy keeps the time the invoice was written.
        QFile copy(target);
        if (copy.open(QIODevice::ReadWrite))
            copy.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    return error;
}

QString MoveToTrash(const QString& path)
{
    // Qt moves a file into "./files" below the current folder when it cannot set up the
    // user's trash, and calls that success: make sure the trash is there, and check.
#ifndef Q_OS_WIN
    const QString trash = LocalAppDataFolder() + QStringLiteral("Trash/");
    if (!QDir().mkpath(trash + QStringLiteral("files")) || !QDir().mkpath(trash + QStringLiteral("info")))
        return QStringLiteral("Der Papierkorb %1 ist nicht erreichbar.").arg(trash);
#endif
    QFile file(path);
    if (!file.moveToTrash())
        return file.errorString();
    if (!QDir::isAbsolutePath(file.fileName())) {
        QFile::rename(file.fileName(), path);
        return QStringLiteral("Der Papierkorb ist nicht erreichbar.");
    }
    return {};
}
