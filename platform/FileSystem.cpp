#include "platform/FileSystem.h"

#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/Paths.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <functional>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString kTemporaryPrefix = QStringLiteral(".erechnung-tmp-");
constexpr int kTemporarySuffixLength = 6;

const QString kNoFile = QStringLiteral("keine Datei (ein Ordner, eine Pipe oder ein Gerät)");

} // namespace

bool IsOwnTemporaryFileName(const QString& name)
{
    if (name.size() != kTemporaryPrefix.size() + kTemporarySuffixLength || !name.startsWith(kTemporaryPrefix))
        return false;
    for (qsizetype i = kTemporaryPrefix.size(); i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (!((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
              || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))))
            return false;
    }
    return true;
}

QString WriteFileReplacing(const QString& target, const QByteArray& content)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return CopyDeviceReplacing(buffer, target);
}

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

QStringList ListFileNames(const QString& folder, bool /*withOthers*/)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
}

void ForEachFileName(const QString& folder, bool withOthers, const std::function<void(std::string_view name)>& found)
{
    for (const QString& name : ListFileNames(folder, withOthers)) {
        const QByteArray utf8 = name.toUtf8();
        found(std::string_view(utf8.constData(), size_t(utf8.size())));
    }
}

QByteArray PathKey(const QString& path)
{
    return path.toUpper().toUtf8();
}

TFolderKeys::TFolderKeys(const QString& folder)
    : FFolder(folder)
{
}

std::string_view TFolderKeys::KeyOf(std::string_view name)
{
    const QString path = JoinPath(FFolder, QString::fromUtf8(name.data(), qsizetype(name.size())));
    FBuffer = PathKey(path).toStdString();
    return FBuffer;
}

bool FileExistsNative(const QByteArray& path)
{
    return FileExists(QString::fromUtf8(path));
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

QString OpenForReading(QFile& file, const QString& path)
{
    if (!QFileInfo(path).isFile())
        return QFileInfo::exists(path) ? kNoFile : QStringLiteral("Die angegebene Datei wurde nicht gefunden");
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly) ? QString() : file.errorString();
}

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
    return out.commit() ? QString() : out.errorString();
}

QString CopyFileReplacing(const QString& source, const QString& target)
{
    QFile in;
    const QString openError = OpenForReading(in, source);
    if (!openError.isEmpty())
        return openError;
    const QDateTime modified = in.fileTime(QFileDevice::FileModificationTime);
    const QString error = CopyDeviceReplacing(in, target);
    if (error.isEmpty()) {
        QFile copy(target);
        if (copy.open(QIODevice::ReadWrite))
            copy.setFileTime(modified, QFileDevice::FileModificationTime);
    }
    return error;
}

int RemoveStaleTemporaryFiles(const QString& /*folder*/)
{
    return 0; // QSaveFile cleans up after itself on Windows
}

#else

namespace {

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool Stat(const QString& path, struct stat& st)
{
    return !path.isEmpty() && ::stat(EncodeFileName(path).constData(), &st) == 0;
}

// Closes a descriptor at the end of a scope.
class TFd
{
public:
    explicit TFd(int fd = -1)
        : FFd(fd)
    {
    }
    ~TFd()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    int Release()
    {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd;
};

QByteArray FolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// Makes the rename of an entry in folder durable.
void SyncFolder(const QByteArray& folder)
{
    TFd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
}

bool WriteAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Creates a new temporary file in folder, locked while it is written: a clean-up that
// finds it locked leaves it alone.
int CreateTemporaryFile(const QByteArray& folder, QByteArray& name)
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray suffix(kTemporarySuffixLength, Qt::Uninitialized);
        for (char& c : suffix)
            c = kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))];
        name = folder + '/' + kTemporaryPrefix.toLatin1() + suffix;
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// Writes a new target through a temporary file; write() fills the open file and returns
// an empty text or its error.
QString ReplaceThroughTemporaryFile(const QString& target, const std::function<QString(int fd)>& write,
                                    const timespec* modified)
{
    const QByteArray targetBytes = EncodeFileName(target);
    const QByteArray folder = FolderOf(targetBytes);
    QByteArray temporary;
    TFd fd(CreateTemporaryFile(folder, temporary));
    if (fd.Get() < 0)
        return SystemText(errno);
    QString error = write(fd.Get());
    if (error.isEmpty() && ::fsync(fd.Get()) != 0)
        error = SystemText(errno);
    if (error.isEmpty() && modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, *modified};
        ::futimens(fd.Get(), times);
    }
    if (error.isEmpty() && ::rename(temporary.constData(), targetBytes.constData()) != 0)
        error = SystemText(errno);
    if (!error.isEmpty()) {
        ::unlink(temporary.constData());
        return error;
    }
    SyncFolder(folder);
    return {};
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

