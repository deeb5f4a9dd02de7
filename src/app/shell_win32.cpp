#include "app/application.h"
#include "app/shells.h"
#include "text/message_table.h"
#include "text/text_codec_win32.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <stdexcept>

// The Windows window: a dialog frame, a small caption and a strip of the memo
// under it. Sizes are the design's, for 96 dpi; the manifest declares no DPI
// awareness, so Windows scales the whole window on denser screens.
namespace parktotals {
namespace {

constexpr wchar_t kClassName[] = L"Tformmaindalventis";
constexpr wchar_t kCaption[] = L"formmaindalventis";
constexpr int kLeft = 1213, kTop = 437, kClientWidth = 116, kClientHeight = 9;
constexpr int kMemoLeft = 16, kMemoTop = 0, kMemoWidth = 185, kMemoHeight = 89;
// "MS Sans Serif" at 8 points is 11 pixels high at 96 dpi.
constexpr int kFontHeight = -11;
constexpr int kIconId = 1; // res/parktotals.rc
constexpr int kMemoId = 100;
constexpr UINT_PTR kTimer1Id = 1;

// A dialog frame without system menu: no icon, close, minimise or maximise
// box, and no sizing border. WS_POPUP rather than an overlapped window, so
// Windows does not stretch the tiny frame to its minimum tracking width.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
// Word wrap: no ES_AUTOHSCROLL and no scroll bars.
constexpr DWORD kMemoStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;

class Win32Shell : public Shell, public Memo::View {
public:
    explicit Win32Shell(HINSTANCE instance) : instance_(instance) {}
    Win32Shell(const Win32Shell&) = delete;
    Win32Shell& operator=(const Win32Shell&) = delete;

    ~Win32Shell() override {
        // The window goes first: its memo uses the font until it is destroyed.
        if (window_ != nullptr) DestroyWindow(window_);
        if (font_ != nullptr) DeleteObject(font_);
        UnregisterClassW(kClassName, instance_);
    }

    // Builds the window with its memo and arms Timer1; the window stays
    // hidden until Show.
    void Create(Application& app, Tformmaindalventis& form) {
        app_ = &app;
        form_ = &form;

        font_ = CreateFontW(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                            L"MS Sans Serif");

        WNDCLASSEXW window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = WindowProc;
        window_class.hInstance = instance_;
        window_class.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(kIconId));
        window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        window_class.lpszClassName = kClassName;
        if (RegisterClassExW(&window_class) == 0) throw std::runtime_error(Say(msg::kCannotRegisterWindowClass));

        RECT frame{0, 0, kClientWidth, kClientHeight};
        AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
        // The window procedure picks `this` up from WM_NCCREATE and sets window_.
        CreateWindowExW(kExStyle, kClassName, kCaption, kStyle, kLeft, kTop, frame.right - frame.left,
                        frame.bottom - frame.top, nullptr, nullptr, instance_, this);
        if (window_ == nullptr) throw std::runtime_error(Say(msg::kCannotCreateMainWindow));

