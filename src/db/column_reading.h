#pragma once

#include <cstdint>

namespace parktotals {

// How a field is fetched and turned into text, by the type the driver
// reports for its column.
enum class ColumnReading {
    Integer, // as a 64-bit integer, then RenderInteger
    Decimal, // as text, then RenderDecimal
    Float,   // as a double, then RenderFloat
    Text,    // as text, kept as it is
};

// `sql_type`, `column_size` and `decimal_digits` as SQLDescribeCol gives
// them. Whole decimals of fewer than ten digits read as integers; every type
// not numeric (dates, GUIDs, binary...) reads as the driver's text.
ColumnReading ChooseColumnReading(int sql_type, std::uint64_t column_size, int decimal_digits);

} // namespace parktotals
