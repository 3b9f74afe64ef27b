// What every vantacheck program on the command line shares: the overview, --help made from
// the words each command declares, the choice of the command and the station's way of
// reporting an error.
#include "cli/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/commands.h"

namespace vanta::cli {

namespace {

const CLI::Option* helpOption(const CLI::App* app) { return app->get_help_ptr(); }

// The words of a command as its usage shows them, in the order declared: the files first,
// then the options; what may be left out in brackets.
std::string wordsOf(const CLI::App* app) {
    std::string out;
    auto put = [&](const std::string& word) { out += (out.empty() ? "" : " ") + word; };
    for (const CLI::Option* o : app->get_options()) {
        if (!o->get_positional() || o == helpOption(app)) continue;
        std::string word = o->get_name(true) + (o->get_expected_max() > 1 ? "..." : "");
        put(o->get_required() ? word : "[" + word + "]");
    }
    for (const CLI::Option* o : app->get_options()) {
        if (o->get_positional() || o == helpOption(app)) continue;
        std::string word = o->get_name(false, true);
        if (o->get_type_size() != 0 && !o->get_type_name().empty()) word += " " + o->get_type_name();
        put(o->get_required() ? word : "[" + word + "]");
    }
    return out;
}

std::string fullName(const CLI::App* app) {
    std::string name = app->get_name();
    for (const CLI::App* p = app->get_parent(); p; p = p->get_parent()) name = p->get_name() + " " + name;
    return name;
}

// The name of the command as typed first (archive for archive's own), for "see ... --help".
std::string topName(const CLI::App* app) {
    while (app->get_parent() && app->get_parent()->get_parent()) app = app->get_parent();
    return app->get_name();
}

class StationFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* app, std::string) const override {
        if (!app->get_parent())
            return "Usage: " + app->get_name() + " COMMAND [ARGS]   (" + app->get_name() + " COMMAND --help for more)\n";
        const auto subs = app->get_subcommands({});
        if (subs.empty()) return "Usage: " + fullName(app) + " " + wordsOf(app) + "\n";
        std::string out;
        for (const CLI::App* s : subs)
            out += (out.empty() ? "Usage: " : "       ") + fullName(s) + " " + wordsOf(s) + "\n";
        return out;
    }

    // One line of an overview: the command with its words, and what it does.
    std::string make_subcommand(const CLI::App* sub) const override {
        const auto subs = sub->get_subcommands({});
        std::string words;
        for (const CLI::App* s : subs) words += (words.empty() ? "" : " | ") + s->get_name();
        if (subs.empty()) words = wordsOf(sub);
        return "  " + sub->get_name() + " " + words + "   " + sub->get_description() + "\n";
    }

    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode) const override {
        std::string out = make_usage(app, name);
        const auto subs = app->get_subcommands({});
        if (app->get_parent()) out += app->get_footer();
        std::string options;
        for (const CLI::Option* o : app->get_options()) {
            if (o == helpOption(app) || o->get_description().empty()) continue;
            std::string word = o->get_positional() ? o->get_name(true) : o->get_name(false, true);
            if (!o->get_positional() && o->get_type_size() != 0 && !o->get_type_name().empty())
                word += " " + o->get_type_name();
            word = "  " + word;
            word += word.size() + 2 <= kColumn ? std::string(kColumn - word.size(), ' ') : "\n" + std::string(kColumn, ' ');
            for (const char c : o->get_description()) {
                word += c;
                if (c == '\n') word += std::string(kColumn, ' ');
            }
            options += word + "\n";
        }
        if (!options.empty()) out += "\nOptions:\n" + options;
        if (!subs.empty()) {
            out += "\nCommands:\n";
            for (const CLI::App* s : subs) out += make_subcommand(s);
        }
        return out;
    }

private:
    static constexpr size_t kColumn = 20;
};

}  // namespace

int fail(const std::string& message) {
    std::cerr << message << "\n";
    return 2;
}

int writeStandardOutput(std::string_view text) {
    // Each step can fail on its own: fwrite hands a large text straight to the system, so
    // the flush afterwards may find nothing left to fail on, and the error flag stays.
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    const int writeError = errno;
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int flushError = errno;
    if (written && flushed && !std::ferror(stdout)) return 0;
    const int error = writeError ? writeError : flushError ? flushError : EIO;
    return fail(std::string("Cannot write the output: ") + std::strerror(error));
}

