#include "app/shells.h"
#include "text/text_codec_win32.h"

#include <windows.h>

namespace parktotals {

bool DisplayAvailable() { return true; }

std::string ExecutablePath() {
    // GetModuleFileNameW cuts the path to the buffer without saying so
    // except through the length; grow until it fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return WideToUtf8(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

} // namespace parktotals
