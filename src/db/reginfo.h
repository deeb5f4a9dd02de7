#pragma once

#include <istream>
#include <string>

// RegInfo.INI is not an INI file: its first line, taken whole, is the local
// database's connection string. DatabaseGateway::SetUpLocalConnection is
// its one reader.
namespace parktotals {

inline constexpr const char* kRegInfoFileName = "RegInfo.INI";

// The first line of a text stream, as the file's bytes stand: it ends at LF,
// CR LF, Ctrl-Z or the end of the stream; a CR not followed by LF is dropped;
// nothing is trimmed and the line may be of any length.
std::string ReadFirstLine(std::istream& in);

// Reads the first line of the named file (looked up in the working directory
// when the name has no folder) and converts it to UTF-8. A UTF-8 byte-order
// mark is dropped, so a file saved as UTF-8 by Notepad still works. Throws
// UserError when the file is missing or cannot be read.
std::string ReadRegInfoLine(const std::string& path = kRegInfoFileName);

} // namespace parktotals
