#include "support/process.h"

#include "support/temp_dir.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace parktotals::testing {
namespace {

std::string TempFile(const char* tag) {
    std::string pattern = (std::filesystem::temp_directory_path() / "parktotals-").string() + tag + "-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot make a file like " + pattern);
    close(fd);
    return pattern;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
    : in_path_(TempFile("in")), out_path_(TempFile("out")), err_path_(TempFile("err")) {
    std::ofstream(in_path_, std::ios::binary) << options.input;
    // Everything is prepared before fork: the test may run server threads,
    // and the child may only make async-signal-safe calls until exec.
    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::size_t eq = entry.find('=');
        if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : options.environment) {
        if (value) env[name] = *value;
        else env.erase(name);
    }
    std::vector<std::string> env_entries;
    for (const auto& [name, value] : env) env_entries.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (std::string& e : env_entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv_copy = argv;
    for (std::string& a : argv_copy) args.push_back(a.data());
    args.push_back(nullptr);
    const char* cwd = options.working_directory.empty() ? nullptr : options.working_directory.c_str();

    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int out = open(out_path_.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_path_.c_str(), O_WRONLY | O_TRUNC);
        const int in = open(in_path_.c_str(), O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (cwd != nullptr && chdir(cwd) != 0) _exit(126);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    Kill();
    std::remove(in_path_.c_str());
    std::remove(out_path_.c_str());
    std::remove(err_path_.c_str());
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exit_code_) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return exit_code_;
}

bool ChildProcess::Running() { return !Wait(std::chrono::milliseconds(0)); }

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && Running()) ::kill(pid_, signal);
}

void ChildProcess::Kill() {
    if (pid_ > 0 && Running()) {
        ::kill(pid_, SIGKILL);
        Wait(kGenerousTimeout);
    }
}

std::string ChildProcess::Stdout() const { return ReadBytes(out_path_); }
std::string ChildProcess::Stderr() const { return ReadBytes(err_path_); }

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (name.empty() || name.find('/') != std::string::npos || path == nullptr) return "";
    std::string_view rest = path;
    for (;;) {
        const std::size_t colon = rest.find(':');
        // An empty entry means the working directory, as for the shell.
        const std::string dir(rest.substr(0, colon).empty() ? "." : rest.substr(0, colon));
        const std::filesystem::path candidate = std::filesystem::path(dir) / name;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0)
            return std::filesystem::absolute(candidate, error).string();
        if (colon == std::string_view::npos) return "";
        rest.remove_prefix(colon + 1);
    }
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options,
                         std::chrono::milliseconds timeout) {
    ChildProcess child(argv, options);
    ProcessResult result;
    result.exit_code = child.Wait(timeout);
    child.Kill();
    result.out = child.Stdout();
    result.err = child.Stderr();
    return result;
}

} // namespace parktotals::testing
