#include "platform/FileNames.h"
#include "platform/Trash.h"
#include "tests/support/TestEnvironment.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadBytesNamed(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0)
        return "<fehlt>";
    QByteArray data(4096, Qt::Uninitialized);
    const ssize_t n = ::read(fd, data.data(), size_t(data.size()));
    ::close(fd);
    data.resize(n > 0 ? n : 0);
    return data;
}

bool ExistsNamed(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

QByteArray PathLine(const QByteArray& info)
{
    for (const QByteArray& line : info.split('\n')) {
        if (line.startsWith("Path="))
            return line;
    }
    return {};
}

// The entry names of a trash, sorted.
QList<QByteArray> Entries(const QString& trash)
{
    QList<QByteArray> names;
    for (const QString& n : QDir(trash + QStringLiteral("/files")).entryList(QDir::Files | QDir::Hidden))
        names << EncodeFileName(n);
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a command with HOME (and the XDG data folder) pointing at home; the output.
QByteArray Run(const QString& home, const QString& program, const QStringList& args, const QString& workingDir = {},
               int* exitCode = nullptr)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(program, args);
    p.waitForFinished(60000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAll();
}

// Undoes GLib's escaping of a byte string for display: \xNN and \\.
QByteArray UnescapeGlib(const QByteArray& text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            bytes += char(text.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
        } else if (text[i] == '\\' && i + 1 < text.size()) {
            bytes += text[++i];
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

} // namespace

// Our trash entries against those of GLib's "gio trash", and restored by the desktop's
// trash (gvfs) as a user would restore them.
class TestTrash : public QObject
{
    Q_OBJECT

    TSandboxHome home;
    TTempFolder gioHome;
    TTempFolder work;
    bool haveGio = false;
    bool haveRestore = false;

    QString OurTrash() const { return home.DataHome() + QStringLiteral("/Trash"); }
    QString GioTrash() const { return gioHome.path() + QStringLiteral("/.local/share/Trash"); }

    // gio trash of the only file in a folder of its own (the shell's glob keeps the bytes).
    void GioTrashOnlyFileIn(const QString& folder)
    {
        int rc = -1;
        const QByteArray out = Run(gioHome.path(), QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("gio trash -- ./* ./.[!.]* 2>/dev/null; true")}, folder, &rc);
        QVERIFY2(rc == 0, out.constData());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QDir().mkpath(gioHome.path() + QStringLiteral("/.local/share"));
        haveGio = !QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty();
        haveRestore = haveGio && !QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty()
            && QFile::exists(QStringLiteral("/usr/libexec/gvfsd-trash"));
    }

    void entriesAsTheDesktopWritesThem_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("percent and blank") << QByteArray("Skonto 2%.pdf");
        QTest::newRow("hash, dash, umlauts") << QByteArray("Rechnung #12 \xe2\x80\x93 M\xc3\xbcller.pdf");
        QTest::newRow("latin-1 bytes") << QByteArray("lat1-\xe4\xf6\xfc.xml");
        QTest::newRow("stray ff") << QByteArray("bad\xff.pdf");
        QTest::newRow("reserved characters") << QByteArray("a+b=c&d;e,f@g[1]!'()*.xml");
        QTest::newRow("leading blank, no extension") << QByteArray(" ohne Endung");
    }

    void entriesAsTheDesktopWritesThem()
    {
        QFETCH(QByteArray, name);
        TTempFolder folder;
        const QByteArray content = "Rechnung " + name;
        const QString original = WriteFileNamedBytes(folder.path(), name, content);

        QCOMPARE(MoveToTrash(original), QString());
        const QByteArray ourInfo = EncodeFileName(OurTrash()) + "/info/" + name + ".trashinfo";
        const QByteArray ourFile = EncodeFileName(OurTrash()) + "/files/" + name;
        QVERIFY(!ExistsNamed(EncodeFileName(original)));
        QCOMPARE(ReadBytesNamed(ourFile), content);
        const QByteArray info = ReadBytesNamed(ourInfo);
        QVERIFY2(info.startsWith("[Trash Info]\nPath=/"), info.constData());
        QVERIFY(QRegularExpression(QStringLiteral("\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$"))
                    .match(QString::fromLatin1(info)).hasMatch());
        // The path must read back as the original bytes.
        QCOMPARE(QByteArray::fromPercentEncoding(PathLine(info).mid(5)), EncodeFileName(original));

        if (!haveGio)
            QSKIP("gio (libglib2.0-bin) is not installed: no comparison with the desktop's entries");
        WriteFileNamedBytes(folder.path(), name, content);
        GioTrashOnlyFileIn(folder.path());
        const QByteArray gioInfo = ReadBytesNamed(EncodeFileName(GioTrash()) + "/info/" + name + ".trashinfo");
        QCOMPARE(PathLine(info), PathLine(gioInfo));

        if (!haveRestore)
            QSKIP("gvfs and dbus-run-session are not installed: no check by the desktop's trash");
        // The desktop's trash (gvfs) reads the original path back from our entry. "gio trash
        // --list" prints it with bytes outside printable ASCII as \xNN.
        const QByteArray listed = Run(home.Path(), QStringLiteral("dbus-run-session"),
                                      {QStringLiteral("--"), QStringLiteral("gio"), QStringLiteral("trash"), QStringLiteral("--list")});
        const QByteArray uri = "trash:///" + name.toPercentEncoding("", "", '%');
        QByteArray origin;
        for (const QByteArray& line : listed.split('\n')) {
            const QList<QByteArray> cells = line.split('\t');
            if (cells.size() == 2 && QByteArray::fromPercentEncoding(cells[0].mid(9)) == name)
                origin = UnescapeGlib(cells[1]);
        }
        QCOMPARE(origin, EncodeFileName(original));

        // GLib 2.74's "gio trash --restore" takes that escaped text as the target name, so
        // only a name of printable ASCII can be restored by it; the file managers use the
        // path itself.
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
        if (!ascii)
            return;
        int rc = -1;
        const QByteArray out = Run(home.Path(), QStringLiteral("dbus-run-session"),
                                   {QStringLiteral("--"), QStringLiteral("gio"), QStringLiteral("trash"), QStringLiteral("--restore"),
                                    QString::fromLatin1(uri)},
                                   {}, &rc);
        QVERIFY2(rc == 0, out.constData());
        // gvfs finishes the move a moment after the command returns.
        QTRY_COMPARE_WITH_TIMEOUT(ReadBytesNamed(EncodeFileName(original)), content, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!ExistsNamed(ourInfo) && !ExistsNamed(ourFile), 10000);
    }

    void collisionsAsTheDesktopNamesThem()
    {
        if (!haveGio)
            QSKIP("gio (libglib2.0-bin) is not installed");
        QDir(OurTrash()).removeRecursively();
        QDir(GioTrash()).removeRecursively();
        TTempFolder folder;
        for (const QByteArray& name : {QByteArray("doppelt.pdf"), QByteArray("ohne"), QByteArray("x.tar.gz"), QByteArray(".versteckt")}) {
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(MoveToTrash(WriteFileNamedBytes(folder.path(), name, "a")), QString());
                WriteFileNamedBytes(folder.path(), name, "a");
                GioTrashOnlyFileIn(folder.path());
            }
        }
        QCOMPARE(Entries(OurTrash()), Entries(GioTrash()));
        QVERIFY(Entries(OurTrash()).contains("doppelt.3.pdf"));
    }

    // A hotfolder on another file system (a second disk, a share) uses that file system's
    // own trash, with the path relative to its top.
    void fileOnAnotherFileSystem()
    {
        struct stat shm, data;
        if (::stat("/dev/shm", &shm) != 0 || ::stat(EncodeFileName(home.DataHome()).constData(), &data) != 0
            || shm.st_dev == data.st_dev || ::access("/dev/shm", W_OK) != 0)
            QSKIP("no second writable file system (/dev/shm) here");
        const QString trash = QStringLiteral("/dev/shm/.Trash-%1").arg(::getuid());
        const bool trashExisted = QFileInfo::exists(trash);
        QTemporaryDir folder(QStringLiteral("/dev/shm/erechnung-test-XXXXXX"));
        const QString file = WriteFileNamedBytes(folder.path(), "Beleg 1%.pdf", "b");
        QCOMPARE(TrashFolderFor(file), trash);
        QCOMPARE(MoveToTrash(file), QString());
        const QByteArray entry = "Beleg 1%.pdf";
        QByteArray relative = EncodeFileName(folder.path()).mid(9) + "/" + entry; // without "/dev/shm/"
        QCOMPARE(PathLine(ReadBytesNamed(EncodeFileName(trash) + "/info/" + entry + ".trashinfo")),
                 "Path=" + relative.toPercentEncoding("/"));
        QCOMPARE(ReadBytesNamed(EncodeFileName(trash) + "/files/" + entry), QByteArray("b"));
        if (trashExisted) {
            QFile::remove(trash + QStringLiteral("/files/") + QString::fromLatin1(entry));
            QFile::remove(trash + QStringLiteral("/info/") + QString::fromLatin1(entry) + QStringLiteral(".trashinfo"));
        } else {
            QDir(trash).removeRecursively();
        }
    }

    // What a move that was killed between writing the entry and moving the file leaves.
    void orphanedEntriesFromTheHotfolderAreRemoved()
    {
        QDir(OurTrash()).removeRecursively();
        TTempFolder hot;
        TTempFolder elsewhere;
        // A complete entry, then orphans: from the hotfolder, from elsewhere, and one that
        // says nothing.
        QCOMPARE(MoveToTrash(WriteFileNamedBytes(hot.path(), "fertig.xml", "f")), QString());
        const QByteArray info = EncodeFileName(OurTrash()) + "/info/";
        auto orphan = [&](const QByteArray& name, const QByteArray& text) {
            WriteFileNamedBytes(DecodeFileName(info), name + ".trashinfo", text);
        };
        orphan("verwaist \xe4.xml", "[Trash Info]\nPath=" + EscapeTrashPath(EncodeFileName(hot.path()) + "/verwaist \xe4.xml")
                                          + "\nDeletionDate=2026-12-10T10:00:00\n");
        orphan("fremd.xml", "[Trash Info]\nPath=" + EscapeTrashPath(EncodeFileName(elsewhere.path()) + "/fremd.xml")
                                + "\nDeletionDate=2026-12-10T10:00:00\n");
        orphan("leer.xml", "");

        QCOMPARE(RemoveOrphanedTrashEntries(hot.path() + QLatin1Char('/')), 2);
        QVERIFY(ExistsNamed(info + "fertig.xml.trashinfo"));
        QVERIFY(ExistsNamed(info + "fremd.xml.trashinfo"));
        QVERIFY(!ExistsNamed(info + "verwaist \xe4.xml.trashinfo"));
        QVERIFY(!ExistsNamed(info + "leer.xml.trashinfo"));
    }
};

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
