/* launch_shown.exe SHOW_COMMAND PROGRAM: starts PROGRAM the way a shortcut
   or a scheduler does, with STARTUPINFO asking for SHOW_COMMAND (an SW_
   number), waits for it and returns its exit code. Wine's own start.exe
   only knows /min and /max, and /min is not SW_SHOWMINNOACTIVE. */
#include <windows.h>

#include <stdlib.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 120;
    STARTUPINFOW startup = {0};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = (WORD)_wtoi(argv[1]);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(argv[2], NULL, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return 121;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 122;
    GetExitCodeProcess(process.hProcess, &code);
    return (int)code;
}
