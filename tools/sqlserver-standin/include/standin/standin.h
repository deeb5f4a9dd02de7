#pragma once

// A scripted SQL Server stand-in. It speaks enough TDS 7.1-7.4 (as FreeTDS
// speaks it) to log clients in, record every SQL batch they send, and answer
// each batch from a script: result sets, a row count, a server error, or a
// dropped connection, at once, late, or held until the test lets it go
// (Answer::Held, Server::Release; SIGUSR1 for the program). Tests run it
// in-process on an ephemeral port; the sqlserver-standin program wraps it
// for scripts.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace parktotals::standin {

enum class SqlType { Int, BigInt, Money, SmallMoney, Decimal, Numeric, Float, NVarChar };

// One value of a one-column, one-row result, kept in its wire form. The
// factories check and round the way SQL Server stores a literal of the type
// (money to 4 places, decimal to its scale, half away from zero) and throw
// std::invalid_argument for text that is no such number or does not fit.
class Value {
public:
    static Value Int(std::int32_t v);
    static Value BigInt(std::int64_t v);
    static Value Money(std::string_view decimal_text);
    static Value SmallMoney(std::string_view decimal_text);
    static Value Decimal(int precision, int scale, std::string_view decimal_text);
    static Value Numeric(int precision, int scale, std::string_view decimal_text);
    static Value Float(double v);
    static Value NVarChar(std::string_view utf8);  // at most 4000 UTF-16 units
    // NULL of a type; precision and scale matter for Decimal and Numeric only.
    static Value Null(SqlType type, int precision = 18, int scale = 0);

    SqlType type() const { return type_; }
    int precision() const { return precision_; }
    int scale() const { return scale_; }
    bool is_null() const { return null_; }
    // The value as it travels in a ROW, without its length prefix.
    const std::string& wire() const { return wire_; }

private:
    Value(SqlType type, int precision, int scale, bool null, std::string wire);
    SqlType type_;
    int precision_;
    int scale_;
    bool null_;
    std::string wire_;
};

struct ServerError {
    std::int32_t number = 50000;
    std::uint8_t severity = 16;  // "class" on the wire; 11 and up is an error
    std::uint8_t state = 1;
    std::string message;
    std::string procedure;
    std::int32_t line = 1;
};

// A column of a result set: its name, and its type as that of a value (a
// NULL of the type will do).
struct Column {
    std::string name;
    Value type = Value::Null(SqlType::Int);
};

// One result set: its columns, and any number of rows (none too), each
// with one value per column, of the column's type.
struct ResultSet {
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
};

// How the stand-in answers one batch.
struct Answer {
    enum class Kind {
        Ok,        // DONE without a row count, as for SET or USE; FreeTDS's ODBC driver
                   // turns this into SQL_NO_DATA
        Scalar,    // COLMETADATA + ROW + DONE(count 1)
        RowCount,  // DONE with DONE_COUNT: "(n rows affected)"
        Error,     // ERROR + DONE(error)
        Drop,      // close the connection without a word
        Results,   // per set COLMETADATA + ROWs + DONE(count), DONE_MORE on all but the last
    };

