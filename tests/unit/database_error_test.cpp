#include "db/database_error.h"
#include "text/message_table.h"

#include <gtest/gtest.h>

namespace parktotals {
namespace {

TEST(DriverMessageTest, DropsVendorTagsAndTheTail) {
    EXPECT_EQ(CleanDriverMessage("[FreeTDS][SQL Server]Login failed for user 'x'."), "Login failed for user 'x'");
    EXPECT_EQ(CleanDriverMessage("[Microsoft][ODBC SQL Server Driver][SQL Server]Invalid object name 'T_kexbase'.\r\n"),
              "Invalid object name 'T_kexbase'");
    EXPECT_EQ(CleanDriverMessage("[FreeTDS][SQL Server]Invalid column name '[x]'. "), "Invalid column name '[x]'");
    EXPECT_EQ(CleanDriverMessage("No tags here..."), "No tags here");
    EXPECT_EQ(CleanDriverMessage("[unclosed tag"), "[unclosed tag");
}

const DiagnosticRecord kUnavailable{"08S01", 20009,
                                    "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or does "
                                    "not exist"};
const DiagnosticRecord kNoDataSource{"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"};

TEST(DatabaseErrorTest, FirstRecordSpeaks) {
    const DatabaseError error = MakeDatabaseError({kUnavailable, kUnavailable, kNoDataSource}, "SQLDriverConnect");
    EXPECT_STREQ(error.what(), "Unable to connect: Adaptive Server is unavailable or does not exist");
    EXPECT_EQ(error.SqlState(), "08S01");
    EXPECT_EQ(error.NativeCode(), 20009);
}

TEST(DatabaseErrorTest, WarningsGiveWayToTheError) {
    const DatabaseError error = MakeDatabaseError(
        {{"01000", 5701, "[FreeTDS][SQL Server]Changed database context to 'park'."},
         {"42S02", 208, "[FreeTDS][SQL Server]Invalid object name 'T_SCcarset'."}},
        "SQLExecDirect");
    EXPECT_STREQ(error.what(), "Invalid object name 'T_SCcarset'");
    EXPECT_EQ(error.NativeCode(), 208);

    // unixODBC reports a driver it cannot load with nothing but a warning.
    const DatabaseError only_warning = MakeDatabaseError(
        {{"01000", 0, "[unixODBC][Driver Manager]Can't open lib 'Nope' : file not found"}}, "SQLDriverConnect");
    EXPECT_STREQ(only_warning.what(), "Can't open lib 'Nope' : file not found");
}

TEST(DatabaseErrorTest, NoRecordNamesTheCall) {
    const DatabaseError error = MakeDatabaseError({}, "SQLAllocHandle");
    EXPECT_STREQ(error.what(), "SQLAllocHandle failed and the driver gave no reason");
    EXPECT_EQ(error.SqlState(), "");
    EXPECT_FALSE(error.LinkLost());
    EXPECT_STREQ(MakeDatabaseError({{"HY000", 0, "[FreeTDS][SQL Server]"}}, "SQLFetch").what(),
                 "SQLFetch failed (SQLSTATE HY000)");
}

TEST(DatabaseErrorTest, LinkLossFromAnyRecord) {
    for (const char* state : {"08S01", "08S02", "08003", "08007"})
        EXPECT_TRUE(MakeDatabaseError({{"HY000", 0, "x"}, {state, 0, "y"}}, "SQLFetch").LinkLost()) << state;
    EXPECT_FALSE(MakeDatabaseError({kNoDataSource}, "SQLDriverConnect").LinkLost());
    EXPECT_FALSE(MakeDatabaseError({{"42000", 102, "Incorrect syntax near 'x'."}}, "SQLExecDirect").LinkLost());
}

// What a retry may mend: failures that pass, never a refusal or the
// statement's own error.
TEST(DatabaseErrorTest, KindDecidesWhetherAnotherTryMayGetThrough) {
    using K = FailureKind;
    const struct {
        DatabaseError error;
        FailureKind kind;
    } cases[] = {
        {{"Unable to connect", "08S01", 20009, true}, K::NoAnswer},
        {{"Unable to connect", "08001", 20009, false}, K::NoAnswer},
        {{"SQL Server does not exist or access denied", "08001", 17, false}, K::NoAnswer},
        {{"Adaptive Server connection failed", "08001", 20002, false}, K::ConnectFailed},
        {{"Login timeout expired", "HYT00", 0, false}, K::TimedOut},
        {{"Connection timeout", "HYT01", 0, false}, K::TimedOut},
        {{"Write to the server failed", "08S01", 20006, true}, K::LinkLost},
        // FreeTDS says a link that died mid-answer with a mere warning.
        {{"Unexpected EOF from the server", "01000", 20017, false}, K::LinkLost},
        {{"Unknown error", "HY000", 0, true}, K::LinkLost},
        {{"chosen as the deadlock victim", "40001", 1205, false}, K::Busy},
        {{"Lock request time out period exceeded", "HY000", 1222, false}, K::Busy},
        {{"Login failed for user 'sa'", "28000", 18456, false}, K::LoginRefused},
        {{"Login failed for user 'sa'", "08001", 18456, false}, K::LoginRefused},
        {EncryptionRefusedError({"Adaptive Server connection failed", "08001", 20002, false}), K::Final},
        {{"Invalid column name 'Deposit'", "42S22", 207, false}, K::Final},
        {{"Conversion failed", "22018", 245, false}, K::Final},
        {{"Cannot open database \"x\"", "42000", 4060, false}, K::Final},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KindOf(c.error), c.kind) << c.error.what() << " " << c.error.NativeCode();
        const bool transient = c.kind != K::Final && c.kind != K::LoginRefused;
        EXPECT_EQ(FailureReasonOf(c.error).transient, transient) << c.error.what();
    }
}

// A Chinese run says the program's own words in Chinese; the driver's and
// the server's come through as they were sent.
TEST(DatabaseErrorTest, OwnWordsInTheRunsLanguageTheDriversAsSent) {
    struct InChinese {
        InChinese() { SetCurrentLanguage(Language::Chinese); }
        ~InChinese() { SetCurrentLanguage(Language::English); }
    };
    const auto chinese = [](const Message& message, std::initializer_list<std::string_view> arguments) {
        return Say(Language::Chinese, message, arguments);
    };
    const std::string refused = "Adaptive Server connection failed";
    const InChinese run;
    const struct {
        DatabaseError error;
        std::string said;
    } cases[] = {
        {EncryptionRefusedError({refused, "08001", 20002, false}), chinese(msg::kEncryptionRefused, {refused})},
        {MakeDatabaseError({}, "SQLAllocHandle"), chinese(msg::kCallFailedNoReason, {"SQLAllocHandle"})},
        {MakeDatabaseError({kUnavailable}, "SQLDriverConnect"), CleanDriverMessage(kUnavailable.message)},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.what(), c.said);
    EXPECT_NE(std::string(cases[0].error.what()).find(refused), std::string::npos);
}

} // namespace
} // namespace parktotals
