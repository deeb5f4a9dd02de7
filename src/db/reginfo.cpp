#include "db/reginfo.h"

#include "text/errors.h"
#include "text/text_codec.h"

#include <fstream>
#include <iterator>
#include <sstream>

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

std::string ReadRegInfoText(std::istream& in) {
    char mark[2] = {};
    in.read(mark, 2);
    if (in.bad()) return {};
    const std::string_view start(mark, static_cast<std::size_t>(in.gcount()));
    if (start == "\xFF\xFE" || start == "\xFE\xFF") {
        // In UTF-16 a line end is two bytes: decode the file first, then
        // look for the line's end among the characters.
        std::string bytes(start);
        bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::istringstream text(FileTextToUtf8(bytes));
        return ReadFirstLine(text);
    }
    in.clear(in.rdstate() & std::ios::badbit);
    in.seekg(0);
    // A UTF-8 byte-order mark stays on the line: it tells FileTextToUtf8
    // that the file is UTF-8, not ANSI.
    return FileTextToUtf8(ReadFirstLine(in));
}

std::string ReadRegInfoLine(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw UserError("Cannot open file \"" + path + "\"");
    std::string line;
    try {
        // libstdc++ throws from the iterator when a read fails.
        line = ReadRegInfoText(file);
    } catch (const std::exception&) {
        file.setstate(std::ios::badbit);
    }
    if (file.bad()) throw UserError("Cannot read file \"" + path + "\"");
    return line;
}

} // namespace parktotals
