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

namespace {

constexpr long kAnyNumber = -1;

struct KindRule {
    std::string_view sqlstate; // empty: any
    long native_code;          // kAnyNumber: any
    FailureKind kind;
};

// The first rule that matches decides; the numbers before the states, as a
// number says more than the state drivers wrap it in.
constexpr KindRule kKindRules[] = {
    {"", 18456, FailureKind::LoginRefused}, // SQL Server: "Login failed for user"
    {"28000", kAnyNumber, FailureKind::LoginRefused},
    {"", 1205, FailureKind::Busy}, // chosen as the deadlock victim
    {"", 1222, FailureKind::Busy}, // lock request time-out
    // FreeTDS: "Unable to connect: Adaptive Server is unavailable or does not
    // exist"; the Microsoft driver: "SQL Server does not exist or access denied".
    {"", 20009, FailureKind::NoAnswer},
    {"", 17, FailureKind::NoAnswer},
    // FreeTDS: "Unexpected EOF from the server", also as a mere warning
    // (01000) when the link died mid-answer; "Write to the server failed";
    // "Read from the server failed".
    {"", 20017, FailureKind::LinkLost},
    {"", 20006, FailureKind::LinkLost},
    {"", 20004, FailureKind::LinkLost},
    {"HYT00", kAnyNumber, FailureKind::TimedOut},
    {"HYT01", kAnyNumber, FailureKind::TimedOut},
    {"08S01", kAnyNumber, FailureKind::LinkLost},
    {"08S02", kAnyNumber, FailureKind::LinkLost},
    {"08003", kAnyNumber, FailureKind::LinkLost},
    {"08007", kAnyNumber, FailureKind::LinkLost},
    // FreeTDS: "Adaptive Server connection failed"; "Unable to connect to
    // data source".
    {"", 20002, FailureKind::ConnectFailed},
    {"08001", kAnyNumber, FailureKind::ConnectFailed},
};

} // namespace

FailureKind KindOf(const DatabaseError& error) {
    if (error.Final()) return FailureKind::Final;
    for (const KindRule& rule : kKindRules) {
        if ((rule.sqlstate.empty() || rule.sqlstate == error.SqlState()) &&
            (rule.native_code == kAnyNumber || rule.native_code == error.NativeCode()))
            return rule.kind;
    }
    // Another record of the call said the link was gone.
    return error.LinkLost() ? FailureKind::LinkLost : FailureKind::Final;
}

bool WorthAnotherTry(FailureKind kind) {
    switch (kind) {
    case FailureKind::NoAnswer:
    case FailureKind::ConnectFailed:
    case FailureKind::LinkLost:
    case FailureKind::TimedOut:
    case FailureKind::Busy:
        return true;
    case FailureKind::Final:
    case FailureKind::LoginRefused:
        break;
    }
    return false;
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
    // FreeTDS 1.3.17 tells of a link that broke while it connected (closed
    // during PRELOGIN or the TLS handshake) only in a warning after its 08001
    // "Unable to connect to data source": 20017 "Unexpected EOF from the
    // server", or 20004 and 20006 for a read or a write that failed.
    bool link_lost = false;
    for (const DiagnosticRecord& record : records) {
        link_lost = link_lost || IsLinkFailureState(record.sqlstate) || record.native_code == 20017 ||
                    record.native_code == 20004 || record.native_code == 20006;
    }

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
