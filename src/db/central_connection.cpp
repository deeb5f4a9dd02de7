#include "db/central_connection.h"

#include "text/ascii.h"

namespace parktotals {
namespace {

// Plain values stand as they are; one that would end its pair early or lose
// blanks (spaces or tabs: the reader trims both) is put in double quotes, the
// OLE DB way.
std::string Value(const std::string& v) {
    const bool plain = v.find_first_of(";\"'") == std::string::npos &&
                       (v.empty() || (!IsBlank(v.front()) && !IsBlank(v.back())));
    if (plain) return v;
    std::string quoted = "\"";
    for (const char c : v) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

} // namespace

std::string CentralConnectionString(const std::string& host, const std::string& user,
                                    const std::string& password, CentralEncryption encryption) {
    std::string text = "Provider=SQLOLEDB.1;Password=" + Value(password) + ";Persist Security Info=True;User ID=" +
                       Value(user) + ";Initial Catalog=" + Value(user + "_db") + ";Data Source=" + Value(host);
    if (encryption.encrypt) {
        text += ";Use Encryption for Data=True";
        if (encryption.trust_certificate) text += ";Trust Server Certificate=True";
    }
    return text;
}

} // namespace parktotals
