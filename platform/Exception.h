#pragma once

#include <QString>

#include <exception>
#include <functional>
#include <string>

// The one exception class of the program. It carries the German message that the
// central handler shows to the user.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);

    const QString& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FUtf8.c_str(); }

private:
    QString FMessage;
    std::string FUtf8;
};

// A message as the program writes them: what failed, in a German sentence, and then the
// text of whoever reported it (a server, OpenSSL, the system), which is often English:
// "<sentence>\r\n<origin>: <detail>". Without a detail only the sentence.
QString WithReason(const QString& sentence, const QString& origin, const QString& detail);

// The central handler. The application installs one that shows the message in a message
// box; until then (and in tools without windows) the message goes to the Qt log.
using TExceptionHandler = std::function<void(const QString& message)>;
void SetExceptionHandler(TExceptionHandler handler);

// The message of the exception that is being handled (call from a catch block).
QString CurrentExceptionMessage() noexcept;

// Hands the exception that is being handled (call from a catch block) to the central
// handler. Anything that is not our Exception is shown with its what() text.
void HandleCurrentException() noexcept;

// Runs work and hands every exception it throws to the central handler: for slots, timer
// callbacks and event handlers, so that no exception crosses Qt's event loop.
// Returns false when work threw.
bool Guarded(const std::function<void()>& work) noexcept;
