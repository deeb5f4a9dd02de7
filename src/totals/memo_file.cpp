#include "totals/memo_file.h"

#include "text/text_codec.h"
#include "totals/memo.h"

namespace parktotals {

void SaveMemoFile(const std::string& path, const std::vector<std::string>& lines) {
    WriteNewFile(path, Utf8ToFileText(MemoText(lines)));
}

} // namespace parktotals
