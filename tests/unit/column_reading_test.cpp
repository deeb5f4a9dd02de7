#include "db/column_reading.h"

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

namespace parktotals {
namespace {

TEST(ColumnReadingTest, ByReportedType) {
    for (const int type : {SQL_BIT, SQL_TINYINT, SQL_SMALLINT, SQL_INTEGER, SQL_BIGINT})
        EXPECT_EQ(ChooseColumnReading(type, 10, 0), ColumnReading::Integer) << type;
    for (const int type : {SQL_REAL, SQL_FLOAT, SQL_DOUBLE})
        EXPECT_EQ(ChooseColumnReading(type, 15, 0), ColumnReading::Float) << type;
    for (const int type : {SQL_VARCHAR, SQL_WVARCHAR, SQL_WLONGVARCHAR, SQL_TYPE_TIMESTAMP, SQL_GUID, -150})
        EXPECT_EQ(ChooseColumnReading(type, 10, 0), ColumnReading::Text) << type;
}

TEST(ColumnReadingTest, DecimalsByPrecisionAndScale) {
    EXPECT_EQ(ChooseColumnReading(SQL_DECIMAL, 19, 4), ColumnReading::Decimal); // money
    EXPECT_EQ(ChooseColumnReading(SQL_DECIMAL, 10, 4), ColumnReading::Decimal); // smallmoney
    EXPECT_EQ(ChooseColumnReading(SQL_NUMERIC, 5, 2), ColumnReading::Decimal);
    EXPECT_EQ(ChooseColumnReading(SQL_NUMERIC, 9, 0), ColumnReading::Integer);
    EXPECT_EQ(ChooseColumnReading(SQL_NUMERIC, 10, 0), ColumnReading::Decimal);
    EXPECT_EQ(ChooseColumnReading(SQL_DECIMAL, 38, 0), ColumnReading::Decimal); // SUM over decimal
}

} // namespace
} // namespace parktotals
