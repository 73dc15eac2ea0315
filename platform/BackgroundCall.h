#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <exception>
#include <optional>
#include <thread>
#include <type_traits>

// Runs a blocking piece of work (a service call, a network step) on a worker thread while
// the calling thread's event loop goes on: the window paints, its timers tick, and it
// answers input. Returns the work's result or raises its exception on the calling thread.
// Without an event loop to keep going (no application, or called off its thread) the
// work runs directly.
//
// Callers must expect that anything may happen while they wait (timers, clicks); the
// work itself must not touch objects of the calling thread. If the application quits
// meanwhile, the call still waits for the work to end: whoever quits cancels it first.
template <class Work>
auto RunKeepingEventsFlowing(Work&& work) -> std::invoke_result_t<Work&>
{
    using TResult = std::invoke_result_t<Work&>;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return work();

    QEventLoop loop;
    std::exception_ptr error;
    std::conditional_t<std::is_void_v<TResult>, bool, std::optional<TResult>> result{};
    std::thread worker([&] {
        try {
            if constexpr (std::is_void_v<TResult>) {
                work();
                result = true;
            } else {
                result.emplace(work());
            }
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::AllEvents);
    worker.join();
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<TResult>)
        return std::move(*result);
}
