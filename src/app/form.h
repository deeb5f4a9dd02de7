#pragma once

#include "db/database_gateway.h"
#include "totals/daily_totals.h"
#include "totals/memo.h"
#include "totals/run_event.h"
#include "totals/run_report.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace parktotals {

// The start timer: 500 ms after it is armed it ticks once. The shell arms a
// one-shot timer of the platform; a tick that finds the timer disabled does
// nothing.
struct Timer {
    int interval_ms = 500;
    bool enabled = true;
};

// The platform's side of a run: the main window (or none) and the modal
// error box.
class Shell {
public:
    virtual ~Shell() = default;
    // Closes the main window, which ends the event loop.
    virtual void CloseForm() = 0;
    // Shows the error and returns when it has been dismissed (a shell with
    // no display reports it and returns at once).
    virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;
    // Something the person reading a run's output should know. Only a shell
    // without a window prints it: with a window, the run report holds it.
    virtual void Notice(const std::string& caption, const std::string& text) {
        (void)caption;
        (void)text;
    }
    virtual bool PrintsNotices() const { return false; }
    // Waits `wait` before the job tries again, the window (if any) kept as
    // it is and answering. Returns false as soon as a stop is asked for
    // (the window closed, a signal, the session ending): the run then ends
    // at once. Without a window it only sleeps.
    virtual bool Pause(std::chrono::seconds wait);

    // Writes the run's event where the platform keeps them (Windows'
    // Application log; nowhere on Linux). Returns why it could not.
    virtual std::optional<std::string> WriteEvent(const RunEvent& event) noexcept { return WriteRunEvent(event); }

    // The run's stop request: the platform sets it, the job asks it.
    StopFlag& Stop() { return stop_; }

protected:
    StopFlag stop_;
};

struct FormSettings {
    JobSettings job;
    std::string central_connection_string;
    std::string reginfo_path = kRegInfoFileName;
    std::string report_path = kRunReportFileName; // in the working directory
    std::string version;
};

// The main window's logic, the same on every platform. It owns its six
// components for its whole life; the database components are closed when it
// is destroyed.
class Tformmaindalventis {
public:
    Tformmaindalventis(Shell& shell, FormSettings settings);

    // Starts with its design-time text, which the job's first step clears.
    Memo Memo1{std::vector<std::string>{"Memo1"}};
    Timer Timer1;
    Connection Conn;
    Query ADOec{Conn};
    Connection ADOCondir;
    Query ADOecdir{ADOCondir};

    // Creation handler: sets up the local connection.
    void FormCreate() noexcept;
    // First tick of Timer1: disable the timer, run the job, close the window.
    // An error from the job propagates to the application's error handler
    // and the window stays open.
    void Timer1Timer();

    // What the job does before each retry (JobSettings::wait_before_retry).
    void SetWaitBeforeRetry(std::function<bool(const RetryRound&)> wait);

    // How the run went so far: Incomplete until the job has finished.
    Outcome outcome() const { return outcome_; }

    // What the run report says of this run, ended with `exit_code` and the
    // error box's text, if any.
    RunRecord RecordRun(int exit_code, std::optional<std::string> error_box) const;
    const std::string& ReportPath() const { return settings_.report_path; }

private:
    Shell& shell_;
    FormSettings settings_;
    DatabaseGateway gateway_;
    Outcome outcome_ = Outcome::Incomplete;
    // The run starts when the window is built.
    LocalDateTime started_ = NowOnLocalClock();
    std::chrono::steady_clock::time_point started_steady_ = std::chrono::steady_clock::now();
    LocalSetUp local_setup_;
    JobRecord job_record_;
};

// The memo's lines as one text, `separator` between them.
std::string JoinLines(const std::vector<std::string>& lines, const std::string& separator);

// The settings of a run of the program: weixinconfig.ini in the
// executable's folder (`executable_folder` ends with its separator, or is
// empty), and the built-in central connection string.
FormSettings ProgramSettings(const std::string& executable_folder, std::string central_connection_string);

} // namespace parktotals
