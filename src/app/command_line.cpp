#include "app/command_line.h"

#include "text/errors.h"
#include "text/message_table.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace parktotals {
namespace {

enum class Option { Retries, RetryWait, Date, CatchUp, Language, ReadConnection, WriteConnection, Help, Version };

struct OptionName {
    std::string_view name;
    Option option;
};

constexpr OptionName kOptions[] = {
    {"--retries", Option::Retries},
    {"--retry-wait", Option::RetryWait},
    {"--date", Option::Date},
    {"--catch-up", Option::CatchUp},
    {"--language", Option::Language},
    {"--read-connection", Option::ReadConnection},
    {"--write-connection", Option::WriteConnection},
    {"--help", Option::Help},
    {"--version", Option::Version},
};

bool IsInstallerOption(Option option) { return option == Option::ReadConnection || option == Option::WriteConnection; }

// What the option's value has to be, as the messages say it; empty for an
// option that takes none.
std::string Wanted(Option option) {
    switch (option) {
    case Option::Retries: return Say(msg::kWantRetries, {std::to_string(kMaxRetries)});
    case Option::RetryWait: return Say(msg::kWantRetryWait, {std::to_string(kMaxRetryWait.count())});
    case Option::CatchUp: return Say(msg::kWantCatchUp, {std::to_string(kMaxDays)});
    case Option::Date: return Say(msg::kWantDate, {std::to_string(kMaxDays)});
    case Option::Language: return Say(msg::kWantLanguage);
    case Option::ReadConnection:
    case Option::WriteConnection: return Say(msg::kWantFieldsFile);
    case Option::Help:
    case Option::Version: break;
    }
    return {};
}

// An argument as a message quotes it: on one line, so that a control
// character in it cannot steer the terminal the message is printed on, and
// no longer than an excerpt.
std::string Quoted(std::string_view text) { return "\"" + OneLine(Excerpt(text)) + "\""; }

[[noreturn]] void RefuseValue(std::string_view name, Option option, const std::string& value,
                              const std::string& why = {}) {
    if (why.empty()) throw UserError(Say(msg::kOptionValueGive, {name, Quoted(value), Wanted(option)}));
    throw UserError(Say(msg::kOptionValueWhyGive, {name, Quoted(value), why, Wanted(option)}));
}

// Plain decimal digits only: no sign, no blanks, no hex. Stops as soon as the
// value passes `highest`, so a long string of digits cannot overflow.
int WholeNumber(std::string_view name, Option option, const std::string& text, int lowest, int highest) {
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') RefuseValue(name, option, text);
        value = value * 10 + (c - '0');
        if (value > highest) RefuseValue(name, option, text);
    }
    if (value < lowest) RefuseValue(name, option, text);
    return value;
}

DayRange Days(std::string_view name, const std::string& text, LocalDate today) {
    const std::size_t dots = text.find("..");
    const std::string first = text.substr(0, dots);
    const std::string last = dots == std::string::npos ? first : text.substr(dots + 2);
    LocalDate days[2]{};
    for (int i = 0; i < 2; ++i) {
        const std::string& day = i == 0 ? first : last;
        const std::optional<LocalDate> date = ParseIsoDate(day);
        if (!date) RefuseValue(name, Option::Date, text);
        if (!IsCalendarDate(*date)) RefuseValue(name, Option::Date, text, Say(msg::kNoCalendarDay, {day}));
        days[i] = *date;
    }
    const DayRange range{days[0], days[1]};
    if (const std::optional<std::string> problem = DayRangeProblem(range, today))
        throw UserError(Say(msg::kOptionValueWhy, {name, Quoted(text), *problem}));
    return range;
}

