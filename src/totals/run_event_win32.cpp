#include "totals/run_event.h"

#include "text/message_table.h"
#include "text/text_codec_win32.h"

#include <windows.h>

namespace parktotals {

std::optional<std::string> WriteRunEvent(const RunEvent& event) noexcept {
    try {
        std::vector<std::wstring> strings;
        for (const std::string& text : event.strings) strings.push_back(Utf8ToWide(text));
        std::vector<LPCWSTR> pointers;
        for (const std::wstring& text : strings) pointers.push_back(text.c_str());
        const WORD type = event.type == EventType::Information ? EVENTLOG_INFORMATION_TYPE
                          : event.type == EventType::Warning   ? EVENTLOG_WARNING_TYPE
                                                               : EVENTLOG_ERROR_TYPE;
        // A source nobody registered (the zip set up by hand) still gets
        // its events, with their strings; Event Viewer then cannot find the
        // message table that dresses them.
        const HANDLE source = RegisterEventSourceW(nullptr, Utf8ToWide(kEventSource).c_str());
        if (source == nullptr) return SystemMessage(GetLastError());
        const BOOL written = ReportEventW(source, type, 0, event.id, nullptr, static_cast<WORD>(pointers.size()), 0,
                                          pointers.data(), nullptr);
        const DWORD error = GetLastError();
        DeregisterEventSource(source);
        if (!written) return SystemMessage(error);
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string(error.what());
    } catch (...) {
        return Say(msg::kUnknownError);
    }
}

} // namespace parktotals
