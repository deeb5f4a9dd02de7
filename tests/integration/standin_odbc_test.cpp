// The stand-in as the program meets it: through unixODBC and the FreeTDS
// ODBC driver, with wide-character calls.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <tuple>

#include "integration/standin_support.h"
#include "standin/standin.h"
#include "support/wait.h"

namespace parktotals::standin {
namespace {

using parktotals::testing::EncryptionWith;
using parktotals::testing::kGenerousTimeout;
using parktotals::testing::OdbcClient;
using parktotals::testing::TlsCertificate;
using parktotals::testing::WaitUntil;

Script Rules(std::vector<Rule> rules) {
    Script s;
    s.rules = std::move(rules);
    return s;
}

TEST(StandinOdbc, RecordsLoginAndExactBatchText) {
    // Chinese text, quotes, brackets and the CR LF the program ends its statements with.
    const std::string text = "select isnull(sum([金额]),0) from 收费记录 where 备注 like '%异常%' and a*2+1>0\r\n";
    Server server(Rules({Rule::Exact(text, Answer::Scalar(Value::Money("12.5")))}));
    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port(), "park", "s3cret-P@ss", "park db")));
    ASSERT_TRUE(SQL_SUCCEEDED(
        client.Exec(u"select isnull(sum([金额]),0) from 收费记录 where 备注 like '%异常%' and a*2+1>0\r\n")));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(client.statement())));
    EXPECT_EQ(client.Text(), "12.5000");

    const auto logins = server.logins();
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0].user, "park");
    EXPECT_EQ(logins[0].password, "s3cret-P@ss");
    EXPECT_EQ(logins[0].database, "park db");
    EXPECT_TRUE(logins[0].accepted);
    const auto batches = server.batches();
    ASSERT_EQ(batches.size(), 1u) << "FreeTDS sent something of its own at connect time";
    EXPECT_EQ(batches[0].text, text);
    EXPECT_EQ(batches[0].connection, logins[0].connection);
}

using Described = std::tuple<SQLSMALLINT, SQLULEN, SQLSMALLINT, std::string>;  // type, size, digits, text

Described Describe(Value value) {
    Server server(Rules({Rule::Exact("q", Answer::Scalar(std::move(value), "v"))}));
    OdbcClient client;
    if (!SQL_SUCCEEDED(client.Connect(server.port())) || !SQL_SUCCEEDED(client.Exec(u"q"))) return {};
    SQLWCHAR name[32];
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColW(client.statement(), 1, name, 32, &name_length, &type, &size, &digits, &nullable);
    return {type, size, digits, SQL_SUCCEEDED(SQLFetch(client.statement())) ? client.Text() : "<no row>"};
}

TEST(StandinOdbc, EachResultTypeIsDescribedAndReadAsFreeTdsReportsSqlServer) {
    EXPECT_EQ(Describe(Value::Int(-7)), Described(SQL_INTEGER, 10, 0, "-7"));
    EXPECT_EQ(Describe(Value::BigInt(9007199254740993)), Described(SQL_BIGINT, 19, 0, "9007199254740993"));
    EXPECT_EQ(Describe(Value::Money("-922337203685477.5808")), Described(SQL_DECIMAL, 19, 4, "-922337203685477.5808"));
    EXPECT_EQ(Describe(Value::SmallMoney("12.5")), Described(SQL_DECIMAL, 10, 4, "12.5000"));
    EXPECT_EQ(Describe(Value::Decimal(38, 6, "1.2345678")), Described(SQL_NUMERIC, 38, 6, "1.234568"));
    EXPECT_EQ(Describe(Value::Numeric(10, 2, "-99.995")), Described(SQL_NUMERIC, 10, 2, "-100.00"));
    EXPECT_EQ(Describe(Value::Float(0.25)), Described(SQL_DOUBLE, 53, 0, "0.25"));
    EXPECT_EQ(Describe(Value::NVarChar("abc")), Described(SQL_WVARCHAR, 3, 0, "abc"));
    EXPECT_EQ(Describe(Value::Null(SqlType::Money)), Described(SQL_DECIMAL, 19, 4, "NULL"));
    EXPECT_EQ(Describe(Value::Null(SqlType::Decimal, 19, 4)), Described(SQL_NUMERIC, 19, 4, "NULL"));
}

