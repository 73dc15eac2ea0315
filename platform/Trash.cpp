#include "platform/Trash.h"

#include "platform/FileNames.h"
#include "platform/UserFolders.h"

#include <QDateTime>
#include <QFile>
#include <QList>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QByteArray EscapeTrashPath(const QByteArray& path)
{
    return path.toPercentEncoding("/", {}, '%');
}

#ifdef Q_OS_WIN

QString MoveToTrash(const QString& path)
{
    QFile file(path);
    return file.moveToTrash() ? QString() : file.errorString();
}

int RemoveOrphanedTrashEntries(const QString& /*folder*/)
{
    return 0;
}

QString TrashFolderFor(const QString& /*path*/)
{
    return {};
}

#else

namespace {

QString SystemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray ParentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray Absolute(const QByteArray& path)
{
    if (path.startsWith('/'))
        return path;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd))
        return path;
    return QByteArray(cwd) + '/' + path;
}

void SyncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool MakeFolder(const QByteArray& path)
{
    return ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST;
}

// A trash folder that we may use: a real folder (no link) that belongs to us.
bool IsOwnFolder(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

struct TTrashPlace
{
    QByteArray Folder; // holds files/ and info/
    QByteArray Top;    // what Path= is relative to; empty: Path= is absolute
};

// The mount point of the file system that holds path (whose device is dev).
QByteArray TopOf(QByteArray path, dev_t dev)
{
    for (;;) {
        const QByteArray parent = ParentOf(path);
        struct stat st;
        if (parent == path || ::stat(parent.constData(), &st) != 0 || st.st_dev != dev)
            return path;
        path = parent;
    }
}

// Where the file at path (absolute) goes: the home trash when it lies on the home's file
// system, else the trash of its own file system.
bool TrashPlaceFor(const QByteArray& path, TTrashPlace& place, QString& error)
{
    struct stat file;
    if (::lstat(path.constData(), &file) != 0) {
        error = SystemText(errno);
        return false;
    }
    const QString data = LocalAppDataFolder();
    if (data.isEmpty()) {
        error = QStringLiteral("Kein Benutzerordner für den Papierkorb bekannt.");
        return false;
    }
    const QByteArray home = EncodeFileName(data) + "Trash";
    struct stat homeData;
    if (::stat(EncodeFileName(data).constData(), &homeData) == 0 && homeData.st_dev == file.st_dev) {
        place = {home, {}};
        return true;
    }
    const QByteArray top = TopOf(ParentOf(path), file.st_dev);
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray shared = (top == "/" ? QByteArray() : top) + "/.Trash";
    struct stat st;
    // $topdir/.Trash shared by all users: must be a real folder with the sticky bit.
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray own = shared + '/' + uid;
        if (MakeFolder(own) && IsOwnFolder(own)) {
            place = {own, top};
            return true;
        }
    }
    const QByteArray own = (top == "/" ? QByteArray() : top) + "/.Trash-" + uid;
    if (MakeFolder(own) && IsOwnFolder(own)) {
        place = {own, top};
        return true;
    }
    error = QStringLiteral("Auf dem Laufwerk %1 gibt es keinen Papierkorb, der benutzt werden kann.")
                .arg(DisplayFileName(DecodeFileName(top)));
    return false;
}

// "name.tar.gz", "name.2.tar.gz", "name.3.tar.gz", ...: the names a trash entry may take,
// the number before the first dot as the desktops do it (".hidden" becomes ".2.hidden").
QByteArray Candidate(const QByteArray& name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.indexOf('.');
    if (dot < 0)
        return name + '.' + QByteArray::number(n);
    return name.left(dot) + '.' + QByteArray::number(n) + name.mid(dot);
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool Exists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// The original path of a .trashinfo file (still escaped), or empty.
QByteArray OriginalPathOf(const QByteArray& infoFile, const TTrashPlace& place)
{
    const int fd = ::open(infoFile.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray text(64 * 1024, Qt::Uninitialized);
    const ssize_t n = ::read(fd, text.data(), size_t(text.size()));
    ::close(fd);
    text.resize(n > 0 ? n : 0);
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("Path=")) {
            const QByteArray original = QByteArray::fromPercentEncoding(line.mid(5).trimmed());
            return original.startsWith('/') || place.Top.isEmpty() ? original : place.Top + '/' + original;
        }
    }
    return {};
}

} // namespace

