#include "db/central_connection.h"

#include "db/oledb_string.h"

namespace parktotals {

std::string CentralConnectionString(const std::string& host, const std::string& user,
                                    const std::string& password, CentralEncryption encryption) {
    std::string text = "Provider=SQLOLEDB.1;Password=" + QuoteOledbValue(password) +
                       ";Persist Security Info=True;User ID=" + QuoteOledbValue(user) +
                       ";Initial Catalog=" + QuoteOledbValue(user + "_db") + ";Data Source=" + QuoteOledbValue(host);
    if (encryption.encrypt) {
        text += ";Use Encryption for Data=True";
        if (encryption.trust_certificate) text += ";Trust Server Certificate=True";
    }
    return text;
}

} // namespace parktotals
