#include "app/form.h"

namespace parktotals {

void Memo::Clear() {
    lines_.clear();
    if (view_) view_->MemoCleared();
}

void Memo::AppendLine(const std::string& line) {
    lines_.push_back(line);
    if (view_) view_->MemoLineAppended(line);
}

Tformmaindalventis::Tformmaindalventis(FormHost& host, FormSettings settings, Gateway* job_gateway)
    : host_(host), settings_(std::move(settings)),
      own_gateway_(Conn, ADOec, ADOCondir, ADOecdir, settings_.central_connection_string),
      gateway_(job_gateway ? job_gateway : &own_gateway_) {
    // The central connection string is part of the window's design as well.
    ADOCondir.SetConnectionString(settings_.central_connection_string);
}

void Tformmaindalventis::FormCreate() {
    try {
        own_gateway_.SetUpLocalConnection(settings_.reginfo_path);
    } catch (...) {
        // Start-up never fails: a local database that cannot be reached only
        // costs the figures it would have given.
    }
}

void Tformmaindalventis::Timer1Timer() {
    Timer1.enabled = false;
    RunDailyTotals();
    host_.CloseForm();
}

void Tformmaindalventis::RunDailyTotals() {
    outcome_ = parktotals::RunDailyTotals(*gateway_, Memo1, settings_.job);
}

} // namespace parktotals
