#pragma once

#include <string>
#include <vector>

namespace parktotals {

// Saves the memo's lines to `path` (relative to the working directory):
// created, or emptied when it exists, then written in the machine's file
// encoding with no byte-order mark. Throws UserError
// "Cannot create file "<full path>". <reason>" when it cannot be created and
// "Stream write error" when writing is cut short.
void SaveMemoFile(const std::string& path, const std::vector<std::string>& lines);

// The platform's part: create or empty the file and write the bytes.
void WriteNewFile(const std::string& path, const std::string& bytes);

} // namespace parktotals
