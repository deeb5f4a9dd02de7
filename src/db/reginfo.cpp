#include "db/reginfo.h"

#include "text/errors.h"
#include "text/text_codec.h"

#include <fstream>

namespace parktotals {

std::string ReadFirstLine(std::istream& in) {
    std::string line;
    std::istreambuf_iterator<char> it(in), end;
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
    // A byte-order mark stays on the line: it tells FileTextToUtf8 that the
    // file is UTF-8, not ANSI.
    return FileTextToUtf8(line);
}

} // namespace parktotals
