// Where the technician's guide lies for a station, and the operator's words when it cannot
// be shown. The guide's HTML is made from docs/guide at build time; the package installs it
// with the other documentation.
#pragma once

#include <string>
#include <string_view>

namespace vanta {

inline constexpr std::string_view kInstalledUserGuide = "/usr/share/doc/vantacheck/guide/index.html";
inline constexpr std::string_view kMsgUserGuideMissing = "The user guide is not there.";
inline constexpr std::string_view kMsgUserGuideNotOpened = "No web browser could show the user guide.";

// An installed station shows the package's guide; a station started from a build folder
// (build/app/vantacheck) shows the guide made in that build (build/guide/html), so the
// pictures in it are the ones this build draws.
std::string userGuideIndex(const std::string& programDirectory, bool installed);

}  // namespace vanta
