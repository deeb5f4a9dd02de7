#pragma once

// Helpers for the stand-in's tests: running a child process (tsql, the
// stand-in program) and talking to the stand-in through unixODBC + FreeTDS.

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "standin/standin.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/tls_certificate.h"

namespace parktotals::testing {

// A stand-in that offers (or requires) encryption with `certificate`.
inline standin::Encryption EncryptionWith(const TlsCertificate& certificate,
                                          standin::Encryption::Mode mode = standin::Encryption::Mode::Offered) {
    return {mode, certificate.certificate_file(), certificate.key_file()};
}

// UTF-16 as ODBC's wide character type (16-bit on unixODBC).
inline SQLWCHAR* Wide(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

struct Diagnostic {
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
};

inline Diagnostic FirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle) {
    SQLCHAR state[6] = {}, message[1024] = {};
    Diagnostic d;
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &d.native, message, sizeof message, &length))) {
        d.state = reinterpret_cast<char*>(state);
        d.message = reinterpret_cast<char*>(message);
    }
    return d;
}

// One ODBC connection through the FreeTDS driver, and one statement on it.
class OdbcClient {
public:
    OdbcClient() {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    }
    ~OdbcClient() {
        if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
        if (connected_) SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    OdbcClient(const OdbcClient&) = delete;
    OdbcClient& operator=(const OdbcClient&) = delete;

    // PWD goes unbraced: FreeTDS 1.3.17 keeps the closing brace of PWD={...}
    // as part of the password. `more` is appended as it is (";Encryption=require").
    SQLRETURN Connect(std::uint16_t port, const std::string& user = "u", const std::string& password = "p",
                      const std::string& database = "db", const std::string& more = "") {
        const std::string text = "Driver={FreeTDS};Server=127.0.0.1," + std::to_string(port) + ";Database={" +
                                 database + "};UID={" + user + "};PWD=" + password + more;
        return ConnectWith(text);
    }

    // Any connection string, ASCII only.
    SQLRETURN ConnectWith(const std::string& text) {
        std::u16string wide(text.begin(), text.end());
        const SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, Wide(wide), SQL_NTS, nullptr, 0, nullptr,
                                               SQL_DRIVER_NOPROMPT);
        connected_ = SQL_SUCCEEDED(rc);
        if (connected_) SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
        return rc;
    }

    SQLRETURN Exec(std::u16string text) {
        SQLFreeStmt(stmt_, SQL_CLOSE);
        return SQLExecDirectW(stmt_, Wide(text), SQL_NTS);
    }

    // The first column of the current row as text, or "NULL".
    std::string Text(SQLSMALLINT c_type = SQL_C_CHAR) {
        char buffer[256] = {};
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(SQLGetData(stmt_, 1, c_type, buffer, sizeof buffer, &length))) return "<error>";
        return length == SQL_NULL_DATA ? "NULL" : std::string(buffer, static_cast<std::size_t>(length));
    }

    Diagnostic ConnectionDiagnostic() const { return FirstDiagnostic(SQL_HANDLE_DBC, dbc_); }
    Diagnostic StatementDiagnostic() const { return FirstDiagnostic(SQL_HANDLE_STMT, stmt_); }
    SQLHSTMT statement() const { return stmt_; }

private:
    SQLHENV env_ = SQL_NULL_HANDLE;
    SQLHDBC dbc_ = SQL_NULL_HANDLE;
    SQLHSTMT stmt_ = SQL_NULL_HANDLE;
    bool connected_ = false;
};

} // namespace parktotals::testing
