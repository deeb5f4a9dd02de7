#include "session.h"

#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "bytes.h"
#include "text.h"
#include "wire.h"

namespace parktotals::standin {
namespace {

// Tokens of the reply stream.
constexpr std::uint8_t kColMetadata = 0x81;
constexpr std::uint8_t kError = 0xAA;
constexpr std::uint8_t kLoginAck = 0xAD;
constexpr std::uint8_t kRow = 0xD1;
constexpr std::uint8_t kEnvChange = 0xE3;
constexpr std::uint8_t kDone = 0xFD;
constexpr std::uint8_t kDoneProc = 0xFE;
constexpr std::uint8_t kDoneInProc = 0xFF;

constexpr std::uint16_t kDoneMore = 0x0001;
constexpr std::uint16_t kDoneError = 0x0002;
constexpr std::uint16_t kDoneCount = 0x0010;
constexpr std::uint16_t kDoneAttention = 0x0020;
constexpr std::uint16_t kCmdSelect = 0xC1;
constexpr std::uint16_t kCmdInsert = 0xC3;
constexpr std::uint16_t kCmdUpdate = 0xC5;

constexpr std::uint32_t kTds71 = 0x71000001;
constexpr std::uint32_t kTds72 = 0x72090002;
constexpr std::uint32_t kTds74 = 0x74000004;

// The ENCRYPTION option of PRELOGIN.
constexpr std::uint8_t kEncryptOff = 0;     // client: "off, but I can"; server: "login only"
constexpr std::uint8_t kEncryptOn = 1;
constexpr std::uint8_t kEncryptNotSup = 2;
constexpr std::uint8_t kEncryptReq = 3;

constexpr std::size_t kDefaultPacketSize = 4096;
constexpr char kServerName[] = "STANDIN";
constexpr char kDefaultDatabase[] = "master";
// Chinese_PRC_CI_AS, as a car park's own server is likely to be set up.
constexpr char kCollation[] = {0x04, 0x08, static_cast<char>(0xD0), 0x00, 0x00};
// Claims to be SQL Server 2012 (11.0.7001), the oldest that speaks TDS 7.4.
constexpr std::uint8_t kServerVersion[] = {11, 0, 0x1B, 0x59};

std::string Token(std::uint8_t token, const std::string& body) {
    std::string t;
    PutU8(t, token);
    PutU16(t, static_cast<std::uint16_t>(body.size()));
    return t + body;
}

// "SET NOCOUNT ON" or "SET NOCOUNT OFF" as a batch of its own, in any case
// and spacing, a ';' after it allowed: whether it turns NOCOUNT on.
std::optional<bool> NoCountSetting(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : std::string(text) + ' ') {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    if (!words.empty() && words.back() == ";") words.pop_back();
    if (!words.empty() && words.back().size() > 1 && words.back().back() == ';') words.back().pop_back();
    if (words.size() != 3 || words[0] != "set" || words[1] != "nocount") return std::nullopt;
    if (words[2] == "on") return true;
    if (words[2] == "off") return false;
    return std::nullopt;
}

std::string EnvChange(std::uint8_t type, std::string_view new_value, std::string_view old_value) {
    std::string b;
    PutU8(b, type);
    PutBVarChar(b, new_value);
    PutBVarChar(b, old_value);
    return Token(kEnvChange, b);
}

class Session {
public:
    Session(int fd, int connection, SessionHost& host)
        : fd_(fd), connection_(connection), host_(host), stream_(fd), reader_(stream_) {}

    void Run() {
        try {
            while (auto message = reader_.Read())
                if (!Handle(*message)) break;
        } catch (const ProtocolError& e) {
            // A broken client loses its connection, nothing more.
            host_.RecordError(connection_, e.what());
        }
    }

private:
    bool Handle(const Message& m) {
        if (!logged_in_) {
            if (m.type == kPrelogin && !prelogin_seen_) {
                prelogin_seen_ = true;
                fault_ = host_.TakePreloginFault();
                if (fault_ == PreloginFault::DropBeforeAnswer) return false;
                return HoldLogin() && Prelogin(m.payload);
            }
            if (m.type == kLogin7) {
                // A client that skipped PRELOGIN never offered encryption.
                if (!prelogin_seen_ && host_.EncryptionRequired())
                    throw ProtocolError("LOGIN7 without PRELOGIN, and this server requires encryption");
                return Login7(m.payload);
            }
            throw ProtocolError("expected PRELOGIN or LOGIN7");
        }
        switch (m.type) {
        case kSqlBatch: return SqlBatch(m.payload);
        case kAttention:
            host_.RecordAttention(connection_);
            return Reply(Done(kDoneAttention, 0, 0));
        case kRpc:
            return Reply(ErrorToken(Answer::Error(50000, "RPC requests are not supported by this stand-in.").error) +
                         Done(kDoneError, 0, 0, kDoneProc));
        case kTransaction:
            return Reply(
                ErrorToken(Answer::Error(50000, "Transaction manager requests are not supported by this stand-in.").error) +
                         Done(kDoneError, 0, 0));
        default: throw ProtocolError("unexpected packet type");
        }
    }

