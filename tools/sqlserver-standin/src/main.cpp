// sqlserver-standin --port N --rules FILE [--log FILE] [--user-options nocount]
//                   [--tls-cert FILE --tls-key FILE [--encryption offered|required]]
//
// Serves the rules until SIGTERM or SIGINT; SIGHUP reads the rules file
// again, SIGUSR1 releases held answers (those of `hold` rules), now and for
// good. Each login, batch and attention becomes one JSON line in the log
// (standard output without --log).

#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "standin/standin.h"
#include "text.h"

namespace standin = parktotals::standin;

namespace {

struct Options {
    std::uint16_t port = 0;
    std::string rules;
    std::string log;
    bool nocount = false;
    standin::Encryption encryption;
};

std::optional<Options> ParseArguments(int argc, char** argv) {
    Options o;
    bool has_port = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        const std::string value = argv[++i];
        if (arg == "--port") {
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), o.port);
            if (ec != std::errc() || end != value.data() + value.size()) return std::nullopt;
            has_port = true;
        } else if (arg == "--rules") {
            o.rules = value;
        } else if (arg == "--log") {
            o.log = value;
        } else if (arg == "--user-options") {
            if (value != "nocount") return std::nullopt;
            o.nocount = true;
        } else if (arg == "--tls-cert") {
            o.encryption.certificate_file = value;
        } else if (arg == "--tls-key") {
            o.encryption.key_file = value;
        } else if (arg == "--encryption") {
            if (value == "offered") {
                o.encryption.mode = standin::Encryption::Mode::Offered;
            } else if (value == "required") {
                o.encryption.mode = standin::Encryption::Mode::Required;
            } else {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (!has_port) return std::nullopt;
    // A certificate and its key go together; with them encryption is offered
    // unless told otherwise.
    const bool has_certificate = !o.encryption.certificate_file.empty();
    if (has_certificate != !o.encryption.key_file.empty()) return std::nullopt;
    if (has_certificate && o.encryption.mode == standin::Encryption::Mode::NotSupported)
        o.encryption.mode = standin::Encryption::Mode::Offered;
    if (!has_certificate && o.encryption.mode != standin::Encryption::Mode::NotSupported) return std::nullopt;
    return o;
}

const char* EncryptionText(standin::LoginEncryption e) {
    switch (e) {
    case standin::LoginEncryption::Tls: return "tls";
    case standin::LoginEncryption::LoginOnly: return "login-only";
    case standin::LoginEncryption::None: break;
    }
    return "none";
}

std::string TdsVersionText(std::uint32_t v) {
    return std::to_string((v >> 28) & 0xF) + "." + std::to_string((v >> 24) & 0xF);
}

// Writes one JSON object per line and flushes it, so a script can follow.
class Log {
public:
    explicit Log(std::FILE* out) : out_(out) {}

    void Line(const std::string& json) {
        std::fputs(json.c_str(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
    }

    standin::Observer Observer() {
        using standin::JsonQuote;
        standin::Observer o;
        o.login = [this](const standin::Login& l) {
            Line("{\"event\":\"login\",\"connection\":" + std::to_string(l.connection) +
                 ",\"user\":" + JsonQuote(l.user) + ",\"password\":" + JsonQuote(l.password) +
                 ",\"database\":" + JsonQuote(l.database) + ",\"app\":" + JsonQuote(l.app) +
                 ",\"host\":" + JsonQuote(l.host) + ",\"server\":" + JsonQuote(l.server) +
                 ",\"tds_version\":\"" + TdsVersionText(l.tds_version) + "\",\"packet_size\":" +
                 std::to_string(l.packet_size) + ",\"accepted\":" + (l.accepted ? "true" : "false") +
                 ",\"encryption\":\"" + EncryptionText(l.encryption) + "\"}");
        };
        o.batch = [this](const standin::Batch& b) {
            Line("{\"event\":\"batch\",\"connection\":" + std::to_string(b.connection) + ",\"text\":" + JsonQuote(b.text) +
                 "}");
        };
        o.attention = [this](int connection) {
            Line("{\"event\":\"attention\",\"connection\":" + std::to_string(connection) + "}");
        };
        o.error = [](int connection, const std::string& reason) {
            std::cerr << "sqlserver-standin: connection " << connection << " closed: " << reason << std::endl;
        };
        return o;
    }

private:
    std::FILE* out_;
};

} // namespace

int main(int argc, char** argv) {
    const auto options = ParseArguments(argc, argv);
    if (!options) {
        std::cerr << "usage: sqlserver-standin --port N [--rules FILE] [--log FILE] [--user-options nocount]\n"
                     "                         [--tls-cert FILE --tls-key FILE [--encryption offered|required]]\n"
                     "  N = 0 picks a free port; the port in use is printed as\n"
                     "  \"listening on 127.0.0.1:PORT\".\n"
                     "  \"--user-options nocount\" sends row counts only to sessions that say\n"
                     "  SET NOCOUNT OFF, as a server whose user options set NOCOUNT.\n"
                     "  With a certificate and its key (PEM) encryption is offered as SQL Server\n"
                     "  offers it; \"required\" refuses clients that cannot encrypt.\n";
        return 2;
    }

    // The rules file, with the server's settings from the command line.
    const auto load = [&options] {
        standin::Script script = options->rules.empty() ? standin::Script{} : standin::LoadScript(options->rules);
        script.nocount_by_default = options->nocount;
        return script;
    };
    standin::Script script;
    try {
        script = load();
    } catch (const standin::ScriptError& e) {
        std::cerr << "sqlserver-standin: " << e.what() << '\n';
        return 2;
    }

    std::FILE* log_file = stdout;
    if (!options->log.empty() && !(log_file = std::fopen(options->log.c_str(), "a"))) {
        std::cerr << "sqlserver-standin: cannot open " << options->log << ": " << std::strerror(errno) << '\n';
        return 1;
    }
    Log log(log_file);

    // Block the signals before any thread starts, so that only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    try {
        std::optional<standin::Server> started;
        try {
            started.emplace(std::move(script), options->encryption, options->port, log.Observer());
        } catch (const std::system_error&) {
            throw;
        } catch (const std::runtime_error& e) {
            std::cerr << "sqlserver-standin: " << e.what() << '\n';
            return 2;
        }
        standin::Server& server = *started;
        std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.port()));
        std::fflush(stdout);
        for (;;) {
            int received = 0;
            if (sigwait(&signals, &received) != 0) continue;
            if (received == SIGUSR1) {
                server.Release();
                std::cerr << "sqlserver-standin: held answers released\n";
                continue;
            }
            if (received != SIGHUP) break;
            try {
                server.SetScript(load());
                std::cerr << "sqlserver-standin: rules reloaded\n";
            } catch (const standin::ScriptError& e) {
                std::cerr << "sqlserver-standin: kept the old rules: " << e.what() << '\n';
            }
        }
        server.Stop();
    } catch (const std::system_error& e) {
        std::cerr << "sqlserver-standin: " << e.what() << '\n';
        return 1;
    }
    if (log_file != stdout) std::fclose(log_file);
    return 0;
}