TEST(StandinOdbc, RowCountAndServerErrorReachTheClient) {
    Server server(Rules({Rule::Exact("update t set a=1", Answer::RowCount(3)),
                         Rule::Exact("select * from x", Answer::Error(208, "Invalid object name 'x'.")),
                         Rule::Exact("set nocount on", Answer::Ok())}));
    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port())));

    ASSERT_TRUE(SQL_SUCCEEDED(client.Exec(u"update t set a=1")));
    SQLLEN rows = 0;
    SQLRowCount(client.statement(), &rows);
    EXPECT_EQ(rows, 3);

    EXPECT_EQ(client.Exec(u"select * from x"), SQL_ERROR);
    const auto d = client.StatementDiagnostic();
    EXPECT_EQ(d.state, "42S02");
    EXPECT_EQ(d.native, 208);
    EXPECT_NE(d.message.find("Invalid object name 'x'."), std::string::npos) << d.message;

    // Unmatched batches succeed without a result; the connection carries on.
    ASSERT_EQ(client.Exec(u"delete from t"), SQL_SUCCESS);
    SQLSMALLINT columns = -1;
    SQLNumResultCols(client.statement(), &columns);
    EXPECT_EQ(columns, 0);
    // A DONE without a count is no data to FreeTDS.
    EXPECT_EQ(client.Exec(u"set nocount on"), SQL_NO_DATA);
}

// FreeTDS 1.3.17, as the stand-in's README writes down: a count-less DONE
// is SQL_NO_DATA; of a trigger's counts and the statement's own, only the
// trigger's last one is reported, and SQLMoreResults has nothing more.
TEST(StandinOdbc, NoCountServerCountsOnlyForSessionsThatAskAndTriggerCountsComeFirst) {
    Script script = Rules({Rule::Exact("update t", Answer::RowCount(4)),
                           Rule::Exact("update audited", Answer::RowCount(1).FiringTrigger({3, 2}))});
    script.nocount_by_default = true;
    Server server(script);
    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port())));
    const auto rows = [&client] {
        SQLLEN n = -9;
        SQLRowCount(client.statement(), &n);
        return n;
    };
    EXPECT_EQ(client.Exec(u"update t"), SQL_NO_DATA);
    EXPECT_EQ(client.Exec(u"set  NoCount OFF;\r\n"), SQL_NO_DATA);
    ASSERT_EQ(client.Exec(u"update t"), SQL_SUCCESS);
    EXPECT_EQ(rows(), 4);
    ASSERT_EQ(client.Exec(u"update audited"), SQL_SUCCESS);
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(SQLMoreResults(client.statement()), SQL_NO_DATA);
    EXPECT_EQ(client.Exec(u"SET NOCOUNT ON"), SQL_NO_DATA);
    EXPECT_EQ(client.Exec(u"update t"), SQL_NO_DATA);
}

TEST(StandinOdbc, LoginRefusalIsALoginFailure) {
    Script script;
    script.accounts = {{"park", "right"}};
    Server server(script);
    OdbcClient refused, accepted;
    EXPECT_EQ(refused.Connect(server.port(), "park", "wrong"), SQL_ERROR);
    const auto d = refused.ConnectionDiagnostic();
    EXPECT_EQ(d.native, 18456);
    EXPECT_NE(d.message.find("Login failed for user 'park'."), std::string::npos) << d.message;
    EXPECT_TRUE(SQL_SUCCEEDED(accepted.Connect(server.port(), "park", "right")));
}

// FreeTDS 1.3.17 reports the EOF itself as native error 20017 under SQLSTATE
// 01000 (with SQL_ERROR), and 08S01 for every later call on the dead link.
TEST(StandinOdbc, DroppedConnectionIsUnexpectedEofThen08S01) {
    Server server(Rules({Rule::Exact("update t set a=1", Answer::Drop())}));
    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port())));
    EXPECT_EQ(client.Exec(u"update t set a=1"), SQL_ERROR);
    const auto eof = client.StatementDiagnostic();
    EXPECT_EQ(eof.native, 20017);
    EXPECT_NE(eof.message.find("Unexpected EOF from the server"), std::string::npos) << eof.message;
    EXPECT_EQ(client.Exec(u"update t set a=1"), SQL_ERROR);
    EXPECT_EQ(client.StatementDiagnostic().state, "08S01");
    EXPECT_EQ(server.batches().size(), 1u);
}

