#include "db/sql_browser.h"

#include "text/ascii.h"

#include <algorithm>

#include <vector>

namespace parktotals {

std::string InstanceRequest(std::string_view instance) {
    std::string request(1, '\x04');
    request += instance;
    request += '\0';
    return request;
}

std::optional<std::uint16_t> InstancePortInReply(std::string_view reply, std::string_view instance) {
    // SVR_RESP: 0x05, the data's length (16 bits, little-endian), then
    // "ServerName;S;InstanceName;I;IsClustered;No;Version;V;tcp;PORT;;" for
    // one instance or more.
    if (reply.size() < 3 || reply[0] != '\x05') return std::nullopt;
    const std::size_t size = static_cast<unsigned char>(reply[1]) | (static_cast<unsigned char>(reply[2]) << 8);
    std::string_view data = reply.substr(3, size);

    std::vector<std::string_view> words;
    for (std::size_t start = 0; start <= data.size();) {
        const std::size_t end = std::min(data.find(';', start), data.size());
        if (end > start) words.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    bool named = false;
    std::optional<std::uint16_t> port;
    for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
        const std::string_view key = words[i];
        const std::string_view value = words[i + 1];
        if (EqualsNoCase(key, "ServerName")) {
            if (named && port) return port;
            named = false;
            port.reset();
        } else if (EqualsNoCase(key, "InstanceName")) {
            named = EqualsNoCase(value, instance);
        } else if (EqualsNoCase(key, "tcp")) {
            unsigned long number = 0;
            for (const char c : value) number = IsDigit(c) && number < 65536 ? number * 10 + (c - '0') : 65536;
            if (number >= 1 && number <= 65535) port = static_cast<std::uint16_t>(number);
        }
    }
    if (named && port) return port;
    return std::nullopt;
}

InstancePort LookUpInstancePort(const std::string& host, const std::string& instance,
                                std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    BrowserChannel channel;
    if (!channel.Open(host, kSqlBrowserPort)) return {InstancePort::Status::UnknownHost, 0};
    const std::string request = InstanceRequest(instance);
    const Clock::time_point deadline = Clock::now() + timeout;
    for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
        channel.SendToAll(request);
        const Clock::time_point resend = std::min(deadline, now + std::chrono::seconds(1));
        for (Clock::time_point at = now; at < resend; at = Clock::now()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(resend - at);
            const std::optional<std::string> reply = channel.Receive(wait);
            if (!reply) continue;
            if (const auto port = InstancePortInReply(*reply, instance)) return {InstancePort::Status::Found, *port};
        }
    }
    return {InstancePort::Status::NoAnswer, 0};
}

} // namespace parktotals
