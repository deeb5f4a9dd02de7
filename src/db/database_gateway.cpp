#include "db/database_gateway.h"

#include <utility>

namespace parktotals {

DatabaseGateway::DatabaseGateway(Connection& local, Query& local_query, Connection& central, Query& central_query,
                                 std::string central_connection_string)
    : local_(local),
      local_query_(local_query),
      central_(central),
      central_query_(central_query),
      central_connection_string_(std::move(central_connection_string)) {}

void DatabaseGateway::SetUpLocalConnection(const std::string& reginfo_path) noexcept {
    try {
        std::string line;
        try {
            line = ReadRegInfoLine(reginfo_path);
        } catch (...) {
            return;
        }
        local_.Close();
        local_.SetConnectionString(std::move(line));
        local_.Open();
    } catch (...) {
        // Nothing is shown here: each figure's query meets the problem
        // again and is skipped on its own.
    }
}

void DatabaseGateway::OpenCentral() {
    // The string can only be assigned while the connection is closed.
    if (!central_.IsOpen()) central_.SetConnectionString(central_connection_string_);
    central_.Open();
}

bool DatabaseGateway::IsCentralOpen() const { return central_.IsOpen(); }

void DatabaseGateway::CloseCentral() { central_.Close(); }

QueryResult DatabaseGateway::QueryLocalScalar(const std::string& statement, std::string& value) {
    try {
        value = local_query_.Scalar(statement).value_or(std::string());
        return {};
    } catch (const std::exception& error) {
        return QueryResult(FailureReasonOf(error));
    } catch (...) {
        return QueryResult(FailureReason{"Unknown error", "", 0});
    }
}

ChangedRows DatabaseGateway::ExecCentral(const std::string& statement) { return central_query_.Execute(statement); }

} // namespace parktotals