TEST(StandinOdbc, DropConnectionsCutsOpenOnesAndKeepsListening) {
    Server server(Script{});
    OdbcClient first;
    ASSERT_TRUE(SQL_SUCCEEDED(first.Connect(server.port())));
    ASSERT_TRUE(SQL_SUCCEEDED(first.Exec(u"select 1")));
    server.DropConnections();
    EXPECT_EQ(first.Exec(u"select 1"), SQL_ERROR);
    EXPECT_EQ(first.Exec(u"select 1"), SQL_ERROR);
    EXPECT_EQ(first.StatementDiagnostic().state, "08S01");

    OdbcClient second;
    ASSERT_TRUE(SQL_SUCCEEDED(second.Connect(server.port())));
    EXPECT_TRUE(SQL_SUCCEEDED(second.Exec(u"select 1")));
}

TEST(StandinOdbc, BatchLongerThanAPacketIsRecordedWhole) {
    std::u16string wide = u"update t set note=N'";
    for (int i = 0; i < 3000; ++i) wide += u"停车";
    wide += u"' where id=1\r\n";
    std::string text = "update t set note=N'";
    for (int i = 0; i < 3000; ++i) text += "停车";
    text += "' where id=1\r\n";

    Server server(Rules({Rule::Exact(text, Answer::RowCount(1)),
                         Rule::Regex("update t set note=N'[\\s\\S]*", Answer::RowCount(2))}));
    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port())));
    ASSERT_TRUE(SQL_SUCCEEDED(client.Exec(wide)));  // 12 kB of UTF-16: three packets
    SQLLEN rows = 0;
    SQLRowCount(client.statement(), &rows);
    EXPECT_EQ(rows, 1);
    const auto batches = server.batches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].text, text);

    // A long batch through a regex: no stack overflow, whole-text match.
    wide.pop_back();
    ASSERT_TRUE(SQL_SUCCEEDED(client.Exec(wide)));
    SQLRowCount(client.statement(), &rows);
    EXPECT_EQ(rows, 2);
}

// Runs a call that waits for the server on a thread of its own.
std::future<SQLRETURN> Start(OdbcClient& client, std::u16string batch) {
    return std::async(std::launch::async, [&client, batch] { return client.Exec(batch); });
}

// The call's result once it returns. When the server never lets it return,
// its connections are dropped, so that the test fails instead of hanging.
SQLRETURN Finish(std::future<SQLRETURN>& call, Server& server) {
    if (call.wait_for(kGenerousTimeout) != std::future_status::ready) {
        ADD_FAILURE() << "the call still waits for its answer";
        server.DropConnections();
    }
    return call.get();
}

TEST(StandinOdbc, HeldAnswerWaitsForTheReleaseAndACancelEndsTheWait) {
    Server server(Rules({Rule::Exact("held", Answer::Scalar(Value::Int(1)).Held()),
                         Rule::Exact("late", Answer::Scalar(Value::Int(2)).After(std::chrono::milliseconds(150))),
                         Rule::Exact("slow", Answer::Scalar(Value::Int(3)).After(std::chrono::hours(1)))}));
    OdbcClient cancelled, released;
    ASSERT_TRUE(SQL_SUCCEEDED(cancelled.Connect(server.port())));
    ASSERT_TRUE(SQL_SUCCEEDED(released.Connect(server.port())));

    // A cancel, once the server has the batch, gets just its DONE; so does
    // one during a delay.
    for (const char16_t* batch : {u"held", u"slow"}) {
        const std::size_t before = server.batches().size();
        auto call = Start(cancelled, batch);
        EXPECT_TRUE(server.WaitForBatches(before + 1, kGenerousTimeout));
        EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(cancelled.statement())));
        EXPECT_EQ(Finish(call, server), SQL_ERROR);
        EXPECT_EQ(cancelled.StatementDiagnostic().state, "HY008");
    }
    EXPECT_EQ(server.attentions(), 2);

    auto waiting = Start(released, u"held");
    EXPECT_TRUE(server.WaitForBatches(3, kGenerousTimeout));
    server.Release();
    ASSERT_TRUE(SQL_SUCCEEDED(Finish(waiting, server)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(released.statement())));
    EXPECT_EQ(released.Text(), "1");

    // The gate stays open, and a cancelled connection carries on.
    auto again = Start(cancelled, u"held");
    ASSERT_TRUE(SQL_SUCCEEDED(Finish(again, server)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(cancelled.statement())));
    EXPECT_EQ(cancelled.Text(), "1");

    const auto late = std::chrono::steady_clock::now();
    ASSERT_TRUE(SQL_SUCCEEDED(released.Exec(u"late")));
    EXPECT_GE(std::chrono::steady_clock::now() - late, std::chrono::milliseconds(150));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(released.statement())));
    EXPECT_EQ(released.Text(), "2");
}

