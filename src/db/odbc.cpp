#include "db/odbc.h"

#include "db/freetds_conf.h"
#include "text/message_table.h"
#include "text/utf16.h"

#include <algorithm>
#include <vector>

namespace parktotals {
namespace {

// SQLWCHAR is an unsigned short with unixODBC and a wchar_t on Windows, and
// the standard gives std::char_traits for neither: wide text and buffers are
// char16_t, and only the pointer handed to a call is converted.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC calls take UTF-16");

SQLWCHAR* SqlText(char16_t* text) { return reinterpret_cast<SQLWCHAR*>(text); }

// FreeTDS ends a statement at a NUL whatever length it is given, and the
// connection string goes as SQL_NTS: a value holding a NUL would go out cut
// short, a statement's literal left open. Such text is refused instead.
void RefuseNul(std::string_view text, const Message& refusal) {
    if (text.find('\0') != std::string_view::npos) throw UserError(Say(refusal));
}

SQLPOINTER IntegerAttribute(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(value); }

std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle) {
    std::vector<DiagnosticRecord> records;
    // The bound only guards against a driver that never says SQL_NO_DATA.
    for (SQLSMALLINT number = 1; number <= 64; ++number) {
        char16_t state[6] = {};
        SQLINTEGER native = 0;
        std::u16string text(1024, u'\0');
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, number, SqlText(state), &native, SqlText(text.data()),
                                      static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(handle_type, handle, number, SqlText(state), &native, SqlText(text.data()),
                                static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        const std::size_t used = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                                       text.size() - 1);
        records.push_back({Utf16ToUtf8(std::u16string_view(state, 5)), static_cast<long>(native),
                           Utf16ToUtf8(std::u16string_view(text.data(), used))});
    }
    return records;
}

// FreeTDS 1.3.17 tells of a link that broke while it connected (closed
// during PRELOGIN or the TLS handshake) only in a warning after its 08001
// "Unable to connect to data source": 20017 "Unexpected EOF from the
// server", or 20004 and 20006 for a read or write that failed. Without it
// the records are those of a handshake the driver itself gave up.
bool LinkBrokeOff(const std::vector<DiagnosticRecord>& records) {
    return std::any_of(records.begin(), records.end(), [](const DiagnosticRecord& record) {
        return record.native_code == 20017 || record.native_code == 20004 || record.native_code == 20006;
    });
}

} // namespace

SQLRETURN CheckOdbc(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, const char* call) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return rc;
    if (rc == SQL_INVALID_HANDLE || handle == SQL_NULL_HANDLE) throw MakeDatabaseError({}, call);
    throw MakeDatabaseError(ReadDiagnostics(handle_type, handle), call);
}

template <SQLSMALLINT Type>
OdbcHandle<Type>::OdbcHandle(SQLHANDLE parent) {
    const SQLRETURN rc = SQLAllocHandle(Type, parent, &handle_);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return;
    handle_ = SQL_NULL_HANDLE;
    // A failed allocation leaves its records on the parent, and an
    // environment has no parent to leave them on.
    const SQLSMALLINT parent_type = Type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
    CheckOdbc(rc, parent_type, parent, "SQLAllocHandle");
}

template class OdbcHandle<SQL_HANDLE_ENV>;
template class OdbcHandle<SQL_HANDLE_DBC>;
template class OdbcHandle<SQL_HANDLE_STMT>;

OdbcLink::OdbcLink(const std::string& odbc_connection_string, int login_timeout_seconds,
                   const std::string& freetds_conf)
    : env_(SQL_NULL_HANDLE) {
    RefuseNul(odbc_connection_string, msg::kConnectionStringHasNul);
    env_.Check(SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, IntegerAttribute(SQL_OV_ODBC3), 0), "SQLSetEnvAttr");
    dbc_ = OdbcConnectionHandle(env_.get());
    dbc_.Check(SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                  IntegerAttribute(static_cast<SQLULEN>(login_timeout_seconds)), SQL_IS_UINTEGER),
               "SQLSetConnectAttr");
    std::u16string text = Utf8ToUtf16(odbc_connection_string);
    const ScopedFreeTdsConf conf(freetds_conf);
    const SQLRETURN rc = SQLDriverConnectW(dbc_.get(), nullptr, SqlText(text.data()), SQL_NTS, nullptr, 0, nullptr,
                                           SQL_DRIVER_NOPROMPT);
    if (rc == SQL_ERROR) {
        const std::vector<DiagnosticRecord> records = ReadDiagnostics(SQL_HANDLE_DBC, dbc_.get());
        const DatabaseError error = MakeDatabaseError(records, "SQLDriverConnect");
        throw DatabaseError(error.what(), error.SqlState(), error.NativeCode(),
                            error.LinkLost() || LinkBrokeOff(records));
    }
    dbc_.Check(rc, "SQLDriverConnect");
    connected_ = true;
}

