#include "db/database_gateway.h"
#include "text/errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

// The gateway's wiring, where every connection string fails before any
// driver is loaded.
namespace parktotals {
namespace {

constexpr const char* kUnusable = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=park.mdb";

class DatabaseGatewayTest : public ::testing::Test {
protected:
    Connection Conn;
    Query ADOec{Conn};
    Connection ADOCondir;
    Query ADOecdir{ADOCondir};
    DatabaseGateway gateway{Conn, ADOec, ADOCondir, ADOecdir, kUnusable};
    testing::TempDir dir;
};

TEST_F(DatabaseGatewayTest, MissingRegInfoLeavesTheLocalConnectionAlone) {
    gateway.SetUpLocalConnection(dir / "RegInfo.INI");
    EXPECT_EQ(Conn.ConnectionString(), "");
    EXPECT_FALSE(Conn.IsOpen());
}

TEST_F(DatabaseGatewayTest, LocalSetUpSwallowsAFailedOpen) {
    gateway.SetUpLocalConnection(dir.Write("RegInfo.INI", std::string(kUnusable) + "\r\nsecond line\r\n"));
    EXPECT_EQ(Conn.ConnectionString(), kUnusable);
    EXPECT_FALSE(Conn.IsOpen());
}

TEST_F(DatabaseGatewayTest, FailedLocalQueryKeepsTheValue) {
    std::string value = "before";
    EXPECT_FALSE(gateway.QueryLocalScalar("SELECT 1", value)); // empty connection string
    EXPECT_EQ(value, "before");
    Conn.SetConnectionString(kUnusable);
    EXPECT_FALSE(gateway.QueryLocalScalar("SELECT 1", value));
    EXPECT_EQ(value, "before");
}

TEST_F(DatabaseGatewayTest, CentralErrorsPropagate) {
    ADOCondir.SetConnectionString("Server=elsewhere");
    try {
        gateway.OpenCentral();
        FAIL() << "no error";
    } catch (const UserError& error) {
        EXPECT_NE(std::string(error.what()).find("names a provider this program cannot use"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(ADOCondir.ConnectionString(), kUnusable);
    EXPECT_FALSE(gateway.IsCentralOpen());
    EXPECT_THROW(gateway.ExecCentral("update T_kextotal set a='1'"), UserError);
    EXPECT_NO_THROW(gateway.CloseCentral()); // closing a closed connection does nothing
}

} // namespace
} // namespace parktotals
