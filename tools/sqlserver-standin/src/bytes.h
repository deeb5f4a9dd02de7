#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text.h"

namespace parktotals::standin {

// TDS numbers are little-endian, apart from the packet header.
inline void PutU8(std::string& b, std::uint8_t v) { b += static_cast<char>(v); }

inline void PutU16(std::string& b, std::uint16_t v) {
    PutU8(b, v & 0xFF);
    PutU8(b, v >> 8);
}

inline void PutU32(std::string& b, std::uint32_t v) {
    PutU16(b, v & 0xFFFF);
    PutU16(b, v >> 16);
}

inline void PutU64(std::string& b, std::uint64_t v) {
    PutU32(b, v & 0xFFFFFFFF);
    PutU32(b, v >> 32);
}

inline std::uint8_t U8At(std::string_view b, std::size_t at) { return static_cast<unsigned char>(b[at]); }

inline std::uint16_t U16At(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(U8At(b, at) | (U8At(b, at + 1) << 8));
}

inline std::uint32_t U32At(std::string_view b, std::size_t at) {
    return U16At(b, at) | (static_cast<std::uint32_t>(U16At(b, at + 2)) << 16);
}

// B_VARCHAR / US_VARCHAR: a length in UTF-16 units, then UTF-16LE. Longer
// text is cut, which only happens to names we make up ourselves.
inline void PutBVarChar(std::string& b, std::string_view utf8) {
    std::string u = Utf8ToUtf16le(utf8);
    if (u.size() > 2 * 255) u.resize(2 * 255);
    PutU8(b, static_cast<std::uint8_t>(u.size() / 2));
    b += u;
}

inline void PutUsVarChar(std::string& b, std::string_view utf8) {
    std::string u = Utf8ToUtf16le(utf8);
    if (u.size() > 2 * 65535) u.resize(2 * 65535);
    PutU16(b, static_cast<std::uint16_t>(u.size() / 2));
    b += u;
}

} // namespace parktotals::standin
