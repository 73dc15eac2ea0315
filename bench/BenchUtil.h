#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>

// Runs work `runs` times after one warm-up and returns the median in milliseconds.
inline double MedianMs(int runs, const std::function<void()>& work)
{
    work();
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times << t.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// "bench_x TEXT" measures only the cases whose label contains TEXT.
inline bool Selected(const QString& label)
{
    const QStringList args = QCoreApplication::arguments();
    return args.size() < 2 || label.contains(args[1]);
}

inline void PrintRow(const QString& what, double ours, double floor)
{
    std::printf("%-58s %10.2f ms %10.2f ms %7.2fx\n", qPrintable(what), ours, floor, ours / floor);
}

inline void PrintHeader()
{
    std::printf("%-58s %13s %13s %8s\n", "case", "ours", "floor", "ratio");
}
