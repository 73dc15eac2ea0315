#include "app/CentralHandler.h"

#include "platform/Exception.h"
#include "platform/UserPrompt.h"

#include <QSet>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleCurrentException();
        return false;
    }
}

void InstallCentralHandler()
{
    SetExceptionHandler([](const QString& message) {
        // A failure that repeats while its box is open (a timer, a nested event loop) does
        // not open a box over the box.
        static QSet<QString> open;
        if (open.contains(message))
            return;
        open.insert(message);
        TUserPrompt::Ask({QString::fromUtf8(kApplicationTitle), message, TPromptIcon::Error, TPromptButtons::Ok});
        open.remove(message);
    });
}
