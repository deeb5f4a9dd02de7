#include "app/shells.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <filesystem>

namespace parktotals {

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
