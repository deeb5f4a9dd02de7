#include "app/app_title.h"
#include "app/built_program.h"
#include "app/shells.h"
#include "text/message_table.h"
#include "text/text_codec_win32.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <exception>
#include <vector>

namespace {

// The arguments after the program's name, split by Windows' own rules.
std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(parktotals::WideToUtf8(list[i]));
    LocalFree(list);
    return arguments;
}

} // namespace

// Without arguments (the way the scheduled task starts it) the program runs
// to its end by itself; it reads no environment variables of its own. The
// options are in command_line.h; a line it cannot take is refused in the
// error box before anything is connected or written. The installer's
// options show no window. Built with -municode, so the entry point is
// wWinMain.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
    using namespace parktotals;
    const std::string exe = ExecutablePath();
    const std::string title = ApplicationTitle(exe.empty() ? "parktotals" : exe);
    const ProgramFacts facts = BuiltProgramFacts(exe, "parktotals.exe", 0);
    // A GUI program has no console to print on.
    ProgramStart start = StartProgram(Arguments(), facts, [&](const std::string& text, bool error) {
        MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(title).c_str(),
                    (error ? MB_ICONSTOP : MB_ICONINFORMATION) | MB_OK);
    });
    if (start.exit_code) return *start.exit_code;

    // The database client expects COM on this thread, as a single-threaded
    // apartment. Uninitialised only after the shell has torn the window and
    // the form (with its connections) down.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exit_code = 1;
    try {
        exit_code = RunWin32Shell(title, std::move(start.settings), show_command);
    } catch (const std::exception& e) {
        // Only building the window can get here; the job's errors are shown
        // by the application.
        MessageBoxW(nullptr, Utf8ToWide(ErrorBoxText(e.what())).c_str(), Utf8ToWide(title).c_str(),
                    MB_ICONSTOP | MB_OK);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exit_code;
}