    static Answer Ok();
    static Answer Scalar(Value value, std::string column = "");
    static Answer RowCount(std::uint64_t rows);
    static Answer Error(std::int32_t number, std::string message, std::uint8_t severity = 16,
                        std::uint8_t state = 1);
    static Answer Drop();
    // At least one set, each with at least one column; throws
    // std::invalid_argument when a row does not fit its columns.
    static Answer Results(std::vector<ResultSet> sets);
    // The same answer, sent only after `delay`. An ATTENTION arriving during
    // the wait cancels it: the client then gets just DONE(attn).
    Answer After(std::chrono::milliseconds delay) const;
    // The same answer, sent only once Server::Release() has been called (at
    // once when it already has been), so that a test can keep a client
    // waiting for exactly as long as it needs. An ATTENTION arriving while
    // it is held cancels it: the client then gets just DONE(attn). A delay
    // starts when the answer is released. Stop() and DropConnections() end
    // the wait as they end any connection.
    Answer Held() const;
    // For Scalar and Results: the rows go out, then a server error, and the
    // final DONE says error, as when a statement fails half-way through its
    // rows. Throws std::logic_error for other kinds.
    Answer ThenError(std::int32_t number, std::string message, std::uint8_t severity = 16,
                     std::uint8_t state = 1) const;
    // For Scalar and Results: the connection closes right after the first
    // `rows` rows (0: after the first set's columns), or before the final
    // DONE when there are fewer. What went out is a message without its
    // end, as when a server or a network dies in mid-answer. Throws
    // std::logic_error for other kinds.
    Answer DropAfterRows(std::size_t rows) const;
    // For RowCount: the statement fired a trigger, whose own statements'
    // counts go out first, each in a DONEINPROC, as SQL Server sends them;
    // then the statement's own DONE. `counts` come before any given
    // earlier. Throws std::logic_error for other kinds.
    Answer FiringTrigger(std::vector<std::uint64_t> counts) const;

    Kind kind = Kind::Ok;
    Value value = Value::Null(SqlType::Int);
    std::string column;
    std::uint64_t rows = 0;
    ServerError error;
    std::chrono::milliseconds delay{0};
    bool held = false;
    std::vector<ResultSet> sets;                  // Results
    std::optional<ServerError> error_after_rows;  // ThenError
    std::optional<std::size_t> drop_after_rows;   // DropAfterRows
    std::vector<std::uint64_t> trigger_counts;    // FiringTrigger
};

// A batch text and its answer. Exact rules compare the whole text byte for
// byte (UTF-8); regex rules are ECMAScript and must match the whole text.
// Regexes run in libstdc++'s non-recursive mode, so long batches cannot
// overflow the stack, at the price of refusing back-references.
class Rule {
public:
    static Rule Exact(std::string text, Answer answer);
    static Rule Regex(const std::string& pattern, Answer answer);  // throws std::regex_error

    bool Matches(const std::string& batch) const;
    const Answer& answer() const { return answer_; }

private:
    struct Pattern;
    Rule(std::string text, std::shared_ptr<const Pattern> pattern, Answer answer);
    std::string text_;
    std::shared_ptr<const Pattern> pattern_;  // null for exact rules
    Answer answer_;
};

// A network fault during a connection's pre-login, before any login.
enum class PreloginFault {
    None,
    // The client's PRELOGIN is read, and the connection closed unanswered.
    DropBeforeAnswer,
    // PRELOGIN is answered, and the connection closed once the client's next
    // packet arrives: where encryption was agreed, its first TLS record.
    DropInHandshake,
    // The same, but the connection stays open and silent until the client
    // leaves: its login time-out ends the wait.
    StallInHandshake,
};

// Everything the stand-in is told to do.
struct Script {
    std::vector<Rule> rules;  // the first match answers
    Answer fallback = Answer::RowCount(0);  // for batches no rule matches
    // user -> password. Empty lets every login in; otherwise a user not listed
    // or a wrong password gets error 18456 "Login failed for user '...'.".
    std::map<std::string, std::string> accounts;
    // The databases a login may name. Empty lets every one in; another gets
    // error 4060 "Cannot open database ..." and then 18456, as from SQL
    // Server, after the handshake (inside TLS where there is TLS).
    std::vector<std::string> databases;
    // How long a new connection waits for the answer to its PRELOGIN, the
    // first thing a client sends. kNeverAnswer makes a server that accepts
    // connections and then hangs: the client's login time-out ends the wait.
    std::chrono::milliseconds login_delay{0};
    static constexpr std::chrono::milliseconds kNeverAnswer = std::chrono::milliseconds::max();
    // The fault the next `prelogin_fault_count` connections meet after the
    // script is set (negative: every one); those after them meet none.
    PreloginFault prelogin_fault = PreloginFault::None;
    int prelogin_fault_count = -1;
    // A server whose "user options" set NOCOUNT: a session gets no row
    // counts (DONE without DONE_COUNT) until it says SET NOCOUNT OFF. Either
    // way every session may say SET NOCOUNT ON or OFF, and the stand-in
    // answers it itself (a plain DONE) unless a rule matches the batch.
    bool nocount_by_default = false;