TEST(StandinOdbc, DropConnectionsAndStopEndAHeldAnswer) {
    Server server(Rules({Rule::Exact("held", Answer::Scalar(Value::Int(1)).Held())}));
    OdbcClient dropped;
    ASSERT_TRUE(SQL_SUCCEEDED(dropped.Connect(server.port())));
    auto first = Start(dropped, u"held");
    EXPECT_TRUE(server.WaitForBatches(1, kGenerousTimeout));
    server.DropConnections();
    EXPECT_EQ(Finish(first, server), SQL_ERROR);
    EXPECT_EQ(dropped.StatementDiagnostic().native, 20017) << "not the lost link";

    OdbcClient stopped;
    ASSERT_TRUE(SQL_SUCCEEDED(stopped.Connect(server.port())));
    auto second = Start(stopped, u"held");
    EXPECT_TRUE(server.WaitForBatches(2, kGenerousTimeout));
    server.Stop();
    EXPECT_EQ(Finish(second, server), SQL_ERROR);
    EXPECT_EQ(server.attentions(), 0);
}

TEST(StandinOdbc, RpcIsRefusedWithoutLosingTheConnection) {
    Server server(Rules({Rule::Exact("select 1", Answer::Scalar(Value::Int(1)))}));
    OdbcClient client;
    ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port())));
    // A bound parameter makes FreeTDS send sp_executesql as an RPC.
    SQLINTEGER parameter = 5;
    SQLLEN indicator = 0;
    SQLBindParameter(client.statement(), 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &parameter, 0, &indicator);
    EXPECT_EQ(client.Exec(u"select ?"), SQL_ERROR);
    EXPECT_NE(client.StatementDiagnostic().message.find("RPC"), std::string::npos);
    SQLFreeStmt(client.statement(), SQL_RESET_PARAMS);

    ASSERT_TRUE(SQL_SUCCEEDED(client.Exec(u"select 1")));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(client.statement())));
    EXPECT_EQ(client.Text(), "1");
}

TEST(StandinOdbc, ConnectionsAreServedAtOnceAndToldApart) {
    Server server(Script{});
    OdbcClient a, b;
    ASSERT_TRUE(SQL_SUCCEEDED(a.Connect(server.port())));
    ASSERT_TRUE(SQL_SUCCEEDED(b.Connect(server.port())));
    EXPECT_TRUE(server.WaitForLogins(2, std::chrono::milliseconds(0)));
    ASSERT_TRUE(SQL_SUCCEEDED(b.Exec(u"from b")));
    ASSERT_TRUE(SQL_SUCCEEDED(a.Exec(u"from a")));
    EXPECT_TRUE(server.WaitForBatches(2, std::chrono::milliseconds(0)));
    EXPECT_FALSE(server.WaitForBatches(3, std::chrono::milliseconds(10))) << "a third batch from nowhere";
    const auto logins = server.logins();
    const auto batches = server.batches();
    ASSERT_EQ(logins.size(), 2u);
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[0].text, "from b");
    EXPECT_EQ(batches[0].connection, logins[1].connection);
    EXPECT_EQ(batches[1].connection, logins[0].connection);
    EXPECT_NE(logins[0].connection, logins[1].connection);
}