bool isSameFile(const std::string& input, const std::string& output) {
    struct stat a {}, b {};
    return ::stat(input.c_str(), &a) == 0 && ::stat(output.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool parseInteger(const std::string& text, long long min, long long max, long long& value) {
    if (text.empty()) return false;
    size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v < min || v > max) return false;
    value = v;
    return true;
}

Command& Command::flag(const std::string& name, bool& target, const std::string& help) {
    last_ = app_->add_flag(name, target, help);
    return *this;
}

Command& Command::value(const std::string& name, const std::string& valueName, const std::string& help,
                        const std::string& needs, std::function<bool(const std::string&)> parse) {
    last_ = app_->add_option_function<std::string>(
        name,
        [parse, needs](const std::string& text) {
            if (!parse(text)) throw Refused(needs);
        },
        help);
    // A word given twice counts with its last value, as it always did.
    last_->type_name(valueName)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    line_.words(app_).needs[last_] = needs;
    return *this;
}

Command& Command::text(const std::string& name, std::string& target, const std::string& valueName,
                       const std::string& help, const std::string& needs) {
    return value(name, valueName, help, needs, [&target](const std::string& t) {
        if (t.empty()) return false;
        target = t;
        return true;
    });
}

Command& Command::integer(const std::string& name, long long& target, long long min, long long max,
                          const std::string& valueName, const std::string& help, const std::string& needs) {
    return value(name, valueName, help, needs,
                 [&target, min, max](const std::string& t) { return parseInteger(t, min, max, target); });
}

Command& Command::file(const std::string& name, std::string& target, const std::string& help) {
    last_ = app_->add_option(name, target, help)->type_name("");
    return *this;
}

Command& Command::files(const std::string& name, std::vector<std::string>& target, const std::string& help) {
    last_ = app_->add_option(name, target, help)->type_name("");
    return *this;
}

Command& Command::required(const std::string& missing) {
    if (!last_) return *this;
    last_->required();
    if (!missing.empty()) line_.words(app_).missing[last_] = missing;
    return *this;
}

Command& Command::incomplete(const std::string& message) {
    line_.words(app_).incomplete = message;
    return *this;
}

Command& Command::tooMany(const std::string& message) {
    line_.words(app_).tooMany = message;
    return *this;
}

Command& Command::runs(std::function<int()> body) {
    line_.words(app_).body = std::move(body);
    return *this;
}

Command Command::sub(const std::string& name, const std::string& summary, const std::string& help) {
    CLI::App* s = app_->add_subcommand(name, summary);
    s->footer(help);
    return Command(line_, s);
}

CommandLine::CommandLine(const std::string& program) : app_("", program) {
    // Words a command does not take are refused with the station's message, not CLI11's.
    app_.allow_extras();
    app_.require_subcommand(0, 1);
    app_.formatter(std::make_shared<StationFormatter>());
}

Command CommandLine::add(const std::string& name, const std::string& summary, const std::string& help) {
    CLI::App* s = app_.add_subcommand(name, summary);
    s->footer(help);
    s->require_subcommand(0, 1);
    return Command(*this, s);
}

CLI::App* chosenCommand(CLI::App& app) {
    CLI::App* at = &app;
    for (;;) {
        const auto chosen = at->get_subcommands();
        if (chosen.empty()) return at;
        at = chosen.front();
    }
}

int CommandLine::refuse(const CLI::App* command, const CLI::ParseError& e) {
    const Words& w = words_[command];
    if (dynamic_cast<const CLI::RequiredError*>(&e)) {
        // "--out is required": the word's own message, else the command's.
        const std::string what = e.what();
        const CLI::Option* o = command->get_option_no_throw(what.substr(0, what.find(' ')));
        if (const auto found = w.missing.find(o); o && found != w.missing.end()) return fail(found->second);
        if (!w.incomplete.empty()) return fail(w.incomplete);
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
        // "--repetition: 1 required N missing": a word whose value is missing.
        const std::string what = e.what();
        const CLI::Option* o = command->get_option_no_throw(what.substr(0, what.find(':')));
        if (const auto found = w.needs.find(o); o && found != w.needs.end()) return fail(found->second);
    }
    return fail(e.what());
}

int CommandLine::runParsed(CLI::App* command) {
    const Words& w = words_[command];
    const std::vector<std::string> rest = command->remaining();
    const std::string see = " (see " + app_.get_name() + " " + topName(command) + " --help)";
    if (!command->get_subcommands({}).empty()) {
        if (rest.empty()) return fail(w.incomplete);
        return fail("Unknown " + command->get_name() + " command " + rest.front() + see);
    }
    for (const std::string& word : rest)
        if (word.size() > 1 && word[0] == '-') return fail("Unknown option " + word + see);
    if (!rest.empty()) return fail(w.tooMany.empty() ? command->get_name() + " takes no " + rest.front() : w.tooMany);
    if (!w.body) return fail("Unknown command " + command->get_name());
    return w.body();
}

int CommandLine::run(int argc, char** argv) {
    // A standard stream started closed ("2>&-") would hand its number to the next file
    // opened, and the messages meant for it would land in a test file being saved.
    // Taken in order, the lowest free number is the closed stream's own.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) (void)::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    const std::string overview = app_.help();
    if (argc < 2) {
        std::cerr << overview;
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") return writeStandardOutput(overview);
    const auto commands = app_.get_subcommands({});
    if (std::none_of(commands.begin(), commands.end(), [&](const CLI::App* c) { return c->get_name() == name; })) {
        std::cerr << "Unknown command " << name << "\n" << overview;
        return 2;
    }
    try {
        app_.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        const CLI::App* command = chosenCommand(app_);
        return writeStandardOutput(
            command->get_formatter()->make_help(command, command->get_name(), CLI::AppFormatMode::Normal));
    } catch (const CLI::ParseError& e) {
        return refuse(chosenCommand(app_), e);
    }
    return runParsed(chosenCommand(app_));
}

}  // namespace vanta::cli
