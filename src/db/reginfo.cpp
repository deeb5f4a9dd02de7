#include "db/reginfo.h"

#include "text/errors.h"
#include "text/message_table.h"
#include "text/text_codec.h"

#include <algorithm>
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

std::string ReplaceRegInfoLine(std::string_view file_bytes, std::string_view line) {
    if (file_bytes.empty()) file_bytes = "\r\n";
    const std::string_view mark = file_bytes.substr(0, 2);
    if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
        const bool big_endian = mark == "\xFE\xFF";
        const auto unit = [&](std::size_t at) {
            const auto first = static_cast<unsigned char>(file_bytes[at]);
            const auto second = static_cast<unsigned char>(file_bytes[at + 1]);
            return big_endian ? first << 8 | second : second << 8 | first;
        };
        std::size_t end = 2;
        while (end + 1 < file_bytes.size() && unit(end) != '\n' && unit(end) != 0x1A) end += 2;
        if (end + 1 >= file_bytes.size()) end = file_bytes.size();
        // The CR of a CR LF stays with the line end.
        else if (end >= 4 && unit(end) == '\n' && unit(end - 2) == '\r') end -= 2;
        return EncodeUtf16File(line, big_endian) + std::string(file_bytes.substr(end));
    }

    std::string_view text = file_bytes;
    const bool utf8_mark = DropUtf8Bom(text);
    std::size_t end = std::min(text.find_first_of("\n\x1A"), text.size());
    if (end > 0 && end < text.size() && text[end] == '\n' && text[end - 1] == '\r') --end;
    const std::string_view rest = text.substr(end);
    if (utf8_mark) return "\xEF\xBB\xBF" + std::string(line) + std::string(rest);
    const std::string encoded = Utf8ToFileText(line);
    if (FileTextToUtf8(encoded) == line) return encoded + std::string(rest);
    // The code page has no character for part of the line: as the installer
    // has always done then, the file becomes UTF-16.
    return EncodeUtf16File(std::string(line) + FileTextToUtf8(rest), false);
}

std::string ReadRegInfoLine(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw UserError(Say(msg::kCannotOpenFile, {path}));
    std::string line;
    try {
        // libstdc++ throws from the iterator when a read fails.
        line = ReadRegInfoText(file);
    } catch (const std::exception&) {
        file.setstate(std::ios::badbit);
    }
    if (file.bad()) throw UserError(Say(msg::kCannotReadFile, {path}));
    return line;
}

} // namespace parktotals
