#include "files/whole_file.h"

#include "text/ascii.h"
#include "text/message_table.h"
#include "text/text_codec.h"

#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

namespace parktotals {
namespace {

namespace fs = std::filesystem;

// UTF-8 both ways, whatever the machine's code page.
fs::path PathOf(std::string_view utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// The process id in "<of_file>.<process id>.<n>.tmp", or 0 when the name
// is not one of those.
unsigned long LeftoverProcessId(std::string_view name, std::string_view of_file) {
    constexpr std::string_view suffix = ".tmp";
    if (name.size() < of_file.size() + 1 + suffix.size() || name.substr(0, of_file.size()) != of_file ||
        name[of_file.size()] != '.' || name.substr(name.size() - suffix.size()) != suffix)
        return 0;
    const std::string_view middle = name.substr(of_file.size() + 1, name.size() - of_file.size() - 1 - suffix.size());
    const std::size_t dot = middle.find('.');
    if (dot == std::string_view::npos || !AllDigits(middle.substr(0, dot)) || !AllDigits(middle.substr(dot + 1)))
        return 0;
    unsigned long id = 0;
    const auto [end, error] = std::from_chars(middle.data(), middle.data() + dot, id);
    return error == std::errc() ? id : 0;
}

} // namespace

std::optional<std::string> ReadTextFile(const std::string& path, std::string& utf8) {
    std::string bytes;
    if (std::optional<std::string> failure = ReadPlainFile(path, bytes)) return failure;
    utf8 = FileTextToUtf8(bytes);
    return std::nullopt;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream file(PathOf(path), std::ios::binary);
    if (!file) throw UserError(Say(msg::kCannotOpenFile, {path}));
    std::string bytes;
    try {
        // libstdc++ throws from the iterator when a read fails (a folder of
        // that name, an I/O error).
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        file.setstate(std::ios::badbit);
    }
    if (file.bad()) throw UserError(Say(msg::kCannotReadFile, {path}));
    return bytes;
}

void RemoveLeftovers(const std::string& path) noexcept {
    try {
        const fs::path file = PathOf(path);
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        const std::u8string own_name = file.filename().u8string();
        const std::string_view of_file(reinterpret_cast<const char*>(own_name.data()), own_name.size());
        const auto now = fs::file_time_type::clock::now();
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            const std::u8string name = entry.path().filename().u8string();
            const unsigned long process =
                LeftoverProcessId(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()), of_file);
            if (process == 0 || !entry.is_regular_file(error)) continue;
            const auto idle = now - entry.last_write_time(error);
            if (error) continue;
            if (idle > std::chrono::hours(24) || (idle > std::chrono::minutes(1) && !ProcessRunning(process)))
                fs::remove(entry.path(), error);
        }
    } catch (...) {
        // Only tidying: the file's own writing goes on.
    }
}

} // namespace parktotals
