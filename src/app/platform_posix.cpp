#include "app/shells.h"

#include <X11/Xlib.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace parktotals {
namespace {

StopFlag* g_stop = nullptr;

// Only sets the flag (one lock-free atomic): nothing else is safe here.
extern "C" void OnStopSignal(int number) {
    if (g_stop != nullptr) g_stop->Request(StopCause::Signal, number);
}

} // namespace

void CatchStopSignals(StopFlag& flag) {
    g_stop = &flag;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A statement under way goes on (SA_RESTART); the handler is used once,
    // so that a second signal has its default effect and ends the process.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

bool DisplayAvailable() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return false;
    // FLTK ends the process when it cannot open the display, so ask first.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
}

std::string ExecutablePath() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/') + 1); }

} // namespace parktotals
