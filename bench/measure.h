#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

// What every benchmark prints: medians of runs, in milliseconds.
namespace measure {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline double msSince(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// The whole number given as command-line argument `index` (at least 1), or `fallback`.
inline int count(int index, int fallback) {
    const QStringList args = QCoreApplication::arguments();
    return std::max(1, args.value(index, QString::number(fallback)).toInt());
}

// Calls `then` from the event loop once `ready` holds, asked every `everyMs`, or once
// `timeoutMs` have passed (then `ready` may still be false).
inline void whenReady(QObject* context, std::function<bool()> ready, std::function<void()> then,
                      int everyMs = 10, int timeoutMs = 60000) {
    auto* timer = new QTimer(context);
    QElapsedTimer waited;
    waited.start();
    QObject::connect(timer, &QTimer::timeout, context, [=] {
        if (!ready() && waited.elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        then();
    });
    timer->start(everyMs);
}

} // namespace measure
