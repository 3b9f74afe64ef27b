// The station's settings file "vantacheck.cfg": 96 bytes, little-endian, no padding.
//   0  15  "VantaCheck_V1.1" (no length prefix)
//  15  72  graph settings: Y1, Y2, axisMin[5], axisMax[5], axisStep[5], autoscale (int32)
//  87   8  currentLoad, currentRadius (float32)
//  95   1  subjectLibraryMode
//  96   1  sidesSwapped, only when set: a station with the sides as they are writes the
//          96 bytes it always wrote, and older stations read a 97-byte file as before.
#pragma once

#include <cstdint>
#include <string>

namespace vanta {

inline constexpr int kGraphQuantities = 5;
inline constexpr int kSettingsFileSize = 96;
// With the byte of swapped sides.
inline constexpr int kSettingsFileSizeSidesSwapped = 97;

struct GraphSettings {
    int32_t graphY1Quantity = 0;
    int32_t graphY2Quantity = 3;
    int32_t axisMin[kGraphQuantities] = {-100, -90, -100, -200, -200};
    int32_t axisMax[kGraphQuantities] = {300, 270, 400, 1000, 2000};
    int32_t axisStep[kGraphQuantities] = {50, 50, 100, 100, 200};
    int32_t autoscale = 0;  // 0 = On, 1 = Off (the order of the axes dialog's buttons)

    bool operator==(const GraphSettings&) const = default;
};

struct StationSettings {
    GraphSettings graph;
    float currentLoad = 5.0f;     // kg
    float currentRadius = 25.0f;  // cm
    uint8_t subjectLibraryMode = 1;  // 1 Extended (subject register), 0 Abbreviated
    // Not 0: the sensor box is mounted the other way round, so a stroke of direction +1 is
    // the subject's left (the profile's side names). Kept as read, written when not 0.
    uint8_t sidesSwapped = 0;

    bool operator==(const StationSettings&) const = default;
};

enum class SettingsLoad {
    Loaded,        // all 96 bytes taken
    Missing,       // no file (first run): defaults, no message
    Incompatible,  // wrong magic: defaults kept; the operator is told "Incompatible data"
    Short,         // ends early: what was read whole is taken, the rest keeps its value
};

// Reads the file into `settings`. Only values read whole are taken over.
SettingsLoad loadSettings(const std::string& path, StationSettings& settings);
inline bool loaded(SettingsLoad r) { return r == SettingsLoad::Loaded; }

// Writes all 96 bytes (97 with sidesSwapped set) through AtomicFile (storage/atomic_file.h), so a failed write keeps
// the previous settings; false (silently) when the file cannot be written.
bool saveSettings(const std::string& path, const StationSettings& settings);

// The 96 (97) bytes themselves.
std::string encodeSettings(const StationSettings& settings);

}  // namespace vanta
