#include "platform/Exception.h"

#include <QDebug>

namespace {
TExceptionHandler& Handler()
{
    static TExceptionHandler handler;
    return handler;
}
} // namespace

Exception::Exception(QString message)
    : FMessage(std::move(message))
    , FUtf8(FMessage.toStdString())
{
}

void SetExceptionHandler(TExceptionHandler handler)
{
    Handler() = std::move(handler);
}

QString CurrentExceptionMessage() noexcept
{
    try {
        throw;
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unbekannter Fehler");
    }
}

void HandleCurrentException() noexcept
{
    const QString message = CurrentExceptionMessage();
    try {
        if (Handler())
            Handler()(message);
        else
            qWarning().noquote() << message;
    } catch (...) {
        // The handler itself must not let anything escape into the event loop.
        qWarning().noquote() << message;
    }
}

bool Guarded(const std::function<void()>& work) noexcept
{
    try {
        work();
        return true;
    } catch (...) {
        HandleCurrentException();
        return false;
    }
}

QString WithReason(const QString& sentence, const QString& origin, const QString& detail)
{
    const QString trimmed = detail.trimmed();
    if (trimmed.isEmpty())
        return sentence;
    return sentence + QStringLiteral("\r\n") + origin + QStringLiteral(": ") + trimmed;
}
