#pragma once

#include <QElapsedTimer>

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

} // namespace measure
