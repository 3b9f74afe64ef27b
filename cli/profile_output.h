// What vantacheck-cli profile prints: the table and lines the station's Profile screen
// shows, or one JSON object with every number at full double precision.
#pragma once

#include <string>

#include "profile/profile.h"

namespace vanta::cli {

std::string profileText(const Profile& profile);
std::string profileJson(const Profile& profile);

}  // namespace vanta::cli
