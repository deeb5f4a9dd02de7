#include "app/command_line.h"

#include "text/errors.h"
#include "text/message_table.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>

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

// Each line broken between words into lines of at most `width` characters
// (a longer word stands alone). An indented line goes on 4 in, or at its own
// indent when that is deeper.
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
        bool has_word = false;
        for (std::size_t word = indent; word < line.size();) {
            const std::size_t blank = std::min(line.find(' ', word), line.size());
            const std::string_view next = line.substr(word, blank - word);
            if (has_word && current.size() + 1 + next.size() > width) {
                wrapped += current + '\n';
                current.assign(going_on, ' ');
            } else if (has_word) {
                current += ' ';
            }
            current += next;
            has_word = true;
            word = blank + 1;
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
