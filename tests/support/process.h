#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "support/wait.h"

namespace parktotals::testing {

struct ProcessOptions {
    std::string working_directory;                    // empty: the test's own
    std::map<std::string, std::optional<std::string>> environment; // nullopt removes a variable
    std::string input;                                // standard input
};

// A child process whose stdout and stderr are collected into files.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options);
    ~ChildProcess(); // kills the child if it is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Waits up to `timeout`; the exit code, or nullopt if still running.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    bool Running();
    void Signal(int signal);
    void Kill();
    std::string Stdout() const;
    std::string Stderr() const;

private:
    pid_t pid_ = -1;
    std::optional<int> exit_code_;
    std::string in_path_, out_path_, err_path_;
};

struct ProcessResult {
    std::optional<int> exit_code; // nullopt: timed out and was killed
    std::string out, err;
};

// The full path of the program `name` as the shell would find it on PATH,
// or "" when there is none. Tests run tools by this path, and skip saying
// which tool is missing when it is "".
std::string FindOnPath(const std::string& name);

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {},
                         std::chrono::milliseconds timeout = kGenerousTimeout);

} // namespace parktotals::testing