    // Waits as long as the script's login delay; false when the client left
    // meanwhile, or when the script never answers.
    bool HoldLogin() {
        const auto delay = host_.CurrentScript()->login_delay;
        if (delay == Script::kNeverAnswer) {
            while (reader_.Read()) {
            }
            return false;
        }
        if (delay.count() <= 0 || !reader_.WaitReadable(delay)) return true;
        if (reader_.Read()) throw ProtocolError("new request before PRELOGIN was answered");
        return false;
    }

    // Checks the option table and answers: encryption as the certificate
    // and the client's wish say, no MARS. Then the TLS handshake, when
    // there is to be one.
    bool Prelogin(const std::string& p) {
        std::uint8_t asked = kEncryptNotSup;  // a client without the option cannot encrypt
        for (std::size_t at = 0;; at += 5) {
            if (at >= p.size()) throw ProtocolError("PRELOGIN without terminator");
            if (U8At(p, at) == 0xFF) break;
            if (at + 5 > p.size()) throw ProtocolError("PRELOGIN option cut short");
            const std::size_t offset = (std::size_t{U8At(p, at + 1)} << 8) | U8At(p, at + 2);
            const std::size_t length = (std::size_t{U8At(p, at + 3)} << 8) | U8At(p, at + 4);
            if (offset + length > p.size()) throw ProtocolError("PRELOGIN option out of bounds");
            if (U8At(p, at) == 1 && length >= 1) asked = U8At(p, offset);
        }
        const TlsContext* tls = host_.Tls();
        const bool required = tls && host_.EncryptionRequired();
        std::uint8_t answer = kEncryptNotSup;
        bool refuse = false;
        if (tls) {
            // SQL Server's answers: a client that asks gets the whole
            // connection encrypted; one that says "off" gets its login
            // encrypted, or everything when the server requires it; one
            // that cannot encrypt gets nothing, or is refused.
            switch (asked) {
            case kEncryptOn:
            case kEncryptReq: answer = kEncryptOn, encryption_ = LoginEncryption::Tls; break;
            case kEncryptOff:
                answer = required ? kEncryptReq : kEncryptOff;
                encryption_ = required ? LoginEncryption::Tls : LoginEncryption::LoginOnly;
                break;
            default: answer = required ? kEncryptReq : kEncryptNotSup, refuse = required; break;
            }
        }
        struct Option {
            std::uint8_t token;
            std::string data;
        };
        const Option options[] = {
            {0, std::string(reinterpret_cast<const char*>(kServerVersion), 4) + std::string(2, '\0')},
            {1, std::string(1, static_cast<char>(answer))},
            {2, std::string(1, '\0')},    // instance: the default one
            {3, ""},                      // thread id
            {4, std::string(1, '\0')},    // MARS off
        };
        std::string head, data;
        const std::size_t start = std::size(options) * 5 + 1;
        for (const Option& o : options) {
            const std::size_t offset = start + data.size();
            head += {static_cast<char>(o.token), static_cast<char>(offset >> 8), static_cast<char>(offset & 0xFF),
                     static_cast<char>(o.data.size() >> 8), static_cast<char>(o.data.size() & 0xFF)};
            data += o.data;
        }
        if (!Reply(head + '\xFF' + data, kDefaultPacketSize)) return false;
        if (fault_ == PreloginFault::DropInHandshake || fault_ == PreloginFault::StallInHandshake) {
            // Whatever the client sends next is never answered.
            while (reader_.ReadPacket() && fault_ == PreloginFault::StallInHandshake) {
            }
            return false;
        }
        if (refuse) {
            host_.RecordError(connection_,
                              "refused: the client does not support encryption, which this server requires");
            return false;
        }
        if (encryption_ == LoginEncryption::None) return true;
        tls_ = std::make_unique<TlsLayer>(*tls, fd_);
        if (!tls_->Handshake(reader_, stream_, Spid())) {
            host_.RecordError(connection_, "the client left during the TLS handshake");
            return false;
        }
        stream_.SetTls(tls_.get());
        return true;
    }

