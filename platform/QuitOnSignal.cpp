#include "platform/QuitOnSignal.h"

#include <QCoreApplication>

#ifndef Q_OS_WIN
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int gPipe[2] = {-1, -1};

// Only what is safe in a signal handler: one byte into the pipe the event loop watches.
void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
}

} // namespace

void QuitOnTerminationSignals()
{
    if (gPipe[0] >= 0 || ::pipe(gPipe) != 0)
        return;
    for (const int fd : gPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(gPipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(gPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}
#else
void QuitOnTerminationSignals()
{
}
#endif
