// weixinconfig.ini: a value is a piece of the file, at most kProfileValueMax
// characters (as the server will count them), on one line; and a key written
// plainly into its section reads back as written, also from the file saved
// as UTF-16 (either byte order, with its mark).

#include "text/utf16.h"
#include "fuzz_check.h"
#include "support/utf16_files.h"
#include "totals/profile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using parktotals::testing::Utf16File;

using parktotals::kProfileValueMax;
using parktotals::ProfileValue;

// Characters as they go out: UTF-16 code points, invalid bytes as U+FFFD.
std::size_t Characters(const std::string& utf8) {
    std::size_t count = 0;
    for (const char16_t unit : parktotals::Utf8ToUtf16(utf8))
        if (unit < 0xDC00 || unit > 0xDFFF) ++count;
    return count;
}

// The same text saved as UTF-16 reads the same. Only for valid UTF-8,
// which UTF-16 can hold unchanged.
bool SameFromUtf16(const std::string& text, const std::string& section, const std::string& key,
                   const std::string& fallback, const std::string& value) {
    if (parktotals::Utf16ToUtf8(parktotals::Utf8ToUtf16(text)) != text) return true;
    return ProfileValue(Utf16File(text, false), section, key, fallback) == value &&
           ProfileValue(Utf16File(text, true), section, key, fallback) == value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Strip(std::string s, const char* drop) {
    std::string out;
    for (const char c : s)
        if (std::string_view(drop).find(c) == std::string_view::npos) out += c;
    while (!out.empty() && IsBlank(out.back())) out.pop_back();
    while (!out.empty() && IsBlank(out.front())) out.erase(0, 1);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool written = input.ConsumeBool();
    std::string section = input.ConsumeRandomLengthString(40);
    std::string key = input.ConsumeRandomLengthString(40);
    const std::string fallback = "\x01 fallback";

    if (!written) {
        const std::string text = input.ConsumeRemainingBytesAsString();
        const std::string value = ProfileValue(text, section, key, fallback);
        // A UTF-8 mark would be dropped in the one and kept in the other.
        if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) FUZZ_CHECK(SameFromUtf16(text, section, key, fallback, value));
        if (value == fallback) return 0;
        FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(text.find(value) != std::string::npos);
        FUZZ_CHECK(Characters(value) <= kProfileValueMax);
        return 0;
    }

    // "[section]" then "key=value" at the top of the file; the rest follows.
    section = Strip(section, "]\r\n");
    key = Strip(key, "=\r\n");
    if (!key.empty() && (key.front() == ';' || key.front() == '[')) key.insert(0, "k");
    std::string value = Strip(input.ConsumeRandomLengthString(6000), "\r\n");
    if (!value.empty() && (value.front() == '"' || value.front() == '\'')) value.insert(0, "v");
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const std::string text = "[" + section + "]\r\n" + key + "=" + value + "\r\n" + rest;

    const std::string read = ProfileValue(text, section, key, fallback);
    FUZZ_CHECK(SameFromUtf16(text, section, key, fallback, read));
    if (Characters(value) <= kProfileValueMax) {
        FUZZ_CHECK(read == value);
    } else {
        FUZZ_CHECK(value.compare(0, read.size(), read) == 0);
        FUZZ_CHECK(Characters(read) == kProfileValueMax);
    }
    return 0;
}