    const Answer& AnswerFor(const std::string& batch) const;
};

class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the rules file format described in tools/sqlserver-standin/README.md.
// Throws ScriptError naming the line.
Script ParseScript(std::string_view text);
Script LoadScript(const std::string& path);

// How a LOGIN7 reached the server.
enum class LoginEncryption {
    None,       // in plain text
    LoginOnly,  // inside TLS, and the connection went back to plain TDS after it
    Tls,        // on a connection that is TLS from the handshake to the end
};

// What a client sent in its LOGIN7, decoded to UTF-8.
struct Login {
    int connection = 0;
    std::string user, password, database, app, host, server, library, language;
    std::uint32_t tds_version = 0;  // as asked for, e.g. 0x74000004 for 7.4
    std::uint32_t packet_size = 0;  // as asked for
    bool accepted = false;
    LoginEncryption encryption = LoginEncryption::None;
};

struct Batch {
    int connection = 0;
    std::string text;  // exactly as received, UTF-16LE turned into UTF-8
};

// Called from connection threads, one call at a time, after the record is
// stored. For the command-line program's log.
struct Observer {
    std::function<void(int connection)> connected;  // accepted, before a word is read
    std::function<void(const Login&)> login;
    std::function<void(const Batch&)> batch;
    std::function<void(int connection)> attention;
    // The stand-in closed a connection because of what the client did: a
    // broken packet, a failed TLS handshake, no encryption where it is
    // required.
    std::function<void(int connection, const std::string& reason)> error;
};

// What the server answers to a client's ENCRYPTION option in PRELOGIN, as a
// SQL Server does.
struct Encryption {
    enum class Mode {
        // No certificate: "encryption not supported", nothing is TLS.
        NotSupported,
        // A certificate: the whole connection is TLS when the client asks
        // for encryption, only its LOGIN7 when it says "off", nothing when
        // it does not support it.
        Offered,
        // As SQL Server with Force Encryption: every connection is TLS, and
        // a client that does not support encryption is refused before it
        // can log in.
        Required,
    };
    Mode mode = Mode::NotSupported;
    // PEM files of the certificate (chain) and its unencrypted private
    // key; needed for Offered and Required.
    std::string certificate_file;
    std::string key_file;
};

// Listens on 127.0.0.1 from construction until Stop() or destruction; one
// thread per connection. Connections are numbered from 1 in accept order.
// Throws std::system_error when it cannot listen, and std::runtime_error
// when the certificate or key cannot be used.
class Server {
public:
    explicit Server(Script script, std::uint16_t port = 0, Observer observer = {});
    Server(Script script, const Encryption& encryption, std::uint16_t port = 0, Observer observer = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    std::uint16_t port() const;

    // Later batches and logins use the new script.
    void SetScript(Script script);

    std::vector<Login> logins() const;
    std::vector<Batch> batches() const;
    int attentions() const;

    // Wait until at least `count` logins (batches) have been recorded, so
    // that a test need not sleep; false when `timeout` passes first.
    bool WaitForLogins(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForBatches(std::size_t count, std::chrono::milliseconds timeout) const;

    // Sends every held answer waiting now, and lets every later one go at
    // once: the gate stays open for the server's life.
    void Release();

    // Closes every open connection, as a server restart or network fault
    // would; the listener stays up for new ones.
    void DropConnections();

    // Stops listening, closes every connection and joins all threads.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace parktotals::standin
