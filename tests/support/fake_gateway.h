#pragma once

#include "db/database_error.h"
#include "db/gateway.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

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
    bool opens = true;

    std::vector<std::string> calls;
    std::vector<std::string> executed;
    bool open = false;

    void OpenCentral() override {
        calls.push_back("open");
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
        auto it = local.find(figure);
        const LocalAnswer answer = it == local.end() ? LocalAnswer{true, "10"} : it->second;
        if (!answer.ok) return QueryResult(FailureReason{answer.error, answer.sqlstate, 0});
        value = answer.value;
        return {};
    }
    ChangedRows ExecCentral(const std::string& statement) override {
        const int figure = executed.size() < 5 ? FigureOfUpdate(statement) : -1;
        calls.push_back("exec " + std::to_string(figure + 1));
        executed.push_back(statement);
        if (auto it = reject.find(figure); it != reject.end()) throw DatabaseError(it->second, "42000", 50000, false);
        if (time_out.count(figure) != 0) throw DatabaseError("Timeout expired", "HYT00", 0, false);
        if (auto it = rows.find(figure); it != rows.end()) return it->second;
        return 1;
    }

private:
    static int FigureOf(const std::string& query) {
        for (int i = 0; i < kFigureCount; ++i)
            if (kFigures[i].query == query) return i;
        ADD_FAILURE() << "unknown query " << query;
        return -1;
    }
    static int FigureOfUpdate(const std::string& statement) {
        for (int i = 0; i < kFigureCount; ++i)
            if (statement.find(std::string(" set ") + std::string(kFigures[i].column) + "=") != std::string::npos)
                return i;
        return -1;
    }
};

} // namespace parktotals::testing
