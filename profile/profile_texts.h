// The profile as the operator reads it: the table per side and load, the lines of the two
// fits and of the asymmetry, and the note on what was left out. The screen, the printed
// page and vantacheck-cli show these same texts, so a number reads alike everywhere.
// Numbers are formatted in the C library's numeric locale, as the station's reports are.
#pragma once

#include <string>
#include <vector>

#include "profile/profile.h"

namespace vanta {

// Column titles of the table, one line each.
const std::vector<std::string>& profileTableTitles();
// One row per side and load: left loads first, then right, each ascending. The file is the
// name the attempt's test was given by; `fileBaseName` keeps only its last component.
std::vector<std::vector<std::string>> profileTableRows(const Profile& profile, bool fileBaseName = false);
// Index of the file column, and the side of each row (for colours).
inline constexpr int kProfileFileColumn = 3;
std::vector<Side> profileRowSides(const Profile& profile);

// "Power-load right: ...", "Torque-velocity left: ...", one line per side that has a fit
// or a reason why not.
std::vector<std::string> profileFitLines(const Profile& profile);
// "Asymmetry at 10.00 kg: left stronger by 25.0 %", ..., "Asymmetry best: ...", or the
// line that says why there is none.
std::vector<std::string> profileAsymmetryLines(const Profile& profile);
// What was left out, or empty.
std::string profileNote(const Profile& profile);

// A torque-velocity line this loose (r2 below 0.5) says little: its T0, w0 and top power
// are stated as uncertain, and drawn greyed.
inline constexpr double kWeakFitR2 = 0.5;
bool weakFit(const TorqueVelocityFit& fit);

// Number texts of the table and lines.
std::string loadText(double kg);  // "10.00"

}  // namespace vanta
