#include "app/application.h"

#include "app/app_title.h"

#include <exception>

namespace parktotals {

void Application::DeliverTimerTick(Tformmaindalventis& form) {
    if (!form.Timer1.enabled) return;
    std::string message = "Unknown error";
    try {
        form.Timer1Timer();
        ReportRun(form, std::nullopt);
        return;
    } catch (const std::exception& e) {
        // Aborted first: the exit code says so even when showing the error fails.
        aborted_ = true;
        message = e.what();
    } catch (...) {
        aborted_ = true;
    }
    const std::string text = ErrorBoxText(message);
    // Before the box, which may wait all night for a click.
    ReportRun(form, text);
    shell_.ShowErrorBox(title_, text);
}

void Application::ReportRun(const Tformmaindalventis& form, const std::optional<std::string>& error_box) noexcept {
    try {
        const RunRecord record = form.RecordRun(ExitCode(form), error_box);
        for (const std::string& notice : HeadlessNotices(record)) shell_.Notice(title_, notice);
        if (const auto failure = AppendRunReport(form.ReportPath(), RunReportLines(record)))
            shell_.Notice(title_, "the run report " + form.ReportPath() + " could not be written: " + *failure);
    } catch (...) {
        // Out of memory, or a shell that cannot print: the run is what it was.
    }
}

int Application::ExitCode(const Tformmaindalventis& form) const {
    return static_cast<int>(aborted_ ? Outcome::Aborted : form.outcome());
}

} // namespace parktotals
