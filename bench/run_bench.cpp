// Whole runs of the Linux program, headless, against a local and a central
// stand-in on loopback, the way a scheduler starts it in a car park's
// folder. Reports the median wall time, the part of it beyond the built-in
// start delay, and the peak resident memory (ru_maxrss from wait4, the same
// figure GNU time's -v reports).
//
//   parktotals_run_bench [--runs N] [--time-v] [--silent-local]
//
// --time-v: one more run under GNU time -v (`time` on PATH), to show its
// own figures.
// --silent-local: the local server accepts connections but never answers;
// one run, which takes one login time-out per connection attempt.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "standin/standin.h"
#include "support/standin_scripts.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

constexpr double kStartDelayMs = 500;  // the form's timer

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// A car park's folder: RegInfo.INI in the working directory, the program
// with weixinconfig.ini in bin/.
class ParkFolder {
public:
    ParkFolder(const std::string& program, std::uint16_t local_port) {
        std::string pattern = (fs::temp_directory_path() / "parktotals-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a folder like " + pattern + ": " + std::strerror(errno));
        root_ = pattern;
        fs::create_directory(root_ / "bin");
        fs::copy_file(program, root_ / "bin" / "parktotals");
        Write("RegInfo.INI", "Provider=SQLOLEDB.1;Password=pw;Persist Security Info=True;User ID=sa;"
                             "Initial Catalog=parking;Data Source=127.0.0.1," +
                                 std::to_string(local_port) + "\r\n");
        Write("bin/weixinconfig.ini", "[code]\r\njov_park_id=208\r\n");
    }
    ~ParkFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const fs::path& root() const { return root_; }

private:
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(root_ / name, std::ios::binary) << bytes;
    }
    fs::path root_;
};

struct RunResult {
    int exit_code = -1;
    double wall_ms = 0;
    long max_rss_kib = 0;
};

// Starts the program with no DISPLAY (headless), under `wrapper` when
// given, and waits for it.
RunResult RunProgram(const ParkFolder& folder, std::vector<std::string> wrapper = {}) {
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env_strings.emplace_back(*e);
    std::vector<char*> env;
    for (std::string& s : env_strings) env.push_back(s.data());
    env.push_back(nullptr);

    const std::string program = (folder.root() / "bin" / "parktotals").string();
    const std::string out = (folder.root() / "output.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.root().c_str());
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    wrapper.push_back(program);
    std::vector<char*> argv;
    for (std::string& arg : wrapper) argv.push_back(arg.data());
    argv.push_back(nullptr);

    RunResult result;
    pid_t pid = -1;
    const auto started = Clock::now();
    // spawnp: a wrapper is looked up on PATH; the program's own path has a '/'.
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + wrapper.front() + ": " + std::strerror(error));
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.wall_ms = Ms(Clock::now() - started).count();
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.max_rss_kib = usage.ru_maxrss;
    return result;
}

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int NormalRuns(int runs, bool time_v) {
    parktotals::standin::Server central(
        parktotals::testing::CentralScript(PARKTOTALS_BENCH_USER, PARKTOTALS_BENCH_PASSWORD),
        PARKTOTALS_BENCH_CENTRAL_PORT);
    parktotals::standin::Server local(parktotals::testing::LocalFiguresScript());
    ParkFolder folder(PARKTOTALS_BENCH_PROGRAM, local.port());

    std::printf("load average before: %s\n", LoadAverage().c_str());
    RunProgram(folder);  // warm-up: page cache, dynamic loader
    std::vector<double> wall;
    std::vector<long> rss;
    for (int i = 0; i < runs; ++i) {
        const std::size_t sent_before = central.batches().size();
        const RunResult r = RunProgram(folder);
        // The session's set-up and the five updates.
        const std::size_t sent = central.batches().size() - sent_before;
        if (r.exit_code != 0 || sent != 6) {
            std::fprintf(stderr, "run %d failed: exit code %d, %zu batches (see %s/output.txt)\n", i + 1,
                         r.exit_code, sent, folder.root().c_str());
            return 1;
        }
        wall.push_back(r.wall_ms);
        rss.push_back(r.max_rss_kib);
    }
    std::printf("load average after:  %s\n", LoadAverage().c_str());
    const auto [min_wall, max_wall] = std::minmax_element(wall.begin(), wall.end());
    const auto [min_rss, max_rss] = std::minmax_element(rss.begin(), rss.end());
    std::printf("whole run, Linux, headless, loopback: %d runs after one warm-up\n", runs);
    std::printf("  wall time            median %7.1f ms   (min %.1f, max %.1f)\n", Median(wall), *min_wall,
                *max_wall);
    std::printf("  beyond the 500 ms    median %7.1f ms   (min %.1f, max %.1f)\n", Median(wall) - kStartDelayMs,
                *min_wall - kStartDelayMs, *max_wall - kStartDelayMs);
    std::printf("  peak RSS             median %7.2f MiB  (min %.2f, max %.2f)\n", Median(rss) / 1024.0,
                *min_rss / 1024.0, *max_rss / 1024.0);
    if (time_v) {
        const std::string report = (folder.root() / "time-v.txt").string();
        const RunResult r = RunProgram(folder, {"time", "-v", "-o", report});
        std::printf("one more run under GNU time -v (exit code %d):\n", r.exit_code);
        std::ifstream in(report);
        for (std::string line; std::getline(in, line);)
            if (line.find("Elapsed (wall clock)") != std::string::npos ||
                line.find("Maximum resident set size") != std::string::npos)
                std::printf("  %s\n", line.c_str() + line.find_first_not_of(" \t"));
    }
    return 0;
}

