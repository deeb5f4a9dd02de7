// Statements through the program's own gateway (unixODBC + FreeTDS) on an
// open connection to a stand-in on loopback: a figure's query on the local
// database and an update on the central one. The login is measured apart,
// since a run opens each connection once.

#include <benchmark/benchmark.h>

#include "db/central_connection.h"
#include "db/database.h"
#include "db/database_gateway.h"
#include "standin/standin.h"
#include "support/standin_scripts.h"
#include "totals/figures.h"

namespace {

using namespace parktotals;

std::string Host(const standin::Server& server) { return "127.0.0.1," + std::to_string(server.port()); }

std::string LocalString(const standin::Server& server) {
    return "Provider=SQLOLEDB.1;Data Source=" + Host(server) + ";Initial Catalog=park;User ID=sa;Password=pw";
}

// The window's four components and the gateway over them.
struct Components {
    explicit Components(const standin::Server& local, const standin::Server& central)
        : gateway(Conn, ADOec, ADOCondir, ADOecdir, CentralConnectionString(Host(central), "u", "p")) {
        Conn.SetConnectionString(LocalString(local));
    }
    Connection Conn;
    Query ADOec{Conn};
    Connection ADOCondir;
    Query ADOecdir{ADOCondir};
    DatabaseGateway gateway;
};

// Adds how many ATTENTION (cancel) packets each iteration cost the server.
void CountAttentions(benchmark::State& state, const standin::Server& server, int before) {
    state.counters["attentions/op"] =
        benchmark::Counter(server.attentions() - before, benchmark::Counter::kAvgIterations);
}

void BM_QueryLocalScalar(benchmark::State& state) {
    standin::Server local(testing::LocalFiguresScript());
    standin::Server central(testing::CentralScript());
    Components form(local, central);
    const std::string query(kFigures[static_cast<std::size_t>(state.range(0))].query);
    std::string value;
    if (!form.gateway.QueryLocalScalar(query, value)) state.SkipWithError("the query failed");
    const int before = local.attentions();
    for (auto _ : state) {
        if (!form.gateway.QueryLocalScalar(query, value)) state.SkipWithError("the query failed");
        benchmark::DoNotOptimize(value);
    }
    CountAttentions(state, local, before);
}
// Figure 1 (an int) and figure 3 (money, Chinese query text).
BENCHMARK(BM_QueryLocalScalar)->ArgName("figure")->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_ExecCentral(benchmark::State& state) {
    standin::Server local(testing::LocalFiguresScript());
    const std::string update = BuildUpdateStatement(2, "1234.5", "208", "20261207");
    // An exact rule: the whole run's regex would cost the stand-in more than the client.
    standin::Script script;
    script.rules.push_back(standin::Rule::Exact(update + "\r\n", standin::Answer::RowCount(1)));
    standin::Server central(script);
    Components form(local, central);
    form.gateway.OpenCentral();
    const int before = central.attentions();
    for (auto _ : state) form.gateway.ExecCentral(update);
    CountAttentions(state, central, before);
    form.gateway.CloseCentral();
}
BENCHMARK(BM_ExecCentral)->Unit(benchmark::kMicrosecond);

// Login and logout, as each run does once per server.
void BM_OpenAndCloseCentral(benchmark::State& state) {
    standin::Server local(testing::LocalFiguresScript());
    standin::Server central(testing::CentralScript());
    Components form(local, central);
    for (auto _ : state) {
        form.gateway.OpenCentral();
        form.gateway.CloseCentral();
    }
}
BENCHMARK(BM_OpenAndCloseCentral)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
