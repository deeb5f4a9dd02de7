#include "app/application.h"
#include "app/shells.h"
#include "text/errors.h"

#include <chrono>
#include <iostream>
#include <thread>

// A run without a window, for machines with no display (cron, servers): the
// memo goes to stdout line by line, an error to stderr, and the process ends
// at once instead of waiting for someone to dismiss a box.
namespace parktotals {
namespace {

class HeadlessShell : public Shell, public Memo::View {
public:
    void CloseForm() override {}
    void ShowErrorBox(const std::string& caption, const std::string& text) override { Print(caption, text); }
    void Notice(const std::string& caption, const std::string& text) override { Print(caption, text); }
    bool PrintsNotices() const override { return true; }
    void MemoCleared() override {}
    void MemoLineAppended(const std::string& line) override { std::cout << line << std::endl; }

private:
    // A server's words may hold line breaks and terminal escapes: one line
    // each, escaped.
    static void Print(const std::string& caption, const std::string& text) {
        std::cerr << OneLine(caption + ": " + text) << std::endl;
    }
};

} // namespace

int RunHeadlessShell(const std::string& title, FormSettings settings) {
    HeadlessShell shell;
    CatchStopSignals(shell.Stop());
    Application app(shell, title);
    Tformmaindalventis form(shell, std::move(settings));
    form.Memo1.SetView(&shell);

    // The timer is armed while the form is built; a slow start-up only
    // shortens the wait.
    const auto armed = std::chrono::steady_clock::now();
    form.FormCreate();
    std::this_thread::sleep_until(armed + std::chrono::milliseconds(form.Timer1.interval_ms));
    app.DeliverTimerTick(form);
    return app.ExitCode(form);
}

} // namespace parktotals
