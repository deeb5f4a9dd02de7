#pragma once

#include "db/database_error.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The program's database components: a connection that holds an OLE DB
// style connection string, and queries bound to a connection. A form owns
// them as members, the queries declared after their connections.
namespace parktotals {

class OdbcLink;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Only while closed; throws UserError when open.
    void SetConnectionString(std::string oledb);
    const std::string& ConnectionString() const { return connection_string_; }
    // A statement run on each new session right after it opens, before
    // anything else: settings belong to the session, and a link lost and
    // opened again is a new one. When it fails the connection closes again
    // and Open throws, saying so. Empty (the default) runs nothing.
    void SetSessionSetUp(std::string statement) { session_set_up_ = std::move(statement); }

    // Translates the string and connects. Does nothing when open. Throws
    // UserError for a string that cannot be translated and DatabaseError
    // when the driver fails; the connection then stays closed. Once the
    // server has refused the login, later calls throw that refusal again
    // without asking the server, until the string is set anew.
    void Open();
    bool IsOpen() const { return link_ != nullptr; }
    // What the last Open changed of what the string asked for (a login
    // time-out capped), one sentence each, for the run report.
    const std::vector<std::string>& Adjustments() const { return adjustments_; }
    // Does nothing when closed. Throws DatabaseError when the driver refuses
    // to disconnect, except when the link is gone anyway.
    void Close();

private:
    friend class Query;
    // The open link, opening it first when closed (one attempt).
    OdbcLink& Link();
    // After a statement failed: when its link is gone, the connection
    // counts as closed from now on, and the error to throw says the link
    // was lost, whatever its own codes say.
    [[noreturn]] void ThrowAfter(const DatabaseError& error);
    void SetUpSession();

    std::string connection_string_;
    std::string session_set_up_;
    std::unique_ptr<OdbcLink> link_;
    std::optional<DatabaseError> login_refused_;
    std::vector<std::string> adjustments_;
};

// Runs statements on a connection, opening it first when it is closed (one
// attempt per statement; it stays open). Each statement goes out as its
// text followed by CR LF, on a statement handle of its own.
class Query {
public:
    explicit Query(Connection& connection) : connection_(connection) {}
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // The first field of the first row as text; std::nullopt for NULL.
    // Throws on failure, and when the statement gives no columns or no row.
    std::optional<std::string> Scalar(const std::string& statement);
    // Runs the statement, discards whatever comes back and returns the
    // rows it changed: the last count that came back, the statement's own
    // (nullopt when the server gave no count). Throws on failure.
    std::optional<long long> Execute(const std::string& statement);

private:
    Connection& connection_;
};

} // namespace parktotals
