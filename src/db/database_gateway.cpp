#include "db/database_gateway.h"

#include "db/connection_string.h"
#include "text/message_table.h"

#include <utility>

namespace parktotals {

DatabaseGateway::DatabaseGateway(Connection& local, Query& local_query, Connection& central, Query& central_query,
                                 std::string central_connection_string)
    : local_(local),
      local_query_(local_query),
      central_(central),
      central_query_(central_query),
      central_connection_string_(std::move(central_connection_string)) {
    central_.SetSessionSetUp(kCentralSessionSetUp);
}

namespace {

// What a failed open of the local connection means for the person who set
// it up.
LocalSetUp::Status ClassifyOpenFailure(const std::exception& error) {
    const auto* database = dynamic_cast<const DatabaseError*>(&error);
    if (database == nullptr) return LocalSetUp::Status::NotUnderstood;
    switch (KindOf(*database)) {
    case FailureKind::LoginRefused:
        return LocalSetUp::Status::LoginRefused;
    case FailureKind::NoAnswer:
    case FailureKind::ConnectFailed:
    case FailureKind::LinkLost:
    case FailureKind::TimedOut:
        return LocalSetUp::Status::Unreachable;
    case FailureKind::Final:
    case FailureKind::Busy:
        break;
    }
    return LocalSetUp::Status::Failed;
}

} // namespace

LocalSetUp DatabaseGateway::SetUpLocalConnection(const std::string& reginfo_path) noexcept {
    LocalSetUp result;
    try {
        std::string line;
        try {
            line = ReadRegInfoLine(reginfo_path);
        } catch (const std::exception& error) {
            result.status = LocalSetUp::Status::FileMissing;
            result.failure = FailureReasonOf(error);
            return result;
        }
        result.target = DescribeConnectionString(line);
        local_.Close();
        local_.SetConnectionString(std::move(line));
        if (local_.ConnectionString().empty()) {
            result.status = LocalSetUp::Status::FirstLineEmpty;
            result.failure.message = Say(msg::kRegInfoFirstLineEmpty);
            return result;
        }
        try {
            local_.Open();
            result.status = LocalSetUp::Status::Open;
        } catch (const std::exception& error) {
            result.status = ClassifyOpenFailure(error);
            result.failure = FailureReasonOf(error);
        }
        result.adjustments = local_.Adjustments();
    } catch (...) {
        // Nothing is shown here: each figure's query meets the problem
        // again and is skipped on its own.
        result.status = LocalSetUp::Status::Failed;
    }
    return result;
}

void DatabaseGateway::OpenCentral() {
    // The string can only be assigned while the connection is closed.
    if (!central_.IsOpen()) central_.SetConnectionString(central_connection_string_);
    central_.Open();
}

bool DatabaseGateway::IsCentralOpen() const { return central_.IsOpen(); }

void DatabaseGateway::CloseCentral() { central_.Close(); }

QueryResult DatabaseGateway::QueryLocalScalar(const std::string& statement, std::string& value) {
    // The login on its own, so that the job can tell a database that does
    // not let it in from a query that failed.
    try {
        local_.Open();
    } catch (const std::exception& error) {
        FailureReason failure = FailureReasonOf(error);
        failure.at_login = true;
        return QueryResult(std::move(failure));
    } catch (...) {
        return QueryResult(FailureReason{Say(msg::kUnknownError), "", 0, false, true});
    }
    try {
        value = local_query_.Scalar(statement).value_or(std::string());
        return {};
    } catch (const std::exception& error) {
        return QueryResult(FailureReasonOf(error));
    } catch (...) {
        return QueryResult(FailureReason{Say(msg::kUnknownError), "", 0});
    }
}

ChangedRows DatabaseGateway::ExecCentral(const std::string& statement) { return central_query_.Execute(statement); }

} // namespace parktotals