// The FreeTDS driver's own keyword: "require" asks for encryption
// (ENCRYPT_ON) and gets the whole connection encrypted; "request", its
// default, says "off, but I can" (ENCRYPT_OFF), which a server with a
// certificate answers with login-only encryption; "off" says it cannot
// encrypt at all (ENCRYPT_NOT_SUP), so nothing is.
TEST(StandinOdbc, EncryptionKeywordDecidesHowTheLoginTravels) {
    const TlsCertificate certificate;
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 3000; ++i) rows.push_back({Value::NVarChar("row " + std::to_string(i))});
    Server server(Rules({Rule::Exact("select 1", Answer::Scalar(Value::Int(1))),
                         Rule::Exact("held", Answer::Scalar(Value::Int(2)).After(std::chrono::hours(1))),
                         Rule::Regex("select many[\\s\\S]*",
                                     Answer::Results({ResultSet{{Column{"v", Value::NVarChar("")}}, rows}}))}),
                  EncryptionWith(certificate));
    const std::vector<std::pair<std::string, LoginEncryption>> cases = {
        {";Encryption=require", LoginEncryption::Tls},
        {";Encryption=request", LoginEncryption::LoginOnly},
        {"", LoginEncryption::LoginOnly},
        {";Encryption=off", LoginEncryption::None},
        // The Windows driver's keyword means nothing to FreeTDS: its default applies.
        {";Encrypt=yes", LoginEncryption::LoginOnly},
    };
    for (const auto& [keyword, expected] : cases) {
        SCOPED_TRACE(keyword);
        OdbcClient client;
        ASSERT_TRUE(SQL_SUCCEEDED(client.Connect(server.port(), "park", "s3cret-P@ss", "park", keyword)))
            << client.ConnectionDiagnostic().message;
        const auto login = server.logins().back();
        EXPECT_EQ(login.encryption, expected);
        EXPECT_EQ(login.user, "park");
        EXPECT_EQ(login.password, "s3cret-P@ss");
        EXPECT_TRUE(login.accepted);

        // Whatever the login left behind carries a batch and its answer.
        ASSERT_TRUE(SQL_SUCCEEDED(client.Exec(u"select 1")));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(client.statement())));
        EXPECT_EQ(client.Text(), "1");

        // Several packets and TLS records each way: a long batch, a long answer.
        std::u16string batch = u"select many ";
        for (int i = 0; i < 3000; ++i) batch += u"停车";
        ASSERT_TRUE(SQL_SUCCEEDED(client.Exec(batch)));
        std::size_t fetched = 0;
        while (SQL_SUCCEEDED(SQLFetch(client.statement()))) {
            if (fetched == 2999) {
                EXPECT_EQ(client.Text(), "row 2999");
            }
            ++fetched;
        }
        EXPECT_EQ(fetched, 3000u);
        EXPECT_EQ(server.batches().back().text.size(), std::string("select many ").size() + 3000 * 6);

        // A cancel arrives through the same layer as the batch it cancels.
        const std::size_t before = server.batches().size();
        auto call = std::async(std::launch::async, [&client] { return client.Exec(u"held"); });
        EXPECT_TRUE(WaitUntil([&] { return server.batches().size() > before; }));
        EXPECT_TRUE(SQL_SUCCEEDED(SQLCancel(client.statement())));
        if (call.wait_for(kGenerousTimeout) != std::future_status::ready) {
            ADD_FAILURE() << "the cancel was not answered";
            server.DropConnections();
        }
        EXPECT_EQ(call.get(), SQL_ERROR);
        EXPECT_EQ(client.StatementDiagnostic().state, "HY008");
        EXPECT_TRUE(SQL_SUCCEEDED(client.Exec(u"select 1")));
    }
}

