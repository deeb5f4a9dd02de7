#pragma once

// A virtual display for window tests, with no window manager, and the X
// tools that look at it. Every tool is taken from PATH.

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/wait.h"

namespace parktotals::testing {

// Sends the window WM_DELETE_WINDOW, as a window manager's close box does
// (tests/e2e/x11_close.cpp; there is no window manager here to do it).
bool AskWindowToClose(const std::string& display, unsigned long window);

class Xvfb {
public:
    // The tools it needs that are not on PATH, separated by blanks; "" when
    // it has all of them.
    static std::string MissingTools() {
        std::string missing;
        for (const char* tool : {"Xvfb", "xdotool", "xwininfo", "import"})
            if (FindOnPath(tool).empty()) missing += std::string(missing.empty() ? "" : " ") + tool;
        return missing;
    }

    // Xvfb picks a free display itself (-displayfd) and says which.
    // -noreset: by default an X server resets whenever its last client
    // leaves, and drops connections that arrive meanwhile. Each xdotool
    // call below is such a client, so a program starting at the same moment
    // could find no display, and run headless or fail.
    Xvfb()
        : server_({FindOnPath("Xvfb"), "-displayfd", "1", "-noreset", "-screen", "0", "1600x1000x24", "-nolisten",
                   "tcp"},
                  ProcessOptions{}) {
        WaitUntil([this] {
            const std::string out = server_.Stdout();
            if (!out.empty() && out.back() == '\n') {
                display_ = ":" + out.substr(0, out.size() - 1);
                return true;
            }
            return !server_.Running();
        });
    }
    // A killed Xvfb leaves its socket and lock file behind; a terminated
    // one cleans up.
    ~Xvfb() {
        server_.Signal(SIGTERM);
        server_.Wait(kGenerousTimeout);
    }
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }
    std::string Errors() const { return server_.Stderr(); }

    // Runs an X tool from PATH on this display.
    ProcessResult Run(std::vector<std::string> argv) const {
        ProcessOptions o;
        o.environment["DISPLAY"] = display_;
        argv.front() = FindOnPath(argv.front());
        return RunProcess(argv, o, kGenerousTimeout);
    }

    // xwininfo's report on the first window with this exact name, or "".
    std::string WindowInfo(const std::string& name) const {
        const ProcessResult found = Run({"xdotool", "search", "--name", "^" + name + "$"});
        if (found.exit_code != 0 || found.out.empty()) return "";
        return Run({"xwininfo", "-id", found.out.substr(0, found.out.find('\n'))}).out;
    }

    // The report once the window is there, or "" when `timeout` passed first.
    std::string WaitForWindow(const std::string& name, std::chrono::milliseconds timeout = kGenerousTimeout) const {
        std::string info;
        WaitUntil([&] { return !(info = WindowInfo(name)).empty(); }, timeout, std::chrono::milliseconds(50));
        return info;
    }

    // Asks the first window with this exact name to close; false when there
    // is none or the request could not be sent.
    bool CloseWindow(const std::string& name) const {
        const ProcessResult found = Run({"xdotool", "search", "--name", "^" + name + "$"});
        if (found.exit_code != 0 || found.out.empty()) return false;
        return AskWindowToClose(display_, std::stoul(found.out.substr(0, found.out.find('\n'))));
    }

    // True once no window has this name, false when `timeout` passed first.
    bool WaitForNoWindow(const std::string& name, std::chrono::milliseconds timeout = kGenerousTimeout) const {
        return WaitUntil([&] { return WindowInfo(name).empty(); }, timeout, std::chrono::milliseconds(50));
    }

private:
    std::string display_;
    ChildProcess server_;
};

} // namespace parktotals::testing
