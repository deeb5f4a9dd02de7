#pragma once

#include "app/form.h"

#include <string>

// The platform shells. Each builds the window (or none), runs one run of the
// form and returns the process's exit code.
namespace parktotals {

int RunFltkShell(const std::string& title, FormSettings settings);
int RunHeadlessShell(const std::string& title, FormSettings settings);
// `show_command` is WinMain's: SW_SHOWMAXIMIZED, SW_SHOWMINNOACTIVE or another.
int RunWin32Shell(const std::string& title, FormSettings settings, int show_command);

// POSIX: SIGTERM, SIGINT and SIGHUP (the service stopped, the machine
// shutting down, Ctrl+C, the terminal closed) become a stop request on
// `flag`, which the run's waits and the job notice; a second one ends the
// process at once.
void CatchStopSignals(StopFlag& flag);

// Whether a graphical display can be opened (X11 on Linux; always on Windows).
bool DisplayAvailable();

// The full path of the running executable.
std::string ExecutablePath();
// The folder part of a path with its final separator; empty when the path
// has no folder.
std::string FolderOf(const std::string& path);

} // namespace parktotals