QString TrashFolderFor(const QString& path)
{
    TTrashPlace place;
    QString error;
    return TrashPlaceFor(Absolute(EncodeFileName(path)), place, error) ? DecodeFileName(place.Folder) : QString();
}

QString MoveToTrash(const QString& path)
{
    const QByteArray original = Absolute(EncodeFileName(path));
    TTrashPlace place;
    QString error;
    if (!TrashPlaceFor(original, place, error))
        return error;
    const QByteArray files = place.Folder + "/files";
    const QByteArray infos = place.Folder + "/info";
    if (!(::mkdir(place.Folder.constData(), 0700) == 0 || errno == EEXIST) || !MakeFolder(files) || !MakeFolder(infos))
        return QStringLiteral("Der Papierkorb %1 ist nicht erreichbar: %2")
            .arg(DisplayFileName(DecodeFileName(place.Folder)), SystemText(errno));

    const QByteArray name = original.mid(original.lastIndexOf('/') + 1);
    // The original path as the desktops read it: relative to the top of the file system
    // for a trash there, absolute for the home trash.
    const QByteArray recorded = place.Top.isEmpty() ? original : original.mid(place.Top == "/" ? 1 : place.Top.size() + 1);
    const QByteArray content = "[Trash Info]\nPath=" + EscapeTrashPath(recorded) + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';

    // The info file is created first and exclusively: it reserves the name.
    for (int n = 1; n < 10000; ++n) {
        const QByteArray entry = Candidate(name, n);
        const QByteArray info = infos + '/' + entry + ".trashinfo";
        const QByteArray target = files + '/' + entry;
        if (Exists(target))
            continue;
        const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return SystemText(errno);
        }
        const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
        const int writeError = errno;
        ::close(fd);
        if (!written) {
            ::unlink(info.constData());
            return SystemText(writeError);
        }
        if (::rename(original.constData(), target.constData()) != 0) {
            const int renameError = errno;
            ::unlink(info.constData());
            return SystemText(renameError);
        }
        SyncFolder(infos);
        SyncFolder(files);
        SyncFolder(ParentOf(original));
        return {};
    }
    return QStringLiteral("Im Papierkorb ist kein freier Name für %1 mehr.").arg(DisplayFileName(path));
}

int RemoveOrphanedTrashEntries(const QString& folder)
{
    TTrashPlace place;
    QString error;
    QByteArray origin = Absolute(EncodeFileName(folder));
    while (origin.size() > 1 && origin.endsWith('/'))
        origin.chop(1);
    if (!TrashPlaceFor(origin, place, error))
        return 0;
    const QByteArray infos = place.Folder + "/info";
    const QByteArray files = place.Folder + "/files";
    DIR* dir = ::opendir(infos.constData());
    if (!dir)
        return 0;
    QList<QByteArray> orphans;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray entry(e->d_name);
        if (!entry.endsWith(".trashinfo") || entry.size() == 10)
            continue;
        const QByteArray name = entry.chopped(10);
        if (Exists(files + '/' + name))
            continue;
        const QByteArray path = OriginalPathOf(infos + '/' + entry, place);
        if (path.isEmpty() || ParentOf(path) == origin)
            orphans << infos + '/' + entry;
    }
    ::closedir(dir);
    int removed = 0;
    for (const QByteArray& info : orphans)
        removed += ::unlink(info.constData()) == 0 ? 1 : 0;
    if (removed > 0)
        SyncFolder(infos);
    return removed;
}

#endif
