#pragma once

#include "db/database_error.h"
#include "db/gateway.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace parktotals::testing {

// A gateway that answers from tables and remembers every call in order.
class FakeGateway : public Gateway {
public:
    struct LocalAnswer {
        bool ok = true;
        std::string value;
        std::string error = "local query failed"; // when not ok
        std::string sqlstate = "42000";
    };

    std::map<int, LocalAnswer> local;  // by figure index; unlisted figures answer "10"
    std::map<int, std::string> reject; // figure index -> the central server's error (SQLSTATE 42000, 50000)
    std::map<int, ChangedRows> rows;   // figure index -> rows changed; unlisted figures change 1
    std::set<int> time_out;            // figure indexes whose update gets no answer in time (HYT00)
    std::optional<std::string> open_error, close_error;
    std::deque<DatabaseError> open_errors; // thrown by the next opens, in order, before open_error
    bool opens = true;
    // Called before an update is answered, with its figure index; may throw.
    std::function<void(int figure)> before_exec;

    std::vector<std::string> calls;
    std::vector<std::string> queried;
    std::vector<std::string> executed;
    bool open = false;

    void OpenCentral() override {
        calls.push_back("open");
        if (!open_errors.empty()) {
            const DatabaseError error = open_errors.front();
            open_errors.pop_front();
            throw error;
        }
        if (open_error) throw UserError(*open_error);
        open = opens;
    }
    bool IsCentralOpen() const override { return open; }
    void CloseCentral() override {
        calls.push_back("close");
        if (close_error) throw UserError(*close_error);
        open = false;
    }
    QueryResult QueryLocalScalar(const std::string& statement, std::string& value) override {
        const int figure = FigureOf(statement);
        calls.push_back("query " + std::to_string(figure + 1));
        queried.push_back(statement);
        auto it = local.find(figure);
        const LocalAnswer answer = it == local.end() ? LocalAnswer{true, "10"} : it->second;
        if (!answer.ok) return QueryResult(FailureReason{answer.error, answer.sqlstate, 0});
        value = answer.value;
        return {};
    }
    ChangedRows ExecCentral(const std::string& statement) override {
        const int figure = FigureOfUpdate(statement);
        calls.push_back("exec " + std::to_string(figure + 1));
        executed.push_back(statement);
        if (before_exec) before_exec(figure);
        if (auto it = reject.find(figure); it != reject.end()) throw DatabaseError(it->second, "42000", 50000, false);
        if (time_out.count(figure) != 0) throw DatabaseError("Timeout expired", "HYT00", 0, false);
        if (auto it = rows.find(figure); it != rows.end()) return it->second;
        return 1;
    }

private:
    static int FigureOf(const std::string& query) {
        // A past day's query is the figure's own up to the day.
        for (int i = 0; i < kFigureCount; ++i) {
            const std::string_view own = kFigures[i].query;
            if (query == own || (HasDayQuery(i) && query.compare(0, own.find("YEAR(GETDATE()"),
                                                                 own.substr(0, own.find("YEAR(GETDATE()"))) == 0))
                return i;
        }
        ADD_FAILURE() << "unknown query " << query;
        return -1;
    }
    static int FigureOfUpdate(const std::string& statement) {
        for (int i = 0; i < kFigureCount; ++i)
            if (statement.rfind("update T_kextotal set " + std::string(kFigures[i].column) + "=", 0) == 0) return i;
        return -1;
    }
};

} // namespace parktotals::testing
