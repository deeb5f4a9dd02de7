#include "db/column_reading.h"

#include "db/odbc.h"

namespace parktotals {

ColumnReading ChooseColumnReading(int sql_type, std::uint64_t column_size, int decimal_digits) {
    switch (sql_type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return ColumnReading::Integer;
    case SQL_DECIMAL: // money and smallmoney come as SQL_DECIMAL (19,4) and (10,4)
    case SQL_NUMERIC:
        return decimal_digits == 0 && column_size < 10 ? ColumnReading::Integer : ColumnReading::Decimal;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ColumnReading::Float;
    default:
        return ColumnReading::Text;
    }
}

} // namespace parktotals