    bool Login7(const std::string& p) {
        // The fixed part up to the field table's last entry TDS 7.1 knows.
        if (p.size() < 86) throw ProtocolError("LOGIN7 too short");
        const std::uint32_t asked = U32At(p, 4);
        if ((asked >> 24) < 0x71) throw ProtocolError("TDS version below 7.1");
        // Answer with the client's own version, or 7.4 for anything newer.
        tds_version_ = asked >= kTds74 ? kTds74 : asked;

        auto text = [&p](std::size_t entry, bool scrambled = false) {
            const std::size_t offset = U16At(p, entry);
            const std::size_t bytes = 2 * std::size_t{U16At(p, entry + 2)};
            if (offset + bytes > p.size()) throw ProtocolError("LOGIN7 field out of bounds");
            std::string raw = p.substr(offset, bytes);
            // Passwords travel with each byte's nibbles swapped and then XORed with 0xA5.
            if (scrambled)
                for (char& c : raw) {
                    const auto b = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) ^ 0xA5);
                    c = static_cast<char>(static_cast<std::uint8_t>((b << 4) | (b >> 4)));
                }
            return Utf16leToUtf8(raw);
        };
        Login login;
        login.connection = connection_;
        login.tds_version = asked;
        login.packet_size = U32At(p, 8);
        login.host = text(36);
        login.user = text(40);
        login.password = text(44, true);
        login.app = text(48);
        login.server = text(52);
        login.library = text(60);
        login.language = text(64);
        login.database = text(68);
        login.encryption = encryption_;
        // Login-only encryption ends with the LOGIN7: the answer and all
        // that follows are plain TDS again.
        if (encryption_ == LoginEncryption::LoginOnly) stream_.SetTls(nullptr);

        const std::shared_ptr<const Script> script = host_.CurrentScript();
        const auto account = script->accounts.find(login.user);
        login.accepted = script->accounts.empty() ||
                         (account != script->accounts.end() && account->second == login.password);
        const bool database_known =
            script->databases.empty() || login.database.empty() ||
            std::find(script->databases.begin(), script->databases.end(), login.database) != script->databases.end();
        login.accepted = login.accepted && database_known;
        host_.Record(login);
        nocount_ = script->nocount_by_default;
        if (!login.accepted) {
            std::string errors;
            if (!database_known)
                errors = ErrorToken(Answer::Error(4060, "Cannot open database \"" + login.database +
                                                            "\" requested by the login. The login failed.",
                                                  11)
                                        .error);
            errors += ErrorToken(Answer::Error(18456, "Login failed for user '" + login.user + "'.", 14).error);
            Reply(errors + Done(kDoneError, 0, 0), kDefaultPacketSize);
            return false;
        }

        packet_size_ = login.packet_size == 0 ? kDefaultPacketSize
                                              : std::clamp<std::size_t>(login.packet_size, 512, 32767);
        const std::string database = login.database.empty() ? kDefaultDatabase : login.database;
        std::string collation;
        PutU8(collation, 7);
        PutU8(collation, sizeof kCollation);
        collation.append(kCollation, sizeof kCollation);
        PutU8(collation, 0);
        std::string ack;
        PutU8(ack, 1);  // T-SQL
        for (int shift = 24; shift >= 0; shift -= 8) PutU8(ack, static_cast<std::uint8_t>(tds_version_ >> shift));
        PutBVarChar(ack, "Microsoft SQL Server");
        ack.append(reinterpret_cast<const char*>(kServerVersion), 4);
        const std::string size = std::to_string(packet_size_);
        logged_in_ = true;
        return Reply(EnvChange(1, database, kDefaultDatabase) + Token(kEnvChange, collation) +
                         EnvChange(2, login.language.empty() ? "us_english" : login.language, "") +
                         Token(kLoginAck, ack) + EnvChange(4, size, size) + Done(0, 0, 0),
                     kDefaultPacketSize);
    }

