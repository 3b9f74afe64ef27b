// Where a command writes a file of its own (a page as PDF, a fetched test), what is already
// there is replaced only when the user said --overwrite; a test file never is, nor one of
// the command's own inputs.
#pragma once

#include <string>
#include <vector>

namespace vanta::cli {

// Empty when `command` may write `output`; otherwise the station's refusal.
std::string refusedOutput(const std::string& command, const std::string& option, const std::string& output,
                          bool overwrite, const std::vector<std::string>& inputs = {});

}  // namespace vanta::cli
