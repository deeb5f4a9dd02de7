#include "app/form.h"

#include "db/connection_string.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace parktotals {
namespace {

// How soon a wait notices a stop asked for.
constexpr std::chrono::milliseconds kStopPollStep{100};

} // namespace

bool Shell::Pause(std::chrono::seconds wait) {
    // In short steps, so that a stop asked for from another thread ends it.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (auto now = std::chrono::steady_clock::now(); now < deadline && !stop_.Requested();
         now = std::chrono::steady_clock::now())
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now, kStopPollStep));
    return !stop_.Requested();
}

Tformmaindalventis::Tformmaindalventis(Shell& shell, FormSettings settings)
    : shell_(shell), settings_(std::move(settings)),
      gateway_(Conn, ADOec, ADOCondir, ADOecdir, settings_.central_connection_string) {
    // The central connection string is part of the window's design as well.
    ADOCondir.SetConnectionString(settings_.central_connection_string);
}

void Tformmaindalventis::SetWaitBeforeRetry(std::function<bool(const RetryRound&)> wait) {
    settings_.job.wait_before_retry = std::move(wait);
}

void Tformmaindalventis::FormCreate() noexcept {
    // Start-up never fails: a local database that cannot be reached only
    // costs the figures it would have given.
    local_setup_ = gateway_.SetUpLocalConnection(settings_.reginfo_path);
}

void Tformmaindalventis::Timer1Timer() {
    Timer1.enabled = false;
    settings_.job.stop = &shell_.Stop();
    outcome_ = RunDailyTotals(gateway_, Memo1, settings_.job, job_record_);
    shell_.CloseForm();
}

RunRecord Tformmaindalventis::RecordRun(int exit_code, std::optional<std::string> error_box) const {
    RunRecord record;
    record.started = started_;
    record.version = settings_.version;
    record.local = local_setup_;
    record.central = DescribeConnectionString(settings_.central_connection_string);
    record.job = job_record_;
    if (!record.job.figures_started) {
        // The job ended before it looked them up; the report still says
        // which car park and day the run was for.
        record.job.park = LookUpParkNumber(settings_.job.park_config_path);
        if (record.job.date_key.empty()) record.job.date_key = YesterdayKey(settings_.job.today());
    }
    record.exit_code = exit_code;
    record.duration = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                            started_steady_);
    record.error_box = std::move(error_box);
    return record;
}

std::string JoinLines(const std::vector<std::string>& lines, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += separator;
        text += lines[i];
    }
    return text;
}

FormSettings ProgramSettings(const std::string& executable_folder, std::string central_connection_string) {
    FormSettings settings;
    settings.job.park_config_path = executable_folder + kParkConfigFileName;
    settings.central_connection_string = std::move(central_connection_string);
    return settings;
}

} // namespace parktotals
