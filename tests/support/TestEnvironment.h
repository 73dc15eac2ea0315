#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "platform/UserPrompt.h"

#include <functional>

// A temporary folder that is removed with everything in it when it goes, also files whose
// names are not UTF-8 (which QTemporaryDir leaves behind).
class TTempFolder
{
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    bool isValid() const { return FDir.isValid(); }
    QString path() const { return FDir.path(); }
    QString filePath(const QString& name) const { return FDir.filePath(name); }

private:
    QTemporaryDir FDir;
};

// Writes a file whose name is given as bytes (which need not be UTF-8) into folder and
// returns its path as the program holds it.
QString WriteFileNamedBytes(const QString& folder, const QByteArray& name, const QByteArray& content);

// A private home for one test program: HOME and the XDG folders point into a temporary
// folder, so that settings, history, trash and desktop of the test never touch the user's.
class TSandboxHome
{
public:
    TSandboxHome();
    QString Path() const { return FDir.path(); }
    QString DataHome() const { return Path() + QStringLiteral("/.local/share"); }
    QString ConfigHome() const { return Path() + QStringLiteral("/.config"); }
    QString Desktop() const { return Path() + QStringLiteral("/Desktop"); }

private:
    TTempFolder FDir;
};

// Test fixtures that live in the project (tests/data) and the shared sample corpus.
QString TestDataPath(const QString& name);
QByteArray ReadTestData(const QString& name);
QString CorpusDir(); // empty when the corpus is not there
QString CorpusPath(const QString& name);
// The ZUGFeRD / Factur-X profile samples with their rules' answers (reference.tsv); empty
// when they are not there.
QString ProfileSamplesDir();

void WriteFileBytes(const QString& path, const QByteArray& bytes);
QByteArray ReadFileBytes(const QString& path);

// The message of the Exception that call raises; empty when it raises none.
QString ErrorOf(const std::function<void()>& call);

// The boxes the program showed so far with this caption.
QList<TPrompt> PromptsWith(const QString& caption);
// Their texts.
QStringList PromptTexts(const QString& caption);

// What a call cost: its time and how far the process's resident memory rose above what it
// was before the call, at its peak (0 where the system does not tell).
struct TCost
{
    double Seconds = 0;
    double PeakMiB = 0;
};
TCost CostOf(const std::function<void()>& call);
// The bounds the tests of hostile input hold a call to: generous, so that only a call that
// grows out of proportion fails; larger in a sanitizer build, which is several times slower
// and keeps freed memory in quarantine.
double TimeBoundSeconds(double seconds);
double MemoryBoundMiB(double mib);
