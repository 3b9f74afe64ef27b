#include "cli/output_file.h"

#include <sys/stat.h>

#include <memory>

#include "cli/commands.h"
#include "storage/test_file.h"

namespace vanta::cli {

std::string refusedOutput(const std::string& command, const std::string& option, const std::string& output,
                          bool overwrite, const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs)
        if (isSameFile(input, output))
            return option + " " + output + " is the test file " + input + " itself; it would be overwritten";
    struct stat st {};
    if (::lstat(output.c_str(), &st) != 0) return {};
    if (!overwrite) return output + " exists; " + command + " replaces a file only with --overwrite";
    // A lab's test is its only record: one that reads as a test (indexed or not) is never
    // replaced, however it was named.
    auto test = std::make_unique<TestRecord>();
    if (readTestFile(output, *test, nullptr, SampleStorage::Discard))
        return output + " is a test file; " + command + " never replaces a test";
    return {};
}

}  // namespace vanta::cli
