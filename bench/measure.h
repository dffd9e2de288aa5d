#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
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

} // namespace measure