    bool SqlBatch(const std::string& p) {
        std::size_t start = 0;
        if (tds_version_ >= kTds72) {
            // ALL_HEADERS: its total length, which counts itself, comes first.
            if (p.size() < 4) throw ProtocolError("SQL batch without ALL_HEADERS");
            start = U32At(p, 0);
            if (start < 4 || start > p.size()) throw ProtocolError("bad ALL_HEADERS length");
        }
        if ((p.size() - start) % 2 != 0) throw ProtocolError("SQL batch text of odd length");
        const Batch batch{connection_, Utf16leToUtf8(std::string_view(p).substr(start))};
        host_.Record(batch);

        const std::shared_ptr<const Script> script = host_.CurrentScript();
        const auto rule = std::find_if(script->rules.begin(), script->rules.end(),
                                       [&batch](const Rule& r) { return r.Matches(batch.text); });
        // SET NOCOUNT belongs to the session, as on SQL Server; a rule that
        // matches answers in its place and leaves the setting as it was.
        if (rule == script->rules.end()) {
            if (const auto nocount = NoCountSetting(batch.text)) {
                nocount_ = *nocount;
                return Reply(Done(0, 0, 0));
            }
        }
        const Answer& answer = rule != script->rules.end() ? rule->answer() : script->fallback;
        // A request already decrypted and waiting would not wake a poll of the socket.
        if (answer.held && (stream_.Buffered() || !host_.WaitForRelease(fd_))) return Interrupted();
        if (answer.delay.count() > 0 && reader_.WaitReadable(answer.delay)) return Interrupted();
        switch (answer.kind) {
        case Answer::Kind::Ok: return Reply(Done(0, 0, 0));
        case Answer::Kind::Scalar:
            return ResultSets(answer, {ResultSet{{Column{answer.column, answer.value}}, {{answer.value}}}});
        case Answer::Kind::Results: return ResultSets(answer, answer.sets);
        case Answer::Kind::RowCount: {
            // A trigger's statements end in DONEINPROC, before the
            // statement's own DONE.
            std::string reply;
            for (const std::uint64_t count : answer.trigger_counts)
                reply += CountedDone(kDoneMore, kCmdInsert, count, kDoneInProc);
            return Reply(reply + CountedDone(0, kCmdUpdate, answer.rows));
        }
        case Answer::Kind::Error: return Reply(ErrorToken(answer.error) + Done(kDoneError, 0, 0));
        case Answer::Kind::Drop: shutdown(fd_, SHUT_RDWR); return false;
        }
        return false;
    }

    // The client spoke while its answer waited: a cancel gets DONE(attn)
    // instead of the answer; a client that left ends the session.
    bool Interrupted() {
        const auto next = reader_.Read();
        if (!next) return false;
        if (next->type != kAttention) throw ProtocolError("new request before the last was answered");
        host_.RecordAttention(connection_);
        return Reply(Done(kDoneAttention, 0, 0));
    }

    // The sets with their rows, a trailing error if any; or, for an answer
    // cut short, the part before the cut in a message left unfinished.
    bool ResultSets(const Answer& answer, const std::vector<ResultSet>& sets) {
        const auto cut = answer.drop_after_rows;
        std::string reply;
        std::size_t rows_sent = 0;
        const auto drop = [&] {
            SendMessage(stream_, kReply, reply, packet_size_, Spid(), false);
            shutdown(fd_, SHUT_RDWR);
            return false;
        };
        for (std::size_t i = 0; i < sets.size(); ++i) {
            const ResultSet& set = sets[i];
            reply += ColMetadata(set);
            if (cut && *cut == rows_sent) return drop();
            for (const std::vector<Value>& row : set.rows) {
                reply += RowToken(row);
                if (cut && *cut == ++rows_sent) return drop();
            }
            if (i + 1 < sets.size()) {
                reply += CountedDone(kDoneMore, kCmdSelect, set.rows.size());
            } else if (cut) {
                return drop();
            } else if (answer.error_after_rows) {
                reply += ErrorToken(*answer.error_after_rows) + CountedDone(kDoneError, kCmdSelect, set.rows.size());
            } else {
                reply += CountedDone(0, kCmdSelect, set.rows.size());
            }
        }
        return Reply(reply);
    }

    std::string Done(std::uint16_t status, std::uint16_t command, std::uint64_t rows, std::uint8_t token = kDone) const {
        std::string d;
        PutU8(d, token);
        PutU16(d, status);
        PutU16(d, command);
        if (tds_version_ >= kTds72) {
            PutU64(d, rows);
        } else {
            PutU32(d, static_cast<std::uint32_t>(rows));
        }
        return d;
    }

