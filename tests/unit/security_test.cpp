// Hostile input against the two places where text turns into structure: the
// update statements, and the connection strings that carry the passwords.

#include "db/central_connection.h"
#include "db/connection_string.h"
#include "text/errors.h"
#include "support/sql_literals.h"
#include "totals/figures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace parktotals {
namespace {

using testing::ShapeOf;

std::vector<std::string> HostileTexts() {
    std::string long_quotes;
    for (int i = 0; i < 100 * 1024 / 4; ++i) long_quotes += "'--;";
    return {"'",
            "''",
            "1' or '1'='1",
            "1'; drop table T_kextotal; --",
            "--",
            "/*",
            "*/ '",
            ";",
            std::string("12\0' --", 7),
            std::string(1, '\0'),
            long_quotes,
            "\xE5\x8C\x97\xE4\xBA\xAC'\xE7\xAB\x99",
            "\xF0\x9F\x9A\x97'",
            "\xC0'\xFF",
            "\r\ngo\r\n'",
            "N'x'",
            "\\'"};
}

TEST(StatementShapeTest, HostileTextInAnySlotStaysInsideItsLiteral) {
    for (int figure = 0; figure < kFigureCount; ++figure) {
        const auto plain = ShapeOf(BuildUpdateStatement(figure, "0", "1", "20260228"));
        ASSERT_TRUE(plain.has_value());
        for (const std::string& hostile : HostileTexts()) {
            for (int slot = 0; slot < 3; ++slot) {
                std::vector<std::string> values = {"0", "1", "20260228"};
                values[static_cast<std::size_t>(slot)] = hostile;
                const std::string statement = BuildUpdateStatement(figure, values[0], values[1], values[2]);
                const auto shape = ShapeOf(statement);
                ASSERT_TRUE(shape.has_value()) << "open literal, figure " << figure + 1 << ", slot " << slot;
                EXPECT_EQ(shape->skeleton, plain->skeleton) << "figure " << figure + 1 << ", slot " << slot;
                EXPECT_EQ(shape->literals, values) << "figure " << figure + 1 << ", slot " << slot;
            }
        }
    }
}

// The statement keeps the NUL inside its literal; the ODBC layer then
// refuses to send it (tests/integration/security_gateway_test.cpp).
TEST(StatementShapeTest, NulIsKeptInsideTheLiteral) {
    const std::string nul(1, '\0');
    const std::string statement = BuildUpdateStatement(0, "3" + nul + "x", "208", "20260228");
    EXPECT_NE(statement.find("day_count_qinfei='3" + nul + "x'  from"), std::string::npos);
    EXPECT_EQ(statement.substr(statement.size() - 10), "'20260228'");
}

const OdbcTarget kFreeTds{"FreeTDS", "127.0.0.1", false, "system",
                          [](const std::string&) { return std::optional<std::string>("libtdsodbc.so"); }};
const OdbcTarget kMicrosoft{"SQL Server", "(local)", true, "",
                            [](const std::string&) { return std::optional<std::string>("sqlsrv32.dll"); }};

TEST(CentralAccountTest, AwkwardPasswordsReachTheDriverUnchanged) {
    struct Case {
        std::string password, freetds, microsoft;
    };
    const Case cases[] = {
        {"\tpw", "PWD={\tpw};", "PWD={\tpw};"},
        {"pw\t", "PWD={pw\t};", "PWD={pw\t};"},
        {" pw ", "PWD={ pw };", "PWD={ pw };"},
        {"a;b", "PWD={a;b};", "PWD={a;b};"},
        {"a\"b'c", "PWD=a\"b'c;", "PWD=a\"b'c;"},
        {"x}y{", "PWD={x}y{};", "PWD={x}}y{};"},
        {"p=w", "PWD={p=w};", "PWD={p=w};"},
    };
    for (const Case& c : cases) {
        const std::string oledb = CentralConnectionString("h", "u", c.password);
        const std::string freetds = TranslateConnectionString(oledb, kFreeTds).odbc;
        const std::string microsoft = TranslateConnectionString(oledb, kMicrosoft).odbc;
        EXPECT_NE(freetds.find("UID=u;" + c.freetds), std::string::npos) << freetds;
        EXPECT_NE(microsoft.find("UID=u;" + c.microsoft), std::string::npos) << microsoft;
    }
}

TEST(CentralAccountTest, PasswordTheDriverCannotTakeIsRefusedWithoutBeingNamed) {
    try {
        TranslateConnectionString(CentralConnectionString("h", "u", "Se};cret"), kFreeTds);
        FAIL() << "FreeTDS cannot take \"};\" in a braced value";
    } catch (const UserError& error) {
        EXPECT_EQ(std::string(error.what()), "The ODBC driver cannot take a password that contains \"};\"");
    }
}

} // namespace
} // namespace parktotals