OdbcLink::~OdbcLink() {
    if (connected_) SQLDisconnect(dbc_.get());
}

void OdbcLink::Disconnect() {
    if (!connected_) return;
    dbc_.Check(SQLDisconnect(dbc_.get()), "SQLDisconnect");
    connected_ = false;
}

bool OdbcLink::IsDead() const noexcept {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttrW(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, SQL_IS_UINTEGER, nullptr);
    return (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && dead == SQL_CD_TRUE;
}

OdbcStatement::OdbcStatement(const OdbcLink& link) : stmt_(link.handle()) {
    stmt_.Check(SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_QUERY_TIMEOUT,
                                IntegerAttribute(static_cast<SQLULEN>(kQueryTimeoutSeconds)), SQL_IS_UINTEGER),
                "SQLSetStmtAttr");
}

void OdbcStatement::ExecuteDirect(std::string_view sql) {
    RefuseNul(sql, msg::kStatementHasNul);
    std::u16string text = Utf8ToUtf16(sql);
    stmt_.Check(SQLExecDirectW(stmt_.get(), SqlText(text.data()), static_cast<SQLINTEGER>(text.size())),
                "SQLExecDirect");
}

bool OdbcStatement::MoreResults() {
    return stmt_.Check(SQLMoreResults(stmt_.get()), "SQLMoreResults") != SQL_NO_DATA;
}

long long OdbcStatement::RowCount() {
    SQLLEN rows = -1;
    stmt_.Check(SQLRowCount(stmt_.get(), &rows), "SQLRowCount");
    return static_cast<long long>(rows);
}

int OdbcStatement::ColumnCount() {
    SQLSMALLINT count = 0;
    stmt_.Check(SQLNumResultCols(stmt_.get(), &count), "SQLNumResultCols");
    return count;
}

OdbcColumn OdbcStatement::DescribeColumn(int column) {
    OdbcColumn info;
    SQLWCHAR name[2] = {};
    SQLSMALLINT name_length = 0;
    SQLSMALLINT nullable = 0;
    // The name is not wanted; a short buffer only makes it SQL_SUCCESS_WITH_INFO.
    stmt_.Check(SQLDescribeColW(stmt_.get(), static_cast<SQLUSMALLINT>(column), name, 2, &name_length, &info.data_type,
                                &info.size, &info.decimal_digits, &nullable),
                "SQLDescribeCol");
    return info;
}

bool OdbcStatement::Fetch() {
    return stmt_.Check(SQLFetch(stmt_.get()), "SQLFetch") != SQL_NO_DATA;
}

bool OdbcStatement::GetFixed(int column, SQLSMALLINT c_type, void* value, SQLLEN size) {
    SQLLEN indicator = 0;
    stmt_.Check(SQLGetData(stmt_.get(), static_cast<SQLUSMALLINT>(column), c_type, value, size, &indicator),
                "SQLGetData");
    return indicator != SQL_NULL_DATA;
}

std::optional<std::int64_t> OdbcStatement::GetInt64(int column) {
    SQLBIGINT value = 0;
    if (!GetFixed(column, SQL_C_SBIGINT, &value, sizeof value)) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::optional<double> OdbcStatement::GetDouble(int column) {
    SQLDOUBLE value = 0;
    if (!GetFixed(column, SQL_C_DOUBLE, &value, sizeof value)) return std::nullopt;
    return value;
}

std::optional<std::string> OdbcStatement::GetText(int column) {
    // Characters, the terminating NUL included. Numbers read as text always
    // fit in one: FreeTDS would not hand them out in pieces (22003).
    constexpr std::size_t kChunk = 4096;
    std::u16string buffer(kChunk, u'\0');
    std::u16string text;
    for (;;) {
        SQLLEN indicator = 0;
        // There is no SQLGetDataW: SQL_C_WCHAR is what makes it wide.
        const SQLRETURN rc = stmt_.Check(SQLGetData(stmt_.get(), static_cast<SQLUSMALLINT>(column), SQL_C_WCHAR,
                                                     buffer.data(), static_cast<SQLLEN>(kChunk * sizeof(char16_t)),
                                                     &indicator),
                                         "SQLGetData");
        if (rc == SQL_NO_DATA) break;
        if (indicator == SQL_NULL_DATA) return std::nullopt;
        // A full chunk comes back truncated (01004) with the NUL in its last
        // place; the indicator then holds what remained, or SQL_NO_TOTAL.
        const bool full = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) >= kChunk * sizeof(char16_t);
        const std::size_t chars = full ? kChunk - 1 : static_cast<std::size_t>(indicator) / sizeof(char16_t);
        text.append(buffer, 0, chars);
        if (rc == SQL_SUCCESS) break;
    }
    return Utf16ToUtf8(text);
}

} // namespace parktotals
