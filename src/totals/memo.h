#pragma once

#include <string>
#include <vector>

namespace parktotals {

// Where the job logs the statements the central server accepted: the
// window's memo, or a plain list when there is no window.
class MemoSink {
public:
    virtual ~MemoSink() = default;
    virtual void Clear() = 0;
    virtual void AppendLine(const std::string& line) = 0;
    virtual std::vector<std::string> Lines() const = 0;
};

class MemoLines : public MemoSink {
public:
    void Clear() override { lines_.clear(); }
    void AppendLine(const std::string& line) override { lines_.push_back(line); }
    std::vector<std::string> Lines() const override { return lines_; }

private:
    std::vector<std::string> lines_;
};

// The memo's text as saved: every line followed by CR LF, the last one too;
// no lines give the empty text.
std::string MemoText(const std::vector<std::string>& lines);

} // namespace parktotals
