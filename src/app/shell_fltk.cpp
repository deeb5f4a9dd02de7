#include "app/application.h"
#include "app/shells.h"
#include "text/message_table.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Multiline_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <chrono>

// The Linux window: a small title bar with a strip of the memo under it.
// Sizes are the design's, for a 96 dpi screen.
namespace parktotals {
namespace {

constexpr int kLeft = 1213, kTop = 437, kClientWidth = 116, kClientHeight = 9;
constexpr int kMemoLeft = 16, kMemoTop = 0, kMemoWidth = 185, kMemoHeight = 89;
// "MS Sans Serif" at 8 points is 11 pixels high at 96 dpi.
constexpr int kFontSize = 11;

class FltkShell : public Shell, public Memo::View {
public:
    explicit FltkShell(const char* caption)
        : window_(kLeft, kTop, kClientWidth, kClientHeight, caption),
          memo_(kMemoLeft, kMemoTop, kMemoWidth, kMemoHeight) {
        memo_.textfont(FL_HELVETICA);
        memo_.textsize(kFontSize);
        memo_.wrap(1);
        window_.end();
        // A fixed frame: no resizing, so window managers offer no maximise.
        window_.size_range(kClientWidth, kClientHeight, kClientWidth, kClientHeight);
        window_.callback(OnWindowClose);
    }

    Fl_Window& window() { return window_; }

    // Shows the memo's lines and follows its changes from now on.
    void ShowMemo(Memo& memo) {
        text_ = JoinLines(memo.Lines(), "\n");
        memo_.value(text_.c_str());
        memo.SetView(this);
    }

    void CloseForm() override { window_.hide(); }

    // Runs the event loop until the deadline, so that the window is painted
    // and can be moved meanwhile; closing it, or a stop asked for by a
    // signal, ends the wait and the run. A signal does not wake the loop:
    // it looks at the flag every tenth of a second.
    bool Pause(std::chrono::seconds wait) override {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!stop_.Requested()) {
            if (!window_.shown()) {
                stop_.Request(StopCause::WindowClosed);
                break;
            }
            const std::chrono::duration<double> left = deadline - std::chrono::steady_clock::now();
            if (left.count() <= 0) return true;
            Fl::wait(std::min(left.count(), 0.1));
        }
        return false;
    }

    void ShowErrorBox(const std::string& caption, const std::string& text) override {
        fl_font(FL_HELVETICA, 14);
        int text_w = 0, text_h = 0;
        fl_measure(text.c_str(), text_w, text_h, 0);
        text_w = std::clamp(text_w, 120, 480);
        text_h = 0;
        fl_measure(text.c_str(), text_w, text_h, 0);
        const int w = text_w + 80, h = std::max(text_h, 32) + 70;

        Fl_Window box((Fl::w() - w) / 2, (Fl::h() - h) / 2, w, h, caption.c_str());
        Fl_Box icon(16, 16, 32, 32, "X"); // the stop sign
        icon.box(FL_OVAL_BOX);
        icon.color(FL_RED);
        icon.labelcolor(FL_WHITE);
        icon.labelfont(FL_HELVETICA_BOLD);
        icon.labelsize(18);
        Fl_Box message(60, 16, text_w + 4, std::max(text_h, 32), nullptr);
        message.copy_label(text.c_str());
        message.labelsize(14);
        message.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        const std::string ok_label = Say(msg::kOkButton);
        Fl_Return_Button ok((w - 80) / 2, h - 40, 80, 26, ok_label.c_str());
        ok.callback([](Fl_Widget* button, void*) noexcept { button->window()->hide(); });
        box.end();
        box.set_modal();
        box.show();
        while (box.shown()) Fl::wait();
    }

    void MemoCleared() override {
        text_.clear();
        memo_.value("");
    }

    void MemoLineAppended(const std::string& line) override {
        if (!text_.empty()) text_ += '\n';
        text_ += line;
        memo_.value(text_.c_str());
    }

private:
    static void OnWindowClose(Fl_Widget* widget, void*) noexcept {
        // FLTK closes a window on Escape too; this one only closes for real.
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
        widget->hide();
    }

    Fl_Window window_;
    Fl_Multiline_Input memo_;
    std::string text_;
};

struct TickContext {
    Application* app;
    Tformmaindalventis* form;
};

// FLTK calls back from C frames, which no exception may cross.
void OnTick(void* data) noexcept {
    auto* tick = static_cast<TickContext*>(data);
    try {
        tick->app->DeliverTimerTick(*tick->form);
    } catch (...) {
        // Only showing the job's error can fail here (out of memory); the
        // exit code still says the run aborted.
    }
}

} // namespace

int RunFltkShell(const std::string& title, FormSettings settings) {
    FltkShell shell("formmaindalventis");
    CatchStopSignals(shell.Stop());
    Application app(shell, title);
    Tformmaindalventis form(shell, std::move(settings));
    shell.ShowMemo(form.Memo1);

    // Armed while the window is built, before FormCreate: the tick comes 500 ms
    // from here, or at once when start-up took longer. FLTK timeouts fire once.
    TickContext tick{&app, &form};
    Fl::add_timeout(form.Timer1.interval_ms / 1000.0, OnTick, &tick);

    form.FormCreate();
    shell.window().show();
    Fl::run();
    Fl::remove_timeout(OnTick, &tick); // closed before the first tick
    return app.ExitCode(form);
}

} // namespace parktotals
