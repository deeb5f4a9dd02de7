#include "totals/memo.h"

namespace parktotals {

void Memo::Clear() {
    lines_.clear();
    if (view_) view_->MemoCleared();
}

void Memo::AppendLine(const std::string& line) {
    lines_.push_back(line);
    if (view_) view_->MemoLineAppended(line);
}

std::string MemoText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace parktotals
