// RegInfo.INI's first line: whatever the file holds, the line carries no line
// end, and it is the file's own bytes up to the first LF or Ctrl-Z, less CRs.
// Saved as UTF-16 (either byte order, with its mark) the same text gives the
// same line as saved as UTF-8.

#include "db/reginfo.h"
#include "fuzz_check.h"
#include "support/utf16_files.h"
#include "text/utf16.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

namespace {

using parktotals::testing::Utf16File;

std::string RegInfoText(const std::string& bytes) {
    std::istringstream in(bytes);
    return parktotals::ReadRegInfoText(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    std::istringstream in(file);
    const std::string line = parktotals::ReadFirstLine(in);

    FUZZ_CHECK(line.find_first_of("\r\n\x1A") == std::string::npos);

    std::string expected;
    for (const char c : file.substr(0, file.find_first_of("\n\x1A")))
        if (c != '\r') expected += c;
    FUZZ_CHECK(line == expected);

    // Any bytes, a UTF-16 mark in front or not.
    FUZZ_CHECK(RegInfoText(file).find_first_of("\r\n\x1A") == std::string::npos);

    // The input as text (invalid UTF-8 as U+FFFD), in each encoding.
    const std::string text = parktotals::Utf16ToUtf8(parktotals::Utf8ToUtf16(file));
    const std::string as_utf8 = RegInfoText("\xEF\xBB\xBF" + text);
    FUZZ_CHECK(RegInfoText(Utf16File(text, false)) == as_utf8);
    FUZZ_CHECK(RegInfoText(Utf16File(text, true)) == as_utf8);
    return 0;
}
