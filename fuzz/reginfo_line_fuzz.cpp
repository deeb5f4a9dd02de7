// RegInfo.INI's first line: whatever the file holds, the line carries no line
// end, and it is the file's own bytes up to the first LF or Ctrl-Z, less CRs.

#include "db/reginfo.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    std::istringstream in(file);
    const std::string line = parktotals::ReadFirstLine(in);

    FUZZ_CHECK(line.find_first_of("\r\n\x1A") == std::string::npos);

    std::string expected;
    for (const char c : file.substr(0, file.find_first_of("\n\x1A")))
        if (c != '\r') expected += c;
    FUZZ_CHECK(line == expected);
    return 0;
}