void ForEachFileName(const QString& folder, bool withOthers, const std::function<void(std::string_view name)>& found)
{
    const QByteArray encoded = EncodeFileName(folder);
    DIR* dir = ::opendir(encoded.constData());
    if (!dir)
        throw Exception(SystemText(errno) + QStringLiteral("\r\n[") + DisplayFileName(folder) + QLatin1Char(']'));
    std::string path = encoded.endsWith('/') ? encoded.toStdString() : encoded.toStdString() + '/';
    const size_t prefix = path.size();
    try {
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            bool wanted = entry->d_type == DT_REG
                || (withOthers && entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN);
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                // Links are followed; only what they point to counts.
                path.resize(prefix);
                path += name;
                struct stat st;
                wanted = ::stat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || (withOthers && !S_ISDIR(st.st_mode)));
            }
            if (wanted)
                found(std::string_view(name));
        }
    } catch (...) {
        ::closedir(dir);
        throw;
    }
    ::closedir(dir);
}

QStringList ListFileNames(const QString& folder, bool withOthers)
{
    QStringList names;
    ForEachFileName(folder, withOthers, [&names](std::string_view name) {
        names << DecodeFileName(QByteArray(name.data(), qsizetype(name.size())));
    });
    return names;
}

QByteArray PathKey(const QString& path)
{
    return EncodeFileName(path);
}

TFolderKeys::TFolderKeys(const QString& folder)
    : FFolder(folder)
    , FBuffer(PathKey(JoinPath(folder, QString())).toStdString())
    , FPrefix(FBuffer.size())
{
}

std::string_view TFolderKeys::KeyOf(std::string_view name)
{
    FBuffer.resize(FPrefix);
    FBuffer += name;
    return FBuffer;
}

bool FileExistsNative(const QByteArray& path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool HasInvalidPathChars(const QString& path)
{
    return path.contains(QChar(0));
}

QString OpenForReading(QFile& file, const QString& path)
{
    // Non-blocking, so that opening a FIFO does not wait for a writer; the type is checked
    // on the open descriptor, so nothing can be swapped in between.
    TFd fd(::open(EncodeFileName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.Get() < 0)
        return SystemText(errno);
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0)
        return SystemText(errno);
    if (!S_ISREG(st.st_mode))
        return kNoFile;
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    if (!file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return file.errorString();
    fd.Release();
    return {};
}

QString CopyDeviceReplacing(QIODevice& source, const QString& target)
{
    return ReplaceThroughTemporaryFile(
        target,
        [&source](int fd) -> QString {
            QByteArray buffer(1 << 20, Qt::Uninitialized);
            for (;;) {
                const qint64 n = source.read(buffer.data(), buffer.size());
                if (n < 0)
                    return source.errorString();
                if (n == 0)
                    return {};
                if (!WriteAll(fd, buffer.constData(), n))
                    return SystemText(errno);
            }
        },
        nullptr);
}

QString CopyFileReplacing(const QString& source, const QString& target)
{
    QFile in;
    const QString openError = OpenForReading(in, source);
    if (!openError.isEmpty())
        return openError;
    struct stat st;
    if (::fstat(in.handle(), &st) != 0)
        return SystemText(errno);
    return ReplaceThroughTemporaryFile(
        target,
        [&in](int fd) -> QString {
            QByteArray buffer(1 << 20, Qt::Uninitialized);
            for (;;) {
                const ssize_t n = ::read(in.handle(), buffer.data(), size_t(buffer.size()));
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    return SystemText(errno);
                }
                if (n == 0)
                    return {};
                if (!WriteAll(fd, buffer.constData(), n))
                    return SystemText(errno);
            }
        },
        &st.st_mtim);
}

int RemoveStaleTemporaryFiles(const QString& folder)
{
    if (!DirectoryExists(folder))
        return 0;
    const QByteArray prefix = EncodeFileName(folder).endsWith('/') ? EncodeFileName(folder) : EncodeFileName(folder) + '/';
    int removed = 0;
    for (const QString& name : ListFileNames(folder)) {
        if (!IsOwnTemporaryFileName(name))
            continue;
        const QByteArray path = prefix + name.toLatin1();
        TFd fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // Locked: a copy is writing it right now (this or another program).
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        if (::unlink(path.constData()) == 0)
            ++removed;
    }
    if (removed > 0)
        SyncFolder(EncodeFileName(folder));
    return removed;
}

#endif
