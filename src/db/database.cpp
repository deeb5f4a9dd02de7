#include "db/database.h"

#include "db/column_reading.h"
#include "db/connection_string.h"
#include "db/odbc.h"
#include "db/sql_browser.h"
#include "db/value_text.h"
#include "text/message_table.h"

#include <algorithm>
#include <chrono>

namespace parktotals {
namespace {

std::optional<std::string> ReadField(OdbcStatement& statement, int column) {
    const OdbcColumn info = statement.DescribeColumn(column);
    switch (ChooseColumnReading(info.data_type, info.size, info.decimal_digits)) {
    case ColumnReading::Integer:
        if (const auto value = statement.GetInt64(column)) return RenderInteger(*value);
        return std::nullopt;
    case ColumnReading::Decimal:
        if (const auto value = statement.GetText(column)) return RenderDecimal(*value);
        return std::nullopt;
    case ColumnReading::Float:
        if (const auto value = statement.GetDouble(column)) return RenderFloat(*value);
        return std::nullopt;
    case ColumnReading::Text:
        break;
    }
    return statement.GetText(column);
}

// The drivers say only that nothing answered; for a named instance the
// usual cause is the SQL Server Browser, which tells them its port.
DatabaseError NamedInstanceUnanswered(const DatabaseError& error, const std::string& server) {
    const std::string host = server.substr(0, server.find('\\'));
    return DatabaseError(Say(msg::kNamedInstanceUnanswered, {error.what(), server, host}), error.SqlState(),
                         error.NativeCode(), error.LinkLost());
}

// A failure to connect that no server's error number speaks for: the
// driver's own (FreeTDS 20002, 08001 "Unable to connect to data source"),
// not the time-out, a server that never answered, nor a link that broke.
bool FailedBeforeLogin(const DatabaseError& error) {
    if (error.LinkLost()) return false;
    const FailureKind kind = KindOf(error);
    return kind == FailureKind::ConnectFailed || (kind == FailureKind::Final && error.NativeCode() == 0);
}

// FreeTDS 1.3.17 asks the SQL Server Browser for a named instance's port 16
// times a second apart, for each address of the host, whatever the login
// time-out: minutes when no Browser answers. The program asks within the
// time-out and gives the driver the port.
std::optional<std::string> FindInstancePort(const std::string& host, const std::string& instance, int timeout) {
    const InstancePort found = LookUpInstancePort(host, instance, std::chrono::seconds(timeout));
    switch (found.status) {
    case InstancePort::Status::UnknownHost:
        return std::nullopt; // the driver says so in its own words
    case InstancePort::Status::NoAnswer:
        throw NamedInstanceUnanswered(
            DatabaseError(Say(msg::kBrowserNoAnswer, {std::to_string(timeout)}), "HYT00", 0, false),
            host + "\\" + instance);
    case InstancePort::Status::Found:
        break;
    }
    return std::to_string(found.port);
}

} // namespace

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::SetConnectionString(std::string oledb) {
    if (IsOpen()) throw UserError(Say(msg::kConnectionStringWhileOpen));
    connection_string_ = std::move(oledb);
    login_refused_.reset();
    adjustments_.clear();
}

void Connection::Open() {
    if (IsOpen()) return;
    // Another try would fail the same way, and each failed login counts
    // towards a lockout of an account the car park's own software uses too.
    if (login_refused_) throw *login_refused_;
    const auto started = std::chrono::steady_clock::now();
    OdbcConnectionString target = TranslateConnectionString(connection_string_, BuildOdbcTarget(), FindInstancePort);
    adjustments_ = target.adjustments;
    if (!target.named_instance.empty()) {
        // The login gets what the look-up left of the time-out.
        const auto spent =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count();
        target.login_timeout_seconds = static_cast<int>(std::max<long long>(1, target.login_timeout_seconds - spent));
    }
    try {
        link_ = std::make_unique<OdbcLink>(target.odbc, target.login_timeout_seconds, target.freetds_conf);
    } catch (const DatabaseError& error) {
        if (IsLoginRefusal(error)) {
            login_refused_ = DatabaseError(Say(msg::kLoginNotTriedAgain, {error.what()}), error.SqlState(),
                                           error.NativeCode(), false);
            throw;
        }
        // The drivers say no more than that the connection failed when the
        // server offers no encryption or its certificate is not trusted
        // (FreeTDS: 20002 "Adaptive Server connection failed", and no login
        // is sent). A server that did not answer at all is not blamed on it,
        // nor one that answered the login with an error of its own (4060,
        // no such database): the handshake had gone through. Nor is a link
        // that broke during PRELOGIN or the handshake (FreeTDS: 20017 among
        // the records; a time-out: HYT00): another try may get through.
        // FreeTDS 1.3.17 says of a reset (ECONNRESET) in the handshake
        // exactly what it says of a refusal, and so that stays a refusal.
        if (target.encryption != Encryption::Off && FailedBeforeLogin(error)) throw EncryptionRefusedError(error);
        if (IsNoAnswer(error) && !target.named_instance.empty())
            throw NamedInstanceUnanswered(error, target.named_instance);
        throw;
    }
    if (!session_set_up_.empty()) SetUpSession();
}

void Connection::SetUpSession() {
    try {
        OdbcStatement handle(*link_);
        handle.ExecuteDirect(session_set_up_ + "\r\n");
        while (handle.MoreResults()) {
        }
    } catch (const DatabaseError& error) {
        // A session without its settings is not the one asked for (updates
        // would come back without their counts): closed again, and said.
        link_.reset();
        throw DatabaseError(Say(msg::kSessionSetUpFailed, {session_set_up_, error.what()}), error.SqlState(),
                            error.NativeCode(), error.LinkLost());
    }
}

void Connection::Close() {
    if (!IsOpen()) return;
    try {
        link_->Disconnect();
    } catch (const DatabaseError& error) {
        // A link that is gone is as good as closed.
        if (!error.LinkLost() && !link_->IsDead()) throw;
    }
    link_.reset();
}

OdbcLink& Connection::Link() {
    Open();
    return *link_;
}

void Connection::ThrowAfter(const DatabaseError& error) {
    // FreeTDS 1.3 reports a link lost in mid-statement as 01000 "Unexpected
    // EOF from the server" (20017), and one lost while idle as HY000
    // "Unknown error"; only the calls after those say 08S01. The driver does
    // mark the connection dead at once, so it is asked as well.
    // Called inside the handler: "throw;" rethrows the error as it was.
    if (!link_ || !(error.LinkLost() || link_->IsDead())) throw;
    link_.reset();
    if (error.LinkLost() || error.Final()) throw;
    throw DatabaseError(error.what(), error.SqlState(), error.NativeCode(), true);
}

std::optional<std::string> Query::Scalar(const std::string& statement) {
    OdbcLink& link = connection_.Link();
    try {
        OdbcStatement handle(link);
        handle.ExecuteDirect(statement + "\r\n");
        if (handle.ColumnCount() == 0) throw UserError(Say(msg::kQueryGaveNoColumns));
        if (!handle.Fetch()) throw UserError(Say(msg::kQueryGaveNoRows));
        std::optional<std::string> value = ReadField(handle, 1);
        // Read the answer to its end: an error or a lost link after the row
        // must fail the query, and a handle freed with its answer unread
        // costs a cancel (ATTENTION) and its round trip.
        while (handle.MoreResults()) {
        }
        // FreeTDS may report a link lost before the final DONE as a mere
        // warning (01000, 20017) and then SQL_NO_DATA.
        if (link.IsDead())
            throw DatabaseError(Say(msg::kLinkLostMidAnswer), "08S01", 0, true);
        return value;
    } catch (const DatabaseError& error) {
        // The statement handle is freed by now, before its link goes.
        connection_.ThrowAfter(error);
    }
}

std::optional<long long> Query::Execute(const std::string& statement) {
    OdbcLink& link = connection_.Link();
    try {
        OdbcStatement handle(link);
        handle.ExecuteDirect(statement + "\r\n");
        // SQL Server sends the counts of a trigger's statements (DONEINPROC)
        // before the statement's own DONE: the last count is the
        // statement's where a driver makes each count a result of its own
        // (Microsoft's do). FreeTDS 1.3.17 keeps only the trigger's last
        // count and drops the statement's (tools/sqlserver-standin/README.md).
        // -1 when no DONE carried a count.
        long long rows = handle.RowCount();
        // A later statement of the batch can still fail; its error comes
        // with the move to its result.
        while (handle.MoreResults()) {
            if (const long long more = handle.RowCount(); more >= 0) rows = more;
        }
        if (rows < 0) return std::nullopt;
        return rows;
    } catch (const DatabaseError& error) {
        connection_.ThrowAfter(error);
    }
}

} // namespace parktotals