int SilentLocalRun() {
    parktotals::standin::Server central(
        parktotals::testing::CentralScript(PARKTOTALS_BENCH_USER, PARKTOTALS_BENCH_PASSWORD),
        PARKTOTALS_BENCH_CENTRAL_PORT);
    // Accepts connections and never answers; notes when each came.
    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    parktotals::standin::Observer observer;
    observer.connected = [&](int) {
        std::lock_guard lock(mutex);
        arrivals.push_back(Clock::now());
    };
    parktotals::standin::Script silent;
    silent.login_delay = parktotals::standin::Script::kNeverAnswer;
    parktotals::standin::Server local(silent, 0, observer);
    ParkFolder folder(PARKTOTALS_BENCH_PROGRAM, local.port());

    std::printf("load average before: %s\n", LoadAverage().c_str());
    std::printf("local server silent: each connection attempt waits for the login time-out...\n");
    std::fflush(stdout);
    const auto started = Clock::now();
    const RunResult r = RunProgram(folder);
    const auto ended = started + std::chrono::duration_cast<Clock::duration>(Ms(r.wall_ms));
    local.Stop();
    std::printf("load average after:  %s\n", LoadAverage().c_str());
    std::printf("whole run, Linux, headless, local server silent\n");
    std::printf("  exit code            %d (2: figures missing)\n", r.exit_code);
    // Less the session's set-up.
    std::printf("  updates sent         %zu\n", central.batches().size() - 1);
    std::printf("  wall time            %.1f s\n", r.wall_ms / 1000);
    std::printf("  connection attempts  %zu, at", arrivals.size());
    for (const auto& at : arrivals) std::printf(" %.1f", Ms(at - started).count() / 1000);
    std::printf(" s\n");
    // Start-up makes the first attempt; each figure then makes one more.
    if (arrivals.size() >= 2)
        std::printf("  the job (5 figures)  %.1f s, from the first figure's attempt to the end\n",
                    Ms(ended - arrivals[1]).count() / 1000);
    return r.exit_code == 2 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 15;
    bool silent = false;
    bool time_v = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--time-v") {
            time_v = true;
        } else if (arg == "--silent-local") {
            silent = true;
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--time-v] [--silent-local]\n", argv[0]);
            return 2;
        }
    }
    try {
        return silent ? SilentLocalRun() : NormalRuns(runs, time_v);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
}
