#pragma once

#include <istream>
#include <string>
#include <string_view>

// RegInfo.INI is not an INI file: its first line, taken whole, is the local
// database's connection string. DatabaseGateway::SetUpLocalConnection is
// its one reader.
namespace parktotals {

inline constexpr const char* kRegInfoFileName = "RegInfo.INI";

// The first line of a text stream, as the file's bytes stand: it ends at LF,
// CR LF, Ctrl-Z or the end of the stream; a CR not followed by LF is dropped;
// nothing is trimmed and the line may be of any length.
std::string ReadFirstLine(std::istream& in);

// The first line of RegInfo.INI's text, in UTF-8. A byte-order mark says
// how the file is encoded (UTF-8, UTF-16 LE or BE, as Notepad saves them)
// and is dropped; without one the bytes are the machine's file encoding.
// The line rules are those of ReadFirstLine, applied to characters. May
// throw what the stream throws.
std::string ReadRegInfoText(std::istream& in);

// The bytes of a RegInfo.INI with its first line (as ReadRegInfoText
// finds it) replaced by `line`, in UTF-8. The file keeps its encoding and
// byte-order mark, and every byte after the first line, its line end
// included. When the machine's file encoding cannot hold the new line, the
// whole file becomes UTF-16 LE with a mark, which every reader takes. No
// bytes (a new file): the line and CR LF in the file encoding, or UTF-16.
std::string ReplaceRegInfoLine(std::string_view file_bytes, std::string_view line);

// ReadRegInfoText of the named file (looked up in the working directory
// when the name has no folder). Throws UserError when the file is missing
// or cannot be read.
std::string ReadRegInfoLine(const std::string& path = kRegInfoFileName);

} // namespace parktotals
