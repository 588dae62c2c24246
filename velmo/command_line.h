#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// velmo's command line: a table of peer commands (apply, stream, suggest ...), each with a table of
// options, and the one parser that reads them all.
//
// The parser reads, in any order among the operands:
//   --name VALUE, --name=VALUE   an option with a value (the value may start with '-': --down -4)
//   -x VALUE, -xVALUE            the same by its letter, for options that have one
//   --name, -x                   a switch
//   --help, -h                   the command's usage; what follows is not read
//   --                           the end of the options: every later word is an operand (a file
//                                named -x); so is "-" alone
// An option given again is taken again: a repeatable one appends, any other keeps the last value.

// Exit statuses every command shares.
inline constexpr int kExitFailure = 1;  // the work failed
inline constexpr int kExitUsage = 2;    // the command line makes no sense

// One option as the parser and the usage text see it.
struct OptionEntry {
    std::string_view name = {};   // "--out-dir"; empty for an option that only has a letter
    char letter = 0;              // 'o' for -o; 0 when it has no short form
    std::string_view value = {};  // the word shown for its value ("DIR"); empty for a switch
    std::string_view help = {};
};

// One row of a command's option table: the option, and how its value goes into the command's own
// options record. `option` is the spelling the user gave (for messages).
template <class Options>
struct Option {
    std::string_view name = {};
    char letter = 0;
    std::string_view value = {};
    std::string_view help = {};
    bool (*take)(Options& options, std::string_view option, std::string_view value,
                 std::string& error) = nullptr;
};

struct Command;

// A command as main runs it.
struct Invocation {
    const Command& command;
    std::span<const Command> commands;       // all of velmo's, for messages about another's option
    std::span<const char* const> arguments;  // the words after the command's name
};

// One of velmo's commands: a row of main's table.
struct Command {
    std::string_view name;      // "apply"
    std::string_view synopsis;  // its usage line(s) after "usage: ", each ending in '\n'
    std::string_view summary;   // one line for velmo --help
    std::string_view about;     // what its --help says before the options, each line ending in '\n'
    std::vector<OptionEntry> (*options)();
    int (*run)(const Invocation& invocation);  // returns the exit status
};

// The words of a command line that are not options, and whether --help was asked.
struct CommandLine {
    std::vector<std::string> operands;
    bool help = false;
};

using TakeOption =
    std::function<bool(std::size_t row, std::string_view option, std::string_view value, std::string& error)>;

// The one parser: reads the invocation's arguments against `options`, calling `take` with the row
// of each option given, in order. False with a one-line `error` for an unknown option (naming the
// commands it belongs to, if any), a missing or unwanted value, or whatever `take` refuses.
bool readCommandLine(const Invocation& invocation, std::span<const OptionEntry> options,
                     const TakeOption& take, CommandLine& line, std::string& error);

template <class Options, std::size_t count>
std::vector<OptionEntry> optionEntries(const Option<Options> (&table)[count]) {
    std::vector<OptionEntry> entries;
    for (const Option<Options>& row : table)
        entries.push_back({row.name, row.letter, row.value, row.help});
    return entries;
}

// The parser over a command's typed table: each value goes into `options` through its row's take.
template <class Options, std::size_t count>
bool parseCommandLine(const Invocation& invocation, const Option<Options> (&table)[count], Options& options,
                      CommandLine& line, std::string& error) {
    const std::vector<OptionEntry> entries = optionEntries(table);
    return readCommandLine(
        invocation, entries,
        [&](std::size_t row, std::string_view option, std::string_view value, std::string& problem) {
            return table[row].take(options, option, value, problem);
        },
        line, error);
}

// The command's usage: its synopsis, what it does and its options, generated from its table.
std::string commandUsage(const Command& command);

// Prints `text` on standard output and makes sure it got there (a full disk, a closed pipe).
bool printToStandardOutput(std::string_view text, std::string& error);

// "velmo: message" on standard error; returns `status`. The one way a command reports a failure.
int fail(const std::string& message, int status = kExitFailure);

// A bad command line: the message and where to read how, and kExitUsage.
int usageError(const Invocation& invocation, const std::string& message);

// For a command's --help: its usage on standard output; 0, or kExitFailure when it cannot be written.
int showUsage(const Command& command);

// velmo's main: `arguments` are main's argv (the program's name first). Runs --help, --version or the
// command named, from `commands`; nothing here knows any command.
int runVelmo(std::span<const char* const> arguments, std::span<const Command> commands);