void Apply(CommandLine& command, std::string_view name, Option option, const std::string& value, LocalDate today) {
    switch (option) {
    case Option::Retries: command.options.retries = WholeNumber(name, option, value, 0, kMaxRetries); break;
    case Option::RetryWait:
        command.options.retry_wait =
            std::chrono::seconds{WholeNumber(name, option, value, 1, static_cast<int>(kMaxRetryWait.count()))};
        break;
    case Option::CatchUp: command.options.catch_up = WholeNumber(name, option, value, 1, kMaxDays); break;
    case Option::Date: command.options.dates = Days(name, value, today); break;
    case Option::Language: {
        const std::optional<Language> language = ParseLanguageName(value);
        if (!language) RefuseValue(name, option, value);
        command.language = language;
        break;
    }
    case Option::ReadConnection:
    case Option::WriteConnection:
        command.task = option == Option::ReadConnection ? Task::ReadConnection : Task::WriteConnection;
        command.fields_file = value;
        break;
    case Option::Help:
    case Option::Version: break;
    }
}

// The character of UTF-8 `text` at `at`, and its length in bytes (a byte
// that starts none stands for itself).
char32_t CharacterAt(std::string_view text, std::size_t at, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(at);
    length = first < 0xC0 ? 1 : first < 0xE0 ? 2 : first < 0xF0 ? 3 : 4;
    if (at + length > text.size()) length = 1;
    if (length == 1) return first;
    char32_t c = first & (0x3F >> (length - 1));
    for (std::size_t i = at + 1; i < at + length; ++i) c = (c << 6) | (byte(i) & 0x3F);
    return c;
}

// Two columns in a terminal: Chinese, Japanese and Korean characters and
// the full-width forms and marks.
bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// Marks that never start a line ("，。）"...) and never end one ("（"...).
bool IsClosingMark(char32_t c) {
    return std::u32string_view(U"\uFF0C\u3002\u3001\uFF1B\uFF1A\uFF01\uFF1F\uFF09\u300D\u300F\u3011\u300B").find(c) !=
           std::u32string_view::npos;
}
bool IsOpeningMark(char32_t c) {
    return std::u32string_view(U"\uFF08\u300C\u300E\u3010\u300A").find(c) != std::u32string_view::npos;
}
bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }

// A piece of a line between two places it may break, and its width in columns.
struct Piece {
    std::string text;
    std::size_t columns = 0;
    bool after_blank = false;
};

// A line may break at a blank, which goes at the break, and between two
// wide characters, unless a mark would then start or end a line. A blank
// between a number and a wide character holds them together ("3 项", "至 5").
std::vector<Piece> Pieces(std::string_view line) {
    std::vector<Piece> pieces;
    Piece current;
    char32_t previous = 0;
    std::size_t blanks = 0;
    for (std::size_t at = 0, length = 0; at < line.size(); at += length) {
        const char32_t c = CharacterAt(line, at, length);
        if (c == ' ') {
            ++blanks;
            continue;
        }
        if (!current.text.empty()) {
            const bool number_and_unit = (IsDigit(previous) && IsWide(c)) || (IsWide(previous) && IsDigit(c));
            const bool breaks = blanks > 0 ? !number_and_unit
                                           : IsWide(previous) && IsWide(c) && !IsClosingMark(c) &&
                                                 !IsOpeningMark(previous);
            if (breaks) {
                pieces.push_back(std::move(current));
                current = Piece{.after_blank = blanks > 0};
            } else {
                current.text.append(blanks, ' ');
                current.columns += blanks;
            }
        }
        blanks = 0;
        current.text += line.substr(at, length);
        current.columns += IsWide(c) ? 2 : 1;
        previous = c;
    }
    if (!current.text.empty()) pieces.push_back(std::move(current));
    return pieces;
}

