// What a data folder knows of the station that records into it: its name and how it names
// left and right (Setup > "Swap left and right"). A small text file beside
// archive-server.conf, "station.conf", that the station keeps current; not inside the
// index, so an index deleted and built again takes the same facts for the same tests
// (`archive index --data DIR` reads them), and not in the settings file, whose 96 bytes
// older stations read and write.
//
//   # written by the station: its name and sides setting for the tests of this folder
//   name=Station B
//   sides=swapped
#pragma once

#include <optional>
#include <string>

namespace vanta::archive {

inline constexpr const char* kStationFactsFileName = "station.conf";

struct StationFacts {
    std::string name;                  // "" when the file does not say
    std::optional<bool> sidesSwapped;  // unset when the file does not say
};

// <dataDirectory>/station.conf
std::string stationFactsFile(const std::string& dataDirectory);

// The facts the folder holds; nothing set when it holds none (no file, or lines it does
// not know, which are passed by).
StationFacts readStationFacts(const std::string& dataDirectory);

// Writes the facts (the file replaced whole, never half written) unless the file already
// says exactly this; false with the system's reason in *why when it cannot be written.
bool writeStationFacts(const std::string& dataDirectory, const StationFacts& facts, std::string* why = nullptr);

// Setup changed the sides: the folder's facts say so from now on, its name kept.
bool keepStationSides(const std::string& dataDirectory, bool sidesSwapped, std::string* why = nullptr);

}  // namespace vanta::archive
