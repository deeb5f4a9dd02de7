#pragma once

#include "app/form.h"

#include <optional>
#include <string>

namespace parktotals {

// The application object every shell drives: it delivers the timer's tick
// to the form, is the error handler for what escapes it, and knows the exit
// code.
class Application {
public:
    Application(Shell& shell, std::string title) : shell_(shell), title_(std::move(title)) {}

    const std::string& Title() const { return title_; }

    // Delivers a tick of Timer1. An error escaping the handler is shown in
    // the error box; the window stays open with the timer disabled. The run
    // report is written before the box; with a window, a report that could
    // not be written is told in the box as well.
    void DeliverTimerTick(Tformmaindalventis& form);

    // 0, 1 or 2 as Outcome says; a window closed before the job ran counts
    // as nothing transferred, and so does, with a window, a run whose
    // report could not be written.
    int ExitCode(const Tformmaindalventis& form) const;

private:
    // Gives the shell the run's notices, writes the run's event, then
    // appends the run to the report. Returns the error box's text for a report that could not be
    // written, when the shell prints no notices.
    std::optional<std::string> ReportRun(const Tformmaindalventis& form,
                                         const std::optional<std::string>& error_box) noexcept;

    Shell& shell_;
    std::string title_;
    bool aborted_ = false;
    bool report_lost_ = false;
};

} // namespace parktotals
