#include "station/user_guide.h"

#include <filesystem>

namespace vanta {

std::string userGuideIndex(const std::string& programDirectory, bool installed) {
    if (installed) return std::string(kInstalledUserGuide);
    const std::filesystem::path buildFolder = std::filesystem::path(programDirectory).parent_path();
    return (buildFolder / "guide" / "html" / "index.html").lexically_normal().string();
}

}  // namespace vanta