        // Lines in an EDIT control are separated by CR LF; the last has none.
        const std::wstring memo_text = Utf8ToWide(JoinLines(form.Memo1.Lines(), "\r\n"));
        memo_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", memo_text.c_str(), kMemoStyle, kMemoLeft, kMemoTop,
                                kMemoWidth, kMemoHeight, window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kMemoId)), instance_, nullptr);
        if (memo_ == nullptr) throw std::runtime_error(Say(msg::kCannotCreateMemo));
        SendMessageW(memo_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        form.Memo1.SetView(this);

        // Armed while the window is built, before FormCreate: the tick comes
        // 500 ms from here, or at once when start-up took longer.
        SetTimer(window_, kTimer1Id, static_cast<UINT>(form.Timer1.interval_ms), nullptr);
    }

    // The start-up show request: maximised, minimised without activation, or
    // else a normal window.
    void Show(int show_command) {
        const int command = show_command == SW_SHOWMAXIMIZED || show_command == SW_SHOWMINNOACTIVE
                                ? show_command
                                : SW_SHOWNORMAL;
        ShowWindow(window_, command);
        // Windows may swap the first SW_SHOWNORMAL of a process's main window
        // for the STARTUPINFO's show command (SW_HIDE, SW_MINIMIZE ...); Wine
        // 8 does not. Every request but the two above means a normal window,
        // so ask again.
        if (command == SW_SHOWNORMAL && (!IsWindowVisible(window_) || IsIconic(window_) || IsZoomed(window_)))
            ShowWindow(window_, SW_SHOWNORMAL);
        UpdateWindow(window_);
    }

    void CloseForm() override {
        if (window_ != nullptr) DestroyWindow(window_);
    }

    // Pumps the window's messages until the deadline, so that it is painted
    // and can be moved meanwhile. The window destroyed, the quit posted, or
    // a stop asked for (the session ending, the console closed) ends the
    // wait and the run; the quit is posted again for the main loop. A stop
    // from the console's thread does not wake the loop: it looks at the
    // flag every tenth of a second.
    bool Pause(std::chrono::seconds wait) override {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait.count()) * 1000;
        for (;;) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
                if (message.message == WM_QUIT) {
                    PostQuitMessage(static_cast<int>(message.wParam));
                    stop_.Request(StopCause::WindowClosed);
                    return false;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            if (window_ == nullptr) stop_.Request(StopCause::WindowClosed);
            if (stop_.Requested()) return false;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return true;
            MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 100)),
                                        QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }

    void ShowErrorBox(const std::string& caption, const std::string& text) override {
        // The report is written before the box, which may wait all night.
        writing_ = false;
        // After a run whose report could not be written the window is gone
        // and the quit already posted, which would end the box's own message
        // loop at once: held back until the box has been dismissed.
        MSG quit;
        const bool quitting = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
        MessageBoxW(window_, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), MB_ICONSTOP | MB_OK);
        if (quitting) PostQuitMessage(static_cast<int>(quit.wParam));
    }

    void MemoCleared() override {
        if (memo_ != nullptr) SetWindowTextW(memo_, L"");
    }

    void MemoLineAppended(const std::string& line) override {
        if (memo_ == nullptr) return;
        // Lines in an EDIT control are separated by CR LF; the last has none.
        const int end = GetWindowTextLengthW(memo_);
        const std::wstring text = (end > 0 ? L"\r\n" : L"") + Utf8ToWide(line);
        SendMessageW(memo_, EM_SETSEL, end, end);
        SendMessageW(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }

private:
    // Windows calls this from its own C frames, which no exception may cross.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
        if (message == WM_NCCREATE) {
            auto* self = static_cast<Win32Shell*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
            self->window_ = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<Win32Shell*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        // Messages before WM_NCCREATE (WM_GETMINMAXINFO) find no object yet.
        if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
        try {
            return self->HandleMessage(message, wparam, lparam);
        } catch (...) {
            // Only showing the job's error can fail here (out of memory); the
            // exit code still says the run aborted.
            return 0;
        }
    }

    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
        const HWND window = window_;
        switch (message) {
        case WM_TIMER:
            if (wparam != kTimer1Id) break;
            // One tick only; the job may run for seconds and show a modal box,
            // whose message loop must not deliver another.
            KillTimer(window, kTimer1Id);
            writing_ = true;
            app_->DeliverTimerTick(*form_);
            writing_ = false;
            return 0;
        case WM_QUERYENDSESSION:
            // Shutdown or log-off: the run stops at its next step and ends
            // as every run does. Windows may end the process as soon as the
            // session ends, so while the run still has its files to write
            // the session is asked to wait, with the reason; Windows goes
            // on once the program has ended.
            stop_.Request(StopCause::SessionEnding);
            if (!writing_) return TRUE;
            ShutdownBlockReasonCreate(window, Utf8ToWide(Say(msg::kSessionWaitsForFiles)).c_str());
            return FALSE;
        case WM_ENDSESSION:
            if (wparam != FALSE) stop_.Request(StopCause::SessionEnding);
            return 0;
        case WM_SETFOCUS:
            // Memo1 is first in the tab order.
            if (memo_ != nullptr) SetFocus(memo_);
            return 0;
        case WM_DESTROY:
            // Also when the window is closed from outside before the first
            // tick: the timer goes with it and the job never runs.
            KillTimer(window, kTimer1Id);
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            window_ = nullptr;
            memo_ = nullptr;
            break;
        }
        return DefWindowProcW(window, message, wparam, lparam);
    }

    HINSTANCE instance_;
    HFONT font_ = nullptr;
    HWND window_ = nullptr;
    HWND memo_ = nullptr;
    Application* app_ = nullptr;
    Tformmaindalventis* form_ = nullptr;
    // From the tick until the run's files are written.
    bool writing_ = false;
};

StopFlag* g_stop = nullptr;
HANDLE g_run_ended = nullptr;

// Called on a thread of its own when the program has a console (started
// from one, or given one) and it is interrupted or closed.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (g_stop == nullptr) return FALSE;
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        g_stop->Request(StopCause::Signal, SIGINT);
        return TRUE;
    case CTRL_CLOSE_EVENT:
        g_stop->Request(StopCause::ConsoleClosed);
        break;
    default: // log-off, shutdown
        g_stop->Request(StopCause::SessionEnding);
        break;
    }
    // Windows ends the process as soon as this returns: hold it for the
    // few seconds Windows allows, until the run has written its files.
    if (g_run_ended != nullptr) WaitForSingleObject(g_run_ended, 5000);
    return TRUE;
}

} // namespace

int RunWin32Shell(const std::string& title, FormSettings settings, int show_command) {
    // Visual styles for the memo and the frame (with the manifest's common
    // controls 6).
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // Destroyed in reverse: the form first (closing its connections), then
    // the application, then the shell with the window, if still there, and
    // its font.
    Win32Shell shell(GetModuleHandleW(nullptr));
    Application app(shell, title);
    Tformmaindalventis form(shell, std::move(settings));

    g_stop = &shell.Stop();
    g_run_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);

    shell.Create(app, form);
    form.FormCreate();
    shell.Show(show_command);

    // Until the window is destroyed: by the form after the job, or from outside.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    const int exit_code = app.ExitCode(form);
    if (g_run_ended != nullptr) SetEvent(g_run_ended);
    return exit_code;
}

} // namespace parktotals
