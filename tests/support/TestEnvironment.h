#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "platform/UserPrompt.h"

#include <functional>

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
    QTemporaryDir FDir;
};

// Test fixtures that live in the project (tests/data) and the shared sample corpus.
QString TestDataPath(const QString& name);
QByteArray ReadTestData(const QString& name);
QString CorpusDir(); // empty when the corpus is not there
QString CorpusPath(const QString& name);

void WriteFileBytes(const QString& path, const QByteArray& bytes);
QByteArray ReadFileBytes(const QString& path);

// The message of the Exception that call raises; empty when it raises none.
QString ErrorOf(const std::function<void()>& call);

// The boxes the program showed so far with this caption.
QList<TPrompt> PromptsWith(const QString& caption);
// Their texts.
QStringList PromptTexts(const QString& caption);
