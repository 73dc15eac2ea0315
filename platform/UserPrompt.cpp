#include "platform/UserPrompt.h"

namespace {

struct TState
{
    TPromptBackend Backend;
    QList<TPromptAnswer> Answers;
    QList<QString> Picks;
    QList<TPrompt> Asked;
};

TState& State()
{
    static TState state;
    return state;
}

QString Pick(const std::function<QString(const QString&)>& backend, const QString& argument)
{
    TState& s = State();
    if (!s.Picks.isEmpty())
        return s.Picks.takeFirst();
    return backend ? backend(argument) : QString();
}

} // namespace

TPromptAnswer TUserPrompt::Ask(const TPrompt& prompt)
{
    TState& s = State();
    s.Asked << prompt;
    if (!s.Answers.isEmpty())
        return s.Answers.takeFirst();
    if (s.Backend.Ask)
        return s.Backend.Ask(prompt);
    return prompt.Buttons == TPromptButtons::YesNo ? TPromptAnswer::No : TPromptAnswer::Ok;
}

QString TUserPrompt::SelectFolder(const QString& current)
{
    return Pick(State().Backend.SelectFolder, current);
}

QString TUserPrompt::OpenFile(const QString& folder)
{
    return Pick(State().Backend.OpenFile, folder);
}

QString TUserPrompt::SaveFile(const QString& suggestedName)
{
    return Pick(State().Backend.SaveFile, suggestedName);
}

void TUserPrompt::SetBackend(TPromptBackend backend)
{
    State().Backend = std::move(backend);
}

void TUserPrompt::QueueAnswer(TPromptAnswer answer)
{
    State().Answers << answer;
}

void TUserPrompt::QueuePick(const QString& path)
{
    State().Picks << path;
}

QList<TPrompt> TUserPrompt::Asked()
{
    return State().Asked;
}

void TUserPrompt::Reset()
{
    State().Answers.clear();
    State().Picks.clear();
    State().Asked.clear();
}
