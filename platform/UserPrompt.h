#pragma once

#include <QList>
#include <QString>

#include <functional>

// Every message box, question and file or folder picker of the program goes through here.
// The application installs a backend that shows real dialogs; tests queue answers instead
// and read back what the program asked.

enum class TPromptIcon { None, Question, Warning, Error };
enum class TPromptButtons { Ok, YesNo };
enum class TPromptAnswer { Ok, Yes, No, Cancel };

struct TPrompt
{
    QString Caption;
    QString Text;
    TPromptIcon Icon = TPromptIcon::None;
    TPromptButtons Buttons = TPromptButtons::Ok;
    // For Yes/No: "Nein" is the button that Enter presses (Escape always means "Nein").
    // For every question whose "Ja" goes against a recommendation.
    bool DefaultNo = false;
};

struct TPromptBackend
{
    std::function<TPromptAnswer(const TPrompt&)> Ask;
    // A folder chosen by the user, or a null text when the picker was cancelled.
    std::function<QString(const QString& current)> SelectFolder;
    // A file chosen by the user, or a null text when the dialog was cancelled.
    std::function<QString(const QString& folder)> OpenFile;
    // Where to save a file offered under suggestedName; a null text when cancelled.
    std::function<QString(const QString& suggestedName)> SaveFile;
};

class TUserPrompt
{
public:
    static TPromptAnswer Ask(const TPrompt& prompt);
    static QString SelectFolder(const QString& current);
    static QString OpenFile(const QString& folder);
    static QString SaveFile(const QString& suggestedName);

    static void SetBackend(TPromptBackend backend);

    // For tests: queued answers are used (first in, first out) before the backend; with
    // no answer queued and no backend, a box answers Ok / No and a picker is cancelled.
    static void QueueAnswer(TPromptAnswer answer);
    static void QueuePick(const QString& path); // a null text: cancelled
    static QList<TPrompt> Asked();              // every box shown so far
    static void Reset();                        // forget queue and history
};
