#pragma once

#include "text/errors.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Files read and written whole: memo1.txt, parktotals.log,
// transferred-nights.txt, RegInfo.INI and the installer's fields file.
// Paths are UTF-8, relative to the working directory unless full.
//
// What ReplaceWholeFile promises: a reader, a second run or a crash sees the old
// file or the new one whole, never a mix or half of one (the new text goes
// into a file beside the old one, which one rename then puts in its place).
// The new file is flushed to disk before the rename; the rename itself is
// not (no fsync of the folder), so after a power cut the old file may be
// back, but never an empty or a cut one.
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

// How the platform's text files look: Windows wants a byte-order mark (so
// Notepad reads UTF-8 on every version) and CR LF.
struct TextFormat {
    bool byte_order_mark;
    std::string_view line_end;
};
TextFormat NativeTextFormat();

// The path as the system resolves it from the working directory.
std::string FullPath(const std::string& path);

// Sets `bytes` to the file's ("" when there is none). Returns why not when
// it is not a plain file (a link, a FIFO, a device, a folder), which is
// never opened in a way that could wait, or cannot be read.
std::optional<std::string> ReadPlainFile(const std::string& path, std::string& bytes);

// The same for a small text file, as UTF-8 (FileTextToUtf8: a byte-order
// mark says UTF-8 or UTF-16, else the machine's file encoding).
std::optional<std::string> ReadTextFile(const std::string& path, std::string& utf8);

// The bytes of the file at `path`, whatever it is (a link is followed).
// Throws UserError "Cannot open file" when it is missing and "Cannot read
// file" when it cannot be read.
std::string ReadFileBytes(const std::string& path);

enum class FileRights {
    // The file's own, when it exists (POSIX: its mode, and its owner and
    // group where the process may set them; Windows: its security
    // descriptor); a new file gets the usual ones.
    KeepOriginal,
    // Readable by its owner only (POSIX 0600; on Windows the folder's
    // rights): the file holds a secret.
    OwnerOnly,
};

// Replaces the file at `path` whole with `bytes`. On Linux a device (such
// as /dev/null) or a symbolic link is written through in place. A file left
// by a failure is removed. Throws FileWriteError
// "Cannot create file "<full path>". <reason>" when it cannot be created and
// "Stream write error" when writing is cut short.
void ReplaceWholeFile(const std::string& path, const std::string& bytes,
                      FileRights rights = FileRights::KeepOriginal);

// Runs `work` holding the lock that every run working in `path`'s folder
// takes, once it is free: a lock file in that folder, with the folder's
// rights, so that an account that may not change the folder cannot hold it
// and every path to the folder meets the same lock. Returns why it was not
// free within `wait` or cannot be had, or what `work` returned.
std::optional<std::string> UnderFolderLock(const std::string& path, std::chrono::milliseconds wait,
                                           const std::function<std::optional<std::string>()>& work);

// How long a run waits for another in the same folder.
inline constexpr std::chrono::seconds kFolderLockWait{30};
// The lock file's name.
inline constexpr const char* kFolderLockFileName = "parktotals.lock";

// The new files are named "<file name>.<process id>.<n>.tmp". Removes those
// beside `path` that a run which ended before it could rename them left
// behind: their process is gone and they have not been written to for a
// minute (a process of another container may be writing one), or they
// are a day old (their process id taken by another program since).
void RemoveLeftovers(const std::string& path) noexcept;
// Whether a process with this id runs (the platform's part).
bool ProcessRunning(unsigned long process_id);

} // namespace parktotals
