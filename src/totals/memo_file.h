#pragma once

#include <string>
#include <vector>

namespace parktotals {

// Saves the memo's lines to `path` (relative to the working directory) in
// the machine's file encoding with no byte-order mark: written to a new
// file beside it that then replaces it in one step, so that the file always
// holds one run's text whole. Throws UserError
// "Cannot create file "<full path>". <reason>" when it cannot be created and
// "Stream write error" when writing is cut short.
void SaveMemoFile(const std::string& path, const std::vector<std::string>& lines);

// The platform's part: write the bytes beside the file and replace it with
// them; a file left by a failure is removed. On Linux a device or a link
// is written in place.
void WriteNewFile(const std::string& path, const std::string& bytes);

} // namespace parktotals
