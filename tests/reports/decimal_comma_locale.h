// A numeric locale with a decimal comma for the duration of a test, as a German or Czech
// lab's station adopts at start. Uses de_DE.UTF-8 where it is installed and otherwise
// compiles it into a private folder (localedef, with the locale sources of Debian's
// `locales` package); without either the test says so and skips.
#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vanta::test {

class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
            active_ = true;
            return;
        }
        folder_ = std::filesystem::temp_directory_path() / ("vanta-locale-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        const std::string command =
            "localedef -i de_DE -f UTF-8 '" + (folder_ / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            ::setenv("LOCPATH", folder_.c_str(), 1);
            active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        }
    }
    ~DecimalCommaLocale() {
        std::setlocale(LC_NUMERIC, "C");
        if (!folder_.empty()) {
            ::unsetenv("LOCPATH");
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }
    bool active() const { return active_; }

private:
    bool active_ = false;
    std::filesystem::path folder_;
};

}  // namespace vanta::test
