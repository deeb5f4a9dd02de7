#include "db/database_error.h"

#include "text/message_table.h"

#include <utility>

namespace parktotals {

DatabaseError::DatabaseError(const std::string& message, std::string sqlstate, long native_code, bool link_lost)
    : UserError(message), sqlstate_(std::move(sqlstate)), native_code_(native_code), link_lost_(link_lost) {}

std::string CleanDriverMessage(std::string_view raw) {
    while (!raw.empty() && raw.front() == '[') {
        const std::size_t close = raw.find(']');
        if (close == std::string_view::npos) break;
        raw.remove_prefix(close + 1);
    }
    return TrimMessageTail(std::string(raw));
}

EncryptionRefusedError::EncryptionRefusedError(const DatabaseError& cause)
    : DatabaseError(Say(msg::kEncryptionRefused, {cause.what()}), cause.SqlState(), cause.NativeCode(),
                    cause.LinkLost()) {
    final_ = true;
}

bool IsLinkFailureState(std::string_view sqlstate) {
    return sqlstate == "08S01" || sqlstate == "08S02" || sqlstate == "08003" || sqlstate == "08007";
}

bool IsLoginRefusal(const DatabaseError& error) {
    return error.NativeCode() == 18456 || error.SqlState() == "28000";
}

bool IsNoAnswer(const DatabaseError& error) {
    return error.NativeCode() == 20009 || error.NativeCode() == 17 || error.SqlState() == "HYT00";
}

bool IsTimeOut(const DatabaseError& error) { return error.SqlState() == "HYT00" || error.SqlState() == "HYT01"; }

bool IsTransient(const DatabaseError& error) {
    if (IsLoginRefusal(error) || error.Final()) return false;
    return error.LinkLost() || IsNoAnswer(error) || IsTimeOut(error) || error.SqlState() == "08001" ||
           error.NativeCode() == 1205 || error.NativeCode() == 1222;
}

DatabaseError MakeDatabaseError(const std::vector<DiagnosticRecord>& records, std::string_view call) {
    if (records.empty())
        return DatabaseError(Say(msg::kCallFailedNoReason, {call}), "", 0, false);

    const DiagnosticRecord* speaker = &records.front();
    for (const DiagnosticRecord& record : records) {
        if (record.sqlstate.rfind("01", 0) != 0) {
            speaker = &record;
            break;
        }
    }
    // FreeTDS ranks SQL Server's 18456 "Login failed" ahead of the error the
    // server sent before it to say why (4060: no such database). The reason
    // speaks; FreeTDS's own numbers (20000 and up) are none.
    if (speaker->native_code == 18456) {
        for (const DiagnosticRecord& record : records) {
            if (record.sqlstate.rfind("01", 0) != 0 && record.native_code > 0 && record.native_code < 20000 &&
                record.native_code != 18456) {
                speaker = &record;
                break;
            }
        }
    }
    bool link_lost = false;
    for (const DiagnosticRecord& record : records) link_lost = link_lost || IsLinkFailureState(record.sqlstate);

    std::string message = CleanDriverMessage(speaker->message);
    if (message.empty()) message = Say(msg::kCallFailedWithState, {call, speaker->sqlstate});
    return DatabaseError(message, speaker->sqlstate, speaker->native_code, link_lost);
}

FailureReason FailureReasonOf(const std::exception& error) {
    if (const auto* database = dynamic_cast<const DatabaseError*>(&error))
        return {database->what(), database->SqlState(), database->NativeCode(), IsTransient(*database)};
    return {error.what(), "", 0};
}

} // namespace parktotals
