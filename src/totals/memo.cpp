#include "totals/memo.h"

#include "files/whole_file.h"
#include "text/text_codec.h"

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

void SaveMemoFile(const std::string& path, const std::vector<std::string>& lines) {
    ReplaceWholeFile(path, Utf8ToFileText(MemoText(lines)));
}

} // namespace parktotals