// What the program meets when it asks for encryption and the server has
// none, or when it cannot encrypt and the server insists: no login either
// way, and the driver says why.
TEST(StandinOdbc, EncryptionThatCannotBeAgreedOnStopsBeforeTheLogin) {
    int connections = 0;
    std::vector<std::string> errors;
    std::mutex mutex;
    Observer observer;
    observer.connected = [&](int) {
        std::lock_guard lock(mutex);
        ++connections;
    };
    observer.error = [&](int, const std::string& reason) {
        std::lock_guard lock(mutex);
        errors.push_back(reason);
    };

    Server plain(Script{}, 0, observer);
    OdbcClient asking;
    EXPECT_EQ(asking.Connect(plain.port(), "u", "p", "db", ";Encryption=require"), SQL_ERROR);
    const auto refused = asking.ConnectionDiagnostic();
    EXPECT_EQ(refused.state, "08001") << refused.message;
    EXPECT_TRUE(plain.logins().empty());
    // Encrypt=yes (the Windows driver's keyword, which reaches FreeTDS under
    // Wine) is ignored: the login goes in plain text, nothing is refused.
    OdbcClient windows_keyword;
    EXPECT_TRUE(SQL_SUCCEEDED(windows_keyword.Connect(plain.port(), "u", "p", "db", ";Encrypt=yes")));
    ASSERT_EQ(plain.logins().size(), 1u);
    EXPECT_EQ(plain.logins()[0].encryption, LoginEncryption::None);

    const TlsCertificate certificate;
    Server required(Script{}, EncryptionWith(certificate, Encryption::Mode::Required), 0, observer);
    OdbcClient unable;
    EXPECT_EQ(unable.Connect(required.port(), "u", "p", "db", ";Encryption=off"), SQL_ERROR);
    EXPECT_EQ(unable.ConnectionDiagnostic().state, "08001") << unable.ConnectionDiagnostic().message;
    EXPECT_TRUE(required.logins().empty());
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return !errors.empty();
    }));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(connections, 3) << "a client never reached the server, so proves nothing";
        EXPECT_NE(errors.front().find("does not support encryption"), std::string::npos) << errors.front();
    }

    // The driver's default says "off, but I can": a server that requires
    // encryption then encrypts everything.
    OdbcClient willing;
    ASSERT_TRUE(SQL_SUCCEEDED(willing.Connect(required.port())));
    EXPECT_TRUE(SQL_SUCCEEDED(willing.Exec(u"select 1")));
    ASSERT_EQ(required.logins().size(), 1u);
    EXPECT_EQ(required.logins()[0].encryption, LoginEncryption::Tls);
}

// The driver's connection string has no keyword for a CA file (FreeTDS
// 1.3.17): whatever the spelling, a certificate nobody vouches for is
// taken. Only a freetds.conf section, named by Servername=, can give one.
TEST(StandinOdbc, OnlyAFreetdsConfSectionMakesTheDriverCheckTheCertificate) {
    const TlsCertificate certificate, stranger;
    Server server(Script{}, EncryptionWith(certificate));
    for (const std::string keyword : {";CAFile=", ";CA File=", ";ca_file="}) {
        OdbcClient client;
        EXPECT_TRUE(SQL_SUCCEEDED(client.Connect(server.port(), "u", "p", "db",
                                                 ";Encryption=require" + keyword + stranger.certificate_file())))
            << keyword << ": " << client.ConnectionDiagnostic().message;
    }
    ASSERT_EQ(server.logins().size(), 3u);
    for (const Login& login : server.logins()) EXPECT_EQ(login.encryption, LoginEncryption::Tls);

    parktotals::testing::TempDir dir;
    const auto section = [&](const std::string& name, const TlsCertificate& ca) {
        return "[" + name + "]\n\thost = 127.0.0.1\n\tport = " + std::to_string(server.port()) +
               "\n\ttds version = 7.4\n\tencryption = require\n\tca file = " + ca.certificate_file() + "\n";
    };
    const std::string config = dir.Write("freetds.conf", section("right", certificate) + section("wrong", stranger));
    // The driver reads the file named here at each connect; no other test
    // in this program uses a freetds.conf, and this one puts it back.
    const char* saved = std::getenv("FREETDSCONF");
    const std::string before = saved ? saved : "";
    setenv("FREETDSCONF", config.c_str(), 1);
    OdbcClient right, wrong;
    const SQLRETURN trusted = right.ConnectWith("Driver={FreeTDS};Servername=right;UID=u;PWD=p");
    const SQLRETURN untrusted = wrong.ConnectWith("Driver={FreeTDS};Servername=wrong;UID=u;PWD=p");
    if (saved) {
        setenv("FREETDSCONF", before.c_str(), 1);
    } else {
        unsetenv("FREETDSCONF");
    }
    EXPECT_TRUE(SQL_SUCCEEDED(trusted)) << right.ConnectionDiagnostic().message;
    EXPECT_EQ(untrusted, SQL_ERROR);
    EXPECT_EQ(server.logins().size(), 4u);
}

} // namespace
} // namespace parktotals::standin
