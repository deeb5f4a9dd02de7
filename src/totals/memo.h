#pragma once

#include <string>
#include <utility>
#include <vector>

namespace parktotals {

// The statements the central server accepted, as the job logs them; these
// lines are what memo1.txt gets. A window that shows them is the memo's view.
class Memo {
public:
    struct View {
        virtual ~View() = default;
        virtual void MemoCleared() = 0;
        virtual void MemoLineAppended(const std::string& line) = 0;
    };

    Memo() = default;
    explicit Memo(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    void SetView(View* view) { view_ = view; }
    void Clear();
    // The line is kept before the view hears of it, so a view that fails
    // cannot lose it from memo1.txt.
    void AppendLine(const std::string& line);
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    View* view_ = nullptr;
};

// The memo's text as saved: every line followed by CR LF, the last one too;
// no lines give the empty text.
std::string MemoText(const std::vector<std::string>& lines);

// Saves the memo's lines to `path` in the machine's file encoding with no
// byte-order mark, replaced whole (ReplaceWholeFile), so that the file always
// holds one run's text whole. Throws FileWriteError.
void SaveMemoFile(const std::string& path, const std::vector<std::string>& lines);

} // namespace parktotals