// Each line broken into lines of at most `width` columns (a longer piece
// stands alone). An indented line goes on 4 in, or at its own indent when
// that is deeper.
std::string Wrapped(const std::string& text, std::size_t width) {
    std::string wrapped;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line = std::string_view(text).substr(start, end - start);
        const std::size_t indent = std::min(line.find_first_not_of(' '), line.size());
        const std::size_t going_on = indent == 0 ? 0 : std::max<std::size_t>(indent, 4);
        std::string current(indent, ' ');
        std::size_t columns = indent;
        bool has_piece = false;
        for (const Piece& piece : Pieces(line.substr(indent))) {
            const std::size_t gap = piece.after_blank ? 1 : 0;
            if (has_piece && columns + gap + piece.columns > width) {
                wrapped += current + '\n';
                current.assign(going_on, ' ');
                columns = going_on;
            } else if (has_piece && gap > 0) {
                current += ' ';
                ++columns;
            }
            current += piece.text;
            columns += piece.columns;
            has_piece = true;
        }
        wrapped += current;
        if (end < text.size()) wrapped += '\n';
        start = end + 1;
    }
    return wrapped;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments, LocalDate today) {
    // One pass reads the line into steps; they are taken in order once the
    // line is read, so that what they say of it is said in the language it
    // asks for, and whoever asks for help gets it, even on a line with a
    // mistake in it.
    struct Step {
        const OptionName* option;
        std::string value;
        std::function<std::string()> refusal; // set for a step that cannot be taken
    };
    std::vector<Step> steps;
    std::optional<Language> language;
    bool help = false, version = false;
    std::vector<const OptionName*> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        help = help || argument == "--help";
        version = version || argument == "--version";
        const std::size_t equals = argument.find('=');
        const std::string name(std::string_view(argument).substr(0, equals));
        // (std::ranges' algorithms are missing from the libc++ the clang build uses.)
        const auto known = std::find_if(std::begin(kOptions), std::end(kOptions),
                                        [&](const OptionName& o) { return o.name == name; });
        if (!argument.starts_with("--") || known == std::end(kOptions)) {
            const std::string what = argument.starts_with("--") ? name : argument;
            steps.push_back({nullptr, {}, [what] { return Say(msg::kUnknownOption, {Quoted(what)}); }});
            continue;
        }
        const OptionName* option = &*known;
        if (std::find(given.begin(), given.end(), option) != given.end()) {
            steps.push_back({option, {}, [option] { return Say(msg::kOptionTwice, {option->name}); }});
            continue;
        }
        given.push_back(option);
        if (option->option == Option::Help || option->option == Option::Version) {
            if (equals != std::string::npos) {
                const std::string value = argument.substr(equals + 1);
                steps.push_back({option, {}, [option, value] {
                                     return Say(msg::kOptionTakesNoValue, {option->name, Quoted(value)});
                                 }});
            }
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
            // The next argument, unless it is the next option: "--retries
            // --date ..." lacks the number rather than giving "--date" as one.
            value = arguments[++i];
        }
        if (value.empty()) {
            steps.push_back(
                {option, {}, [option] { return Say(msg::kOptionNeeds, {option->name, Wanted(option->option)}); }});
            continue;
        }
        if (option->option == Option::Language) language = ParseLanguageName(value);
        steps.push_back({option, value, {}});
    }

    if (language) SetCurrentLanguage(*language);
    CommandLine command;
    if (help || version) {
        command.task = help ? Task::Help : Task::Version;
        return command;
    }
    for (const Step& step : steps) {
        if (step.refusal) throw UserError(step.refusal());
        Apply(command, step.option->name, step.option->option, step.value, today);
    }

    // --language goes with any task.
    std::erase_if(given, [](const OptionName* o) { return o->option == Option::Language; });
    const auto installers =
        std::find_if(given.begin(), given.end(), [](const OptionName* o) { return IsInstallerOption(o->option); });
    if (installers != given.end() && given.size() > 1) {
        const OptionName* other = given[installers == given.begin() ? 1 : 0];
        throw UserError(Say(msg::kInstallerOptionAlone, {(*installers)->name, other->name}));
    }
    return command;
}

std::string UsageText(const std::string& program_name, std::size_t width) {
    // One line per paragraph or item: a message box wraps them itself, a
    // terminal gets them wrapped.
    const std::string text =
        Say(msg::kUsage, {program_name, std::to_string(kMaxRetries), std::to_string(kMaxRetryWait.count()),
                          std::to_string(kDefaultRetryWait.count()), std::to_string(kMaxDays)});
    return width == 0 ? text : Wrapped(text, width);
}

std::string VersionText(const std::string& version) { return "parktotals " + version; }

} // namespace parktotals
