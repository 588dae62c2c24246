#include "velmo/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/script_line.h"
#include "core/version.h"

namespace {

constexpr std::string_view kHelpName = "--help";
constexpr char kHelpLetter = 'h';

// "a, b or c"
std::string listed(const std::vector<std::string_view>& words, std::string_view last) {
    std::string text;
    for (std::size_t k = 0; k < words.size(); ++k) {
        if (k > 0) text += k + 1 == words.size() ? std::string(" ") + std::string(last) + " " : ", ";
        text += words[k];
    }
    return text;
}

std::string spelling(const OptionEntry& entry) {
    return entry.name.empty() ? std::string("-") + entry.letter : std::string(entry.name);
}

// An option this command does not have: said so, and which commands have it, if any.
std::string unknownOption(const Invocation& invocation, std::string_view argument, std::string_view name) {
    std::vector<std::string_view> owners;
    for (const Command& other : invocation.commands) {
        if (other.name == invocation.command.name) continue;
        const std::vector<OptionEntry> entries = other.options();
        const bool has = std::any_of(entries.begin(), entries.end(), [name](const OptionEntry& entry) {
            return entry.name == name || (name.size() == 2 && entry.letter != 0 && name[1] == entry.letter);
        });
        if (has) owners.push_back(other.name);
    }
    if (owners.empty()) return "unknown option " + quotedLine(argument);
    return std::string(name) + " is for " + listed(owners, "and") + ", not " +
           std::string(invocation.command.name);
}

// The rows of the usage text's option list, --help last.
std::vector<std::pair<std::string, std::string_view>> optionLines(const Command& command) {
    std::vector<OptionEntry> entries = command.options();
    entries.push_back({kHelpName, kHelpLetter, "", "show this text"});
    std::vector<std::pair<std::string, std::string_view>> lines;
    for (const OptionEntry& entry : entries) {
        std::string left;
        if (entry.letter != 0) {
            left += '-';
            left += entry.letter;
        }
        if (entry.letter != 0 && !entry.name.empty()) left += ", ";
        left += entry.name;
        if (!entry.value.empty()) {
            left += ' ';
            left += entry.value;
        }
        lines.emplace_back(left, entry.help);
    }
    return lines;
}

// Usage lines, the first after "usage: " and the others below it; `lead` is what the next one starts with.
void appendSynopsis(std::string& text, std::string_view synopsis, const char*& lead) {
    while (!synopsis.empty()) {
        const std::size_t end = synopsis.find('\n');
        text += lead + std::string(synopsis.substr(0, end)) + "\n";
        lead = "       ";
        synopsis.remove_prefix(end == std::string_view::npos ? synopsis.size() : end + 1);
    }
}

// The overview velmo --help shows: every command's synopsis and what it does.
std::string overview(std::span<const Command> commands) {
    std::string text;
    const char* lead = "usage: ";
    for (const Command& command : commands)
        appendSynopsis(text, command.synopsis, lead);
    text += std::string(lead) + "velmo --version\nCommands:\n";
    std::size_t width = 0;
    for (const Command& command : commands)
        width = std::max(width, command.name.size());
    for (const Command& command : commands)
        text += "  " + std::string(command.name) + std::string(width + 2 - command.name.size(), ' ') +
                std::string(command.summary) + "\n";
    text += "velmo COMMAND --help shows a command's options.\n";
    return text;
}

std::string commandNames(std::span<const Command> commands) {
    std::vector<std::string_view> names;
    for (const Command& command : commands)
        names.push_back(command.name);
    return listed(names, "or");
}

int printOrFail(std::string_view text) {
    std::string error;
    return printToStandardOutput(text, error) ? 0 : fail(error);
}

}  // namespace

bool readCommandLine(const Invocation& invocation, std::span<const OptionEntry> options,
                     const TakeOption& take, CommandLine& line, std::string& error) {
    const std::span<const char* const> arguments = invocation.arguments;
    bool optionsEnded = false;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string_view argument = arguments[k];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            line.operands.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        // The option's name, and its value when it is written into the same word.
        const bool isLong = argument[1] == '-';
        const std::size_t equals = isLong ? argument.find('=') : std::string_view::npos;
        const std::string_view name = isLong ? argument.substr(0, equals) : argument.substr(0, 2);
        const bool attached = isLong ? equals != std::string_view::npos : argument.size() > 2;
        const std::string_view attachedValue = !attached ? std::string_view()
                                               : isLong  ? argument.substr(equals + 1)
                                                         : argument.substr(2);

        if (name == kHelpName || (name.size() == 2 && name[1] == kHelpLetter)) {
            if (attached) return error = std::string(name) + " takes no value", false;
            line.help = true;
            return true;
        }
        const auto row = std::find_if(options.begin(), options.end(), [&](const OptionEntry& entry) {
            return isLong ? !entry.name.empty() && entry.name == name
                          : entry.letter != 0 && entry.letter == name[1];
        });
        if (row == options.end()) return error = unknownOption(invocation, argument, name), false;
        std::string_view value;
        if (row->value.empty()) {
            if (attached) {
                return error = isLong ? std::string(name) + " takes no value"
                                      : "unknown option " + quotedLine(argument),
                       false;
            }
        } else if (attached) {
            value = attachedValue;
        } else if (k + 1 < arguments.size()) {
            value = arguments[++k];
        } else {
            return error = std::string(name) + " needs a value: " + spelling(*row) + " " +
                           std::string(row->value),
                   false;
        }
        if (!take(static_cast<std::size_t>(row - options.begin()), name, value, error)) return false;
    }
    return true;
}

std::string commandUsage(const Command& command) {
    std::string text;
    const char* lead = "usage: ";
    appendSynopsis(text, command.synopsis, lead);
    text += command.about;
    text += "Options:\n";
    const auto lines = optionLines(command);
    std::size_t width = 18;
    for (const auto& [left, help] : lines)
        width = std::max(width, left.size());
    for (const auto& [left, help] : lines)
        text += "  " + left + std::string(width + 2 - left.size(), ' ') + std::string(help) + "\n";
    return text;
}

bool printToStandardOutput(std::string_view text, std::string& error) {
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (written && std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
    error = std::string("cannot write to standard output: ") +
            (errno != 0 ? std::strerror(errno) : "the write failed");
    std::clearerr(stdout);
    return false;
}

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "velmo: %s\n", message.c_str());
    return status;
}

int usageError(const Invocation& invocation, const std::string& message) {
    return fail(message + " (velmo " + std::string(invocation.command.name) + " --help shows how)",
                kExitUsage);
}

int showUsage(const Command& command) {
    return printOrFail(commandUsage(command));
}

int runVelmo(std::span<const char* const> arguments, std::span<const Command> commands) {
    if (arguments.size() < 2) {
        std::fputs(overview(commands).c_str(), stderr);
        return fail("no command: expected " + commandNames(commands) + " (velmo --help shows how)",
                    kExitUsage);
    }
    const std::string_view word = arguments[1];
    if (word == kHelpName || word == "-h") return printOrFail(overview(commands));
    if (word == "--version") return printOrFail("velmo, version " VELMO_VERSION "\n");
    for (const Command& command : commands)
        if (command.name == word) return command.run(Invocation{command, commands, arguments.subspan(2)});
    return fail("unknown command " + quotedLine(word) + ": expected " + commandNames(commands) +
                    " (velmo --help shows how)",
                kExitUsage);
}
