#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace parktotals::testing {

// How long a test waits for something that should happen: long enough for
// a loaded two-core machine with cold caches, so that it only ever bounds a
// failure; a passing test never waits for it to run out.
inline constexpr std::chrono::seconds kGenerousTimeout{30};

// Checks `done` until it holds or `timeout` has passed; its last answer.
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kGenerousTimeout,
                      std::chrono::milliseconds poll = std::chrono::milliseconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return done();
        std::this_thread::sleep_for(poll);
    }
}

// For checks that something does NOT happen: watches `holds` for the whole
// `period` and says whether it held every time it was asked. The caller
// says why the period is long enough.
inline bool StaysTrueFor(const std::function<bool()>& holds, std::chrono::milliseconds period,
                         std::chrono::milliseconds poll = std::chrono::milliseconds(50)) {
    const auto end = std::chrono::steady_clock::now() + period;
    for (;;) {
        if (!holds()) return false;
        if (std::chrono::steady_clock::now() >= end) return true;
        std::this_thread::sleep_for(poll);
    }
}

} // namespace parktotals::testing
