#pragma once

#include <atomic>

// A request from outside to end the run before its end: the window closed,
// a signal (the service stopped, the machine shutting down), the Windows
// session ending. The job checks it between figures and a wait ends on it;
// the run then ends as every run does (memo1.txt, report, record).
namespace parktotals {

enum class StopCause {
    None,
    WindowClosed,
    Signal,        // SIGTERM, SIGINT or SIGHUP; the number says which
    SessionEnding, // Windows is shutting down or the user logging off
    ConsoleClosed, // the console the program was started from closed
};

struct StopRequest {
    StopCause cause = StopCause::None;
    int signal = 0; // with StopCause::Signal
};

// Set from anywhere, a signal handler too: one lock-free atomic, and the
// first request is the one kept.
class StopFlag {
public:
    void Request(StopCause cause, int signal = 0) noexcept {
        int none = 0;
        state_.compare_exchange_strong(none, static_cast<int>(cause) | signal << 8);
    }
    bool Requested() const noexcept { return state_.load() != 0; }
    StopRequest Get() const noexcept {
        const int state = state_.load();
        return {static_cast<StopCause>(state & 0xFF), state >> 8};
    }

private:
    std::atomic<int> state_{0};
    static_assert(std::atomic<int>::is_always_lock_free);
};

} // namespace parktotals
