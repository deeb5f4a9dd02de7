#pragma once

#include "db/database.h"
#include "db/gateway.h"
#include "db/reginfo.h"

#include <string>

namespace parktotals {

// Every central session asks for row counts: a server whose "user options"
// set NOCOUNT sends none otherwise, and an update that matched no row could
// not be told from one that changed it.
inline constexpr const char* kCentralSessionSetUp = "SET NOCOUNT OFF";

// The gateway over the window's four database components: the local
// connection "Conn" with its query "ADOec", and the central connection
// "ADOCondir" with its query "ADOecdir". It only borrows them, and gives
// the central connection its session set-up (kCentralSessionSetUp).
class DatabaseGateway : public Gateway {
public:
    DatabaseGateway(Connection& local, Query& local_query, Connection& central, Query& central_query,
                    std::string central_connection_string);

    // Points the local connection at the string in RegInfo.INI and opens it.
    // A missing or unreadable file leaves the connection as it is; any other
    // failure is swallowed too, leaving it closed: each local query then
    // tries to open it again. Never throws; says how it went.
    LocalSetUp SetUpLocalConnection(const std::string& reginfo_path = kRegInfoFileName) noexcept;

    void OpenCentral() override;
    bool IsCentralOpen() const override;
    void CloseCentral() override;
    QueryResult QueryLocalScalar(const std::string& statement, std::string& value) override;
    ChangedRows ExecCentral(const std::string& statement) override;

private:
    Connection& local_;
    Query& local_query_;
    Connection& central_;
    Query& central_query_;
    std::string central_connection_string_;
};

} // namespace parktotals
