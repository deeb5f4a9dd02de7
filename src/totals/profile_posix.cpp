#include "totals/profile.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace parktotals {

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::string(fallback);
    std::string text;
    try {
        // libstdc++ throws from the iterator when a read fails (a folder of
        // that name, an I/O error); an unreadable file counts as missing.
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        return std::string(fallback);
    }
    if (file.bad()) return std::string(fallback);
    return ProfileValue(text, section, key, fallback);
}

bool IsProfileFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace parktotals
