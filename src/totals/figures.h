#pragma once

#include "totals/date_key.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The five figures sent to the central totals table each night, in the order
// they are sent.
namespace parktotals {

struct Figure {
    std::string_view column;  // target column in T_kextotal
    std::string_view query;   // run on the local statistics database
    std::string_view literal; // follows the value in the update statement
};

inline constexpr int kFigureCount = 5;
extern const std::array<Figure, kFigureCount> kFigures;

// Whether the figure can be computed for a past day: its query adds up one
// day's records. Figures 1 and 2 count the cards as they are now.
bool HasDayQuery(int figure);

// The figure's query on the local database: as it stands for the server's
// yesterday, or with `day` in place of it.
std::string FigureQuery(int figure, std::optional<LocalDate> day = std::nullopt);

// Doubles every single quote, so that a value spliced between quotes can
// never end the literal early.
std::string QuoteLiteralText(std::string_view text);

// The update statement for one figure (0-based index). Each spliced text
// goes through QuoteLiteralText; for the usual numbers that changes nothing.
std::string BuildUpdateStatement(int figure, std::string_view value,
                                 std::string_view park_number, std::string_view date_key);

} // namespace parktotals
