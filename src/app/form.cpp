#include "app/form.h"

#include <utility>

namespace parktotals {

Tformmaindalventis::Tformmaindalventis(Shell& shell, FormSettings settings, Gateway* job_gateway)
    : shell_(shell), settings_(std::move(settings)),
      own_gateway_(Conn, ADOec, ADOCondir, ADOecdir, settings_.central_connection_string),
      gateway_(job_gateway ? job_gateway : &own_gateway_) {
    // The central connection string is part of the window's design as well.
    ADOCondir.SetConnectionString(settings_.central_connection_string);
}

void Tformmaindalventis::FormCreate() noexcept {
    // Start-up never fails: a local database that cannot be reached only
    // costs the figures it would have given.
    own_gateway_.SetUpLocalConnection(settings_.reginfo_path);
}

void Tformmaindalventis::Timer1Timer() {
    Timer1.enabled = false;
    outcome_ = RunDailyTotals(*gateway_, Memo1, settings_.job);
    shell_.CloseForm();
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
