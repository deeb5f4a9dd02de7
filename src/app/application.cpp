#include "app/application.h"

#include "app/app_title.h"
#include "text/errors.h"
#include "text/message_table.h"

#include <exception>

namespace parktotals {

void Application::DeliverTimerTick(Tformmaindalventis& form) {
    if (!form.Timer1.enabled) return;
    std::optional<std::string> error_box;
    // Before each retry: why, at once for a run without a window (the
    // report has it at the end), then the wait.
    form.SetWaitBeforeRetry([this](const RetryRound& round) {
        for (const std::string& line : RetryRoundLines(round)) shell_.Notice(title_, line);
        return shell_.Pause(round.wait);
    });
    try {
        form.Timer1Timer();
    } catch (const std::exception& e) {
        // Aborted first: the exit code says so even when showing the error fails.
        aborted_ = true;
        error_box = ErrorBoxText(e.what());
    } catch (...) {
        aborted_ = true;
        error_box = ErrorBoxText(Say(msg::kUnknownError));
    }
    // Before the box, which may wait all night for a click.
    const std::optional<std::string> report_lost = ReportRun(form, error_box);
    if (error_box && report_lost) error_box = *error_box + "\n\n" + *report_lost;
    if (error_box || report_lost) shell_.ShowErrorBox(title_, error_box ? *error_box : *report_lost);
}

std::optional<std::string> Application::ReportRun(const Tformmaindalventis& form,
                                                  const std::optional<std::string>& error_box) noexcept {
    try {
        const RunRecord record = form.RecordRun(ExitCode(form), error_box);
        for (const std::string& notice : HeadlessNotices(record)) shell_.Notice(title_, notice);
        std::vector<std::string> lines = RunReportLines(record);
        // The event first, so that the report can say it was not written.
        if (const std::optional<std::string> not_written = shell_.WriteEvent(RunEventFor(record, lines)))
            lines.push_back(OneLine(Say(msg::kEventNotWritten, {*not_written})));
        const std::optional<std::string> failure = AppendRunReport(form.ReportPath(), lines);
        if (!failure) return std::nullopt;
        if (shell_.PrintsNotices()) {
            shell_.Notice(title_, Say(msg::kNoticeReportNotWritten, {form.ReportPath(), *failure}));
            return std::nullopt;
        }
        // Nobody reads a window's notices: what the report would have said
        // is lost, so the run does not count as a good one.
        report_lost_ = true;
        return ErrorBoxText(Say(msg::kReportNotWritten, {form.ReportPath(), *failure}));
    } catch (...) {
        // Out of memory, or a shell that cannot print: the run is what it was.
        return std::nullopt;
    }
}

int Application::ExitCode(const Tformmaindalventis& form) const {
    if (aborted_) return static_cast<int>(Outcome::Aborted);
    if (report_lost_) return static_cast<int>(Outcome::Incomplete);
    return static_cast<int>(form.outcome());
}

} // namespace parktotals
