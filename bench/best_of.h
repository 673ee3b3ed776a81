#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <functional>

// The best of three runs of work, in milliseconds: the least disturbed by the rest of the machine.
// prepare, if given, runs untimed before each run.
inline double BestOfThree(const std::function<void()>& work,
                          const std::function<void()>& prepare = {}) {
    double best = 1e18;
    for (int run = 0; run < 3; ++run) {
        if (prepare) prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}
