#pragma once

#include "db/database_gateway.h"
#include "totals/daily_totals.h"
#include "totals/memo.h"

#include <functional>
#include <string>
#include <vector>

namespace parktotals {

// The memo on the main window. It keeps the lines itself; the window that
// shows it listens for changes.
class Memo : public MemoSink {
public:
    struct View {
        virtual ~View() = default;
        virtual void MemoCleared() = 0;
        virtual void MemoLineAppended(const std::string& line) = 0;
    };

    void SetView(View* view) { view_ = view; }
    void Clear() override;
    void AppendLine(const std::string& line) override;
    std::vector<std::string> Lines() const override { return lines_; }

private:
    std::vector<std::string> lines_{"Memo1"};
    View* view_ = nullptr;
};

// The start timer: 500 ms after it is armed it ticks once. The shell arms a
// one-shot timer of the platform; a tick that finds the timer disabled does
// nothing.
struct Timer {
    int interval_ms = 500;
    bool enabled = true;
};

// What the form needs of the platform's window.
class FormHost {
public:
    virtual ~FormHost() = default;
    // Closes the main window, which ends the event loop.
    virtual void CloseForm() = 0;
};

struct FormSettings {
    JobSettings job;
    std::string central_connection_string;
    std::string reginfo_path = kRegInfoFileName;
};

// The main window's logic, the same on every platform. It owns its six
// components for its whole life; the database components are closed when it
// is destroyed.
class Tformmaindalventis {
public:
    // `job_gateway` is for tests: the job then runs on it instead of the
    // gateway over the form's own components.
    Tformmaindalventis(FormHost& host, FormSettings settings, Gateway* job_gateway = nullptr);

    Memo Memo1;
    Timer Timer1;
    Connection Conn;
    Query ADOec{Conn};
    Connection ADOCondir;
    Query ADOecdir{ADOCondir};

    // Creation handler: sets up the local connection; never throws.
    void FormCreate();
    // First tick of Timer1: disable the timer, run the job, close the window.
    // An error from the job propagates to the application's error handler
    // and the window stays open.
    void Timer1Timer();
    void RunDailyTotals();

    // How the run went so far: Incomplete until the job has finished.
    Outcome outcome() const { return outcome_; }

private:
    FormHost& host_;
    FormSettings settings_;
    DatabaseGateway own_gateway_;
    Gateway* gateway_;
    Outcome outcome_ = Outcome::Incomplete;
};

} // namespace parktotals
