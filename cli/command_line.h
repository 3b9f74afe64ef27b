// The command line of vantacheck-cli, shared with vantacheck-serial-and-pdf, which runs
// its commands that need Qt: one CLI11 app with a subcommand per command. Each command
// declares its words once (the usage and the help are made from them) into an options
// struct, and its body runs with that struct once the whole line is read.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace vanta::cli {

// A command line the station refuses: its own message on standard error, exit status 2.
struct Refused : CLI::ParseError {
    explicit Refused(const std::string& message) : CLI::ParseError("Refused", message, 2) {}
};

class CommandLine;

// One command (or one of archive's) while its words are declared.
class Command {
public:
    Command(CommandLine& line, CLI::App* app) : line_(line), app_(app) {}

    // A word without a value (--json).
    Command& flag(const std::string& name, bool& target, const std::string& help);
    // A word with a value: `parse` takes the text into the target, or the command line is
    // refused with `needs` (also when the value is missing).
    Command& value(const std::string& name, const std::string& valueName, const std::string& help,
                   const std::string& needs, std::function<bool(const std::string&)> parse);
    // A value that is any text but an empty one.
    Command& text(const std::string& name, std::string& target, const std::string& valueName, const std::string& help,
                  const std::string& needs);
    // A whole decimal number in [min, max] ("7x", "", "1e3" are refused).
    Command& integer(const std::string& name, long long& target, long long min, long long max,
                     const std::string& valueName, const std::string& help, const std::string& needs);
    // The words without a dash: one file, or any number of them.
    Command& file(const std::string& name, std::string& target, const std::string& help);
    Command& files(const std::string& name, std::vector<std::string>& target, const std::string& help);
    // The last word declared must be given (shown without brackets in the usage); without
    // it the command line is refused with `missing`, else with the command's incomplete().
    Command& required(const std::string& missing = "");
    // The message when a required word is missing, and when more files are given than taken.
    Command& incomplete(const std::string& message);
    Command& tooMany(const std::string& message);
    // The body, run once every word is read and checked; returns the exit status.
    Command& runs(std::function<int()> body);
    // One of this command's own commands (archive index, ...).
    Command sub(const std::string& name, const std::string& summary, const std::string& help);

    CLI::App* app() const { return app_; }

private:
    CommandLine& line_;
    CLI::App* app_;
    CLI::Option* last_ = nullptr;
};

class CommandLine {
public:
    explicit CommandLine(const std::string& program = "vantacheck-cli");

    // A command: its name, the one line of the overview, and what its --help says below
    // the usage (the options follow, each with its own line).
    Command add(const std::string& name, const std::string& summary, const std::string& help);

    // The overview without a command or with --help (exit status 0, or 2 without a
    // command), a command's own --help, or the command itself; an unknown one, or a word
    // it does not take, is an error (2).
    int run(int argc, char** argv);

private:
    friend class Command;
    struct Words {
        std::function<int()> body;
        std::string incomplete;
        std::string tooMany;
        std::map<const CLI::Option*, std::string> needs;
        std::map<const CLI::Option*, std::string> missing;
    };
    Words& words(const CLI::App* app) { return words_[app]; }
    int refuse(const CLI::App* command, const CLI::ParseError& e);
    int runParsed(CLI::App* command);

    CLI::App app_;
    std::map<const CLI::App*, Words> words_;
};

// The command reached by the words parsed: archive's own command where one was named.
CLI::App* chosenCommand(CLI::App& app);

}  // namespace vanta::cli
