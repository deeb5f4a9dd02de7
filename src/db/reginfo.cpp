#include "db/reginfo.h"

#include "db/errors.h"
#include "db/text_codec.h"

#include <fstream>

namespace parktotals {

std::string ReadFirstLine(std::istream& in) {
    std::string line;
    std::istreambuf_iterator<char> it(in), end;

    static constexpr unsigned char kBom[] = {0xEF, 0xBB, 0xBF};
    std::size_t matched = 0;
    while (it != end && matched < 3 && static_cast<unsigned char>(*it) == kBom[matched]) {
        line += *it++;
        ++matched;
    }
    if (matched == 3) line.clear();

    for (; it != end; ++it) {
        const char c = *it;
        if (c == '\n' || c == '\x1A') return line;
        // The CR of a CR LF goes with the line end; a lone CR is dropped.
        if (c != '\r') line += c;
    }
    return line;
}

std::string ReadRegInfoLine(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw UserError("Cannot open file \"" + path + "\"");
    std::string line;
    try {
        // libstdc++ throws from the iterator when a read fails.
        line = ReadFirstLine(file);
    } catch (const std::exception&) {
        file.setstate(std::ios::badbit);
    }
    if (file.bad()) throw UserError("Cannot read file \"" + path + "\"");
    return FileTextToUtf8(line);
}

} // namespace parktotals
