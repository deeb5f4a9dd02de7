#include "totals/memo.h"

namespace parktotals {

std::string MemoText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

} // namespace parktotals