    // A DONE that carries its row count unless the session is under NOCOUNT.
    std::string CountedDone(std::uint16_t status, std::uint16_t command, std::uint64_t rows,
                            std::uint8_t token = kDone) const {
        return nocount_ ? Done(status, command, 0, token) : Done(status | kDoneCount, command, rows, token);
    }

    std::string ErrorToken(const ServerError& e) const {
        std::string b;
        PutU32(b, static_cast<std::uint32_t>(e.number));
        PutU8(b, e.state);
        PutU8(b, e.severity);
        PutUsVarChar(b, e.message);
        PutBVarChar(b, kServerName);
        PutBVarChar(b, e.procedure);
        if (tds_version_ >= kTds72) {
            PutU32(b, static_cast<std::uint32_t>(e.line));
        } else {
            PutU16(b, static_cast<std::uint16_t>(e.line));
        }
        return Token(kError, b);
    }

    // Nullable columns of the set's types.
    std::string ColMetadata(const ResultSet& set) const {
        std::string m;
        PutU8(m, kColMetadata);
        PutU16(m, static_cast<std::uint16_t>(set.columns.size()));
        for (std::size_t c = 0; c < set.columns.size(); ++c) {
            const Value& v = set.columns[c].type;
            if (tds_version_ >= kTds72) {
                PutU32(m, 0);  // user type
            } else {
                PutU16(m, 0);
            }
            PutU16(m, 0x0001);  // nullable
            switch (v.type()) {
            case SqlType::Int: PutU8(m, 0x26), PutU8(m, 4); break;               // INTN
            case SqlType::BigInt: PutU8(m, 0x26), PutU8(m, 8); break;
            case SqlType::Money: PutU8(m, 0x6E), PutU8(m, 8); break;             // MONEYN
            case SqlType::SmallMoney: PutU8(m, 0x6E), PutU8(m, 4); break;
            case SqlType::Float: PutU8(m, 0x6D), PutU8(m, 8); break;             // FLTN
            case SqlType::Decimal:                                               // DECIMALN
            case SqlType::Numeric:                                               // NUMERICN
                PutU8(m, v.type() == SqlType::Decimal ? 0x6A : 0x6C);
                PutU8(m, static_cast<std::uint8_t>(DecimalLength(v.precision())));
                PutU8(m, static_cast<std::uint8_t>(v.precision()));
                PutU8(m, static_cast<std::uint8_t>(v.scale()));
                break;
            case SqlType::NVarChar: {
                // As long as the longest value in the column.
                std::size_t longest = 2;
                for (const std::vector<Value>& row : set.rows) longest = std::max(longest, row[c].wire().size());
                PutU8(m, 0xE7);
                PutU16(m, static_cast<std::uint16_t>(longest));
                m.append(kCollation, sizeof kCollation);
                break;
            }
            }
            PutBVarChar(m, set.columns[c].name);
        }
        return m;
    }

    static std::size_t DecimalLength(int precision) {
        return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
    }

    static std::string RowToken(const std::vector<Value>& row) {
        std::string r;
        PutU8(r, kRow);
        for (const Value& v : row) {
            if (v.type() == SqlType::NVarChar) {
                PutU16(r, v.is_null() ? 0xFFFF : static_cast<std::uint16_t>(v.wire().size()));
            } else {
                PutU8(r, static_cast<std::uint8_t>(v.wire().size()));  // 0 means NULL
            }
            r += v.wire();
        }
        return r;
    }

    bool Reply(const std::string& payload, std::size_t packet_size = 0) {
        return SendMessage(stream_, kReply, payload, packet_size ? packet_size : packet_size_, Spid());
    }

    std::uint16_t Spid() const { return static_cast<std::uint16_t>(50 + connection_); }

    int fd_;
    int connection_;
    SessionHost& host_;
    Stream stream_;
    MessageReader reader_;
    std::unique_ptr<TlsLayer> tls_;
    LoginEncryption encryption_ = LoginEncryption::None;
    PreloginFault fault_ = PreloginFault::None;
    bool prelogin_seen_ = false;
    bool logged_in_ = false;
    bool nocount_ = false;
    std::uint32_t tds_version_ = kTds71;
    std::size_t packet_size_ = kDefaultPacketSize;
};

} // namespace

void RunSession(int fd, int connection, SessionHost& host) { Session(fd, connection, host).Run(); }

} // namespace parktotals::standin
