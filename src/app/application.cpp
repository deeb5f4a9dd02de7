#include "app/application.h"

#include "app/app_title.h"

#include <exception>

namespace parktotals {

void Application::DeliverTimerTick(Tformmaindalventis& form) {
    if (!form.Timer1.enabled) return;
    std::string message = "Unknown error";
    try {
        form.Timer1Timer();
        return;
    } catch (const std::exception& e) {
        // Aborted first: the exit code says so even when showing the error fails.
        aborted_ = true;
        message = e.what();
    } catch (...) {
        aborted_ = true;
    }
    shell_.ShowErrorBox(title_, ErrorBoxText(message));
}

int Application::ExitCode(const Tformmaindalventis& form) const {
    return static_cast<int>(aborted_ ? Outcome::Aborted : form.outcome());
}

} // namespace parktotals
