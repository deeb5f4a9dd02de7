#include "text/text_codec.h"

// Files on Linux are UTF-8 already, unless saved as UTF-16 with a mark.
namespace parktotals {

std::string FileTextToUtf8(std::string_view file_bytes) {
    std::string utf8;
    if (DecodeUtf16File(file_bytes, utf8)) return utf8;
    DropUtf8Bom(file_bytes);
    return std::string(file_bytes);
}
std::string Utf8ToFileText(std::string_view utf8) { return std::string(utf8); }

} // namespace parktotals
