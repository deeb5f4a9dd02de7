#include "db/odbc_driver.h"

#include "db/connection_string.h"

#include "db/odbc.h"
#include "text/ascii.h"
#include "text/utf16.h"

#include <odbcinst.h>

#include <algorithm>

namespace parktotals {
namespace {

SQLWCHAR* SqlText(char16_t* text) { return reinterpret_cast<SQLWCHAR*>(text); }

// The value of `key` among SQLDrivers' "key=value\0...\0\0" attributes.
std::optional<std::string> Attribute(std::u16string_view attributes, std::string_view key) {
    while (!attributes.empty() && attributes.front() != u'\0') {
        const std::size_t end = std::min(attributes.find(u'\0'), attributes.size());
        const std::string pair = Utf16ToUtf8(attributes.substr(0, end));
        const std::size_t eq = pair.find('=');
        if (eq != std::string::npos && EqualsNoCase(pair.substr(0, eq), key) && eq + 1 < pair.size())
            return pair.substr(eq + 1);
        attributes.remove_prefix(std::min(end + 1, attributes.size()));
    }
    return std::nullopt;
}

} // namespace

// Asked of odbc32 first, as the driver manager that loads the driver: under
// Wine it hands SQLDrivers to the host's unixODBC, which names the real
// library (libtdsodbc.so behind "SQL Server"), while odbccp32 reads Wine's
// registry, where the name is not registered at all. Windows's own
// SQLDrivers leaves the library out; its registry value (ODBCINST.INI) is
// read then.
std::optional<std::string> RegisteredDriverLibrary(const std::string& driver) {
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return std::nullopt;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool listed = false;
    std::optional<std::string> library;
    std::u16string name(256, u'\0');
    std::u16string attributes(8192, u'\0');
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    SQLSMALLINT name_length = 0;
    SQLSMALLINT attributes_length = 0;
    while (SQL_SUCCEEDED(SQLDriversW(env, direction, SqlText(name.data()), static_cast<SQLSMALLINT>(name.size()),
                                     &name_length, SqlText(attributes.data()),
                                     static_cast<SQLSMALLINT>(attributes.size()), &attributes_length))) {
        direction = SQL_FETCH_NEXT;
        if (!EqualsNoCase(Utf16ToUtf8(std::u16string_view(name.data())), driver)) continue;
        listed = true;
        // Wine's unixODBC is a 64-bit one: Driver64 before Driver.
        library = Attribute(attributes, "Driver64");
        if (!library) library = Attribute(attributes, "Driver");
        break;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (library || !listed) return library;
    std::u16string wide = Utf8ToUtf16(driver);
    std::u16string value(1024, u'\0');
    const int length = SQLGetPrivateProfileStringW(reinterpret_cast<LPCWSTR>(wide.c_str()), L"Driver", L"",
                                                   reinterpret_cast<LPWSTR>(value.data()),
                                                   static_cast<int>(value.size()), L"ODBCINST.INI");
    if (length <= 0) return std::nullopt;
    return Utf16ToUtf8(std::u16string_view(value.data(), static_cast<std::size_t>(length)));
}

// FreeTDS, where it serves the name (under Wine), cannot be handed a
// freetds.conf here: no certificate check through it.
OdbcTarget BuildOdbcTarget() {
    return OdbcTarget{PARKTOTALS_ODBC_DRIVER, "(local)", true, "", RegisteredDriverLibrary};
}

} // namespace parktotals
