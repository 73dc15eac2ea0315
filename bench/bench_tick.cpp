// One hotfolder tick with 10,000 listed files and no change, and one tick that finds
// 10,000 new files, each compared in the same run with the floor: a plain loop doing one
// existence test per file plus one listing of the folder.

#include "bench/BenchUtil.h"
#include "settings/ESettings.h"
#include "tests/support/TestEnvironment.h"
#include "workflow/EWorkflow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>

namespace {

constexpr int kFiles = 10000;

// The floor: stat() of every file, then readdir() of the folder.
void Floor(const std::vector<QByteArray>& paths, const QByteArray& folder)
{
    int found = 0;
    for (const QByteArray& p : paths) {
        struct stat st;
        found += ::stat(p.constData(), &st) == 0;
    }
    DIR* dir = ::opendir(folder.constData());
    while (const dirent* e = ::readdir(dir))
        found += e->d_name[0] != '.';
    ::closedir(dir);
    if (found != 2 * kFiles)
        std::fprintf(stderr, "floor saw %d\n", found);
}

} // namespace

int main(int argc, char* argv[])
{
    TSandboxHome home;
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString hot = tmp.filePath(QStringLiteral("hot"));
    QDir().mkpath(hot);
    std::vector<QByteArray> paths;
    for (int i = 0; i < kFiles; ++i) {
        const QString path = hot + QStringLiteral("/Rechnung-%1.xml").arg(i, 5, 10, QLatin1Char('0'));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("<Invoice/>");
        paths.push_back(QFile::encodeName(path));
    }
    TESettings settings;
    settings.HotfolderPfad = hot;
    const QByteArray folder = QFile::encodeName(hot);
    const int runs = 25;

    PrintHeader();
    const double floor = MedianMs(runs, [&] { Floor(paths, folder); });

    QList<double> discover;
    for (int i = 0; i <= runs; ++i) {
        QObject owner;
        auto* engine = new TEWorkflow(&owner);
        engine->SetSettings(&settings);
        QElapsedTimer t;
        t.start();
        engine->HotfolderTimer();
        if (i > 0) // the first run warms the caches
            discover << t.nsecsElapsed() / 1e6;
        if (engine->Files().size() != kFiles)
            std::fprintf(stderr, "listed %lld\n", qlonglong(engine->Files().size()));
    }
    std::sort(discover.begin(), discover.end());

    QObject owner;
    auto* engine = new TEWorkflow(&owner);
    engine->SetSettings(&settings);
    engine->HotfolderTimer();
    const double idle = MedianMs(runs, [&] { engine->HotfolderTimer(); });

    PrintRow(QStringLiteral("tick, 10000 listed files, no change"), idle, floor);
    PrintRow(QStringLiteral("tick that finds 10000 new files"), discover[discover.size() / 2], floor);
    return 0;
}
