#pragma once

#include "text/errors.h"

#include <string>
#include <utility>
#include <vector>

namespace parktotals {

// What writing a file throws: the message memo1.txt's error box shows, and
// the system's own words for the failure, which the run report gives.
class FileWriteError : public UserError {
public:
    FileWriteError(const std::string& message, std::string reason)
        : UserError(message), reason_(std::move(reason)) {}
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

// Saves the memo's lines to `path` (relative to the working directory) in
// the machine's file encoding with no byte-order mark: written to a new
// file beside it that then replaces it in one step, so that the file always
// holds one run's text whole. Throws FileWriteError
// "Cannot create file "<full path>". <reason>" when it cannot be created and
// "Stream write error" when writing is cut short.
void SaveMemoFile(const std::string& path, const std::vector<std::string>& lines);

// The platform's part: write the bytes beside the file and replace it with
// them; a file left by a failure is removed. On Linux a device or a link
// is written in place.
void WriteNewFile(const std::string& path, const std::string& bytes);

// The same, but whatever `path` is (a link too) is replaced, never written
// through.
void ReplaceWholeFile(const std::string& path, const std::string& bytes);

// The new files are named "<file name>.<process id>.<n>.tmp". Removes those
// beside `path` that a run which ended before it could rename them left
// behind: their process is gone and they have not been written to for a
// minute (a process of another container may be writing one), or they
// are a day old (their process id taken by another program since).
void RemoveLeftovers(const std::string& path) noexcept;
// Whether a process with this id runs (the platform's part).
bool ProcessRunning(unsigned long process_id);

} // namespace parktotals
