#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parktotals::testing {

// A statement taken apart the way SQL Server reads its quotes: the text
// outside string literals, each literal standing as '', and the literals'
// contents with doubled quotes undone.
struct SqlShape {
    std::string skeleton;
    std::vector<std::string> literals;
    bool operator==(const SqlShape&) const = default;
};

// nullopt when a literal is left open.
inline std::optional<SqlShape> ShapeOf(std::string_view sql) {
    SqlShape shape;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql[i] != '\'') {
            shape.skeleton += sql[i];
            continue;
        }
        std::string literal;
        for (++i;; ++i) {
            if (i >= sql.size()) return std::nullopt;
            if (sql[i] == '\'') {
                if (i + 1 < sql.size() && sql[i + 1] == '\'') {
                    literal += '\'';
                    ++i;
                    continue;
                }
                break;
            }
            literal += sql[i];
        }
        shape.skeleton += "''";
        shape.literals.push_back(std::move(literal));
    }
    return shape;
}

} // namespace parktotals::testing
