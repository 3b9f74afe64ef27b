#include "archive/station_facts.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "storage/atomic_file.h"

namespace vanta::archive {

namespace {

std::string trimmed(const std::string& text) {
    const size_t b = text.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    return text.substr(b, text.find_last_not_of(" \t\r") - b + 1);
}

std::string factsText(const StationFacts& facts) {
    std::string text =
        "# This station's name and its Setup > \"Swap left and right\", kept by the station for the\n"
        "# tests of this data folder: archive index --data takes them for the tests it reads.\n";
    if (!facts.name.empty()) text += "name=" + facts.name + "\n";
    if (facts.sidesSwapped) text += std::string("sides=") + (*facts.sidesSwapped ? "swapped" : "normal") + "\n";
    return text;
}

}  // namespace

std::string stationFactsFile(const std::string& dataDirectory) { return dataDirectory + "/" + kStationFactsFileName; }

StationFacts readStationFacts(const std::string& dataDirectory) {
    StationFacts facts;
    std::ifstream in(stationFactsFile(dataDirectory));
    std::string line;
    while (std::getline(in, line)) {
        const std::string l = trimmed(line);
        if (l.empty() || l[0] == '#') continue;
        const size_t eq = l.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = trimmed(l.substr(0, eq)), value = trimmed(l.substr(eq + 1));
        if (key == "name") facts.name = value;
        else if (key == "sides" && (value == "normal" || value == "swapped")) facts.sidesSwapped = value == "swapped";
    }
    return facts;
}

bool writeStationFacts(const std::string& dataDirectory, const StationFacts& facts, std::string* why) {
    if (dataDirectory.empty()) {
        if (why) *why = "No data folder is given for the station's facts";
        return false;
    }
    const std::string text = factsText(facts);
    {
        std::ifstream in(stationFactsFile(dataDirectory), std::ios::binary);
        const std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in && now == text) return true;  // a station started again rewrites nothing
    }
    int error = 0;
    if (writeFileAtomically(stationFactsFile(dataDirectory), text, &error)) return true;
    if (why) *why = stationFactsFile(dataDirectory) + ": " + std::strerror(error);
    return false;
}

bool keepStationSides(const std::string& dataDirectory, bool sidesSwapped, std::string* why) {
    StationFacts facts = readStationFacts(dataDirectory);
    facts.sidesSwapped = sidesSwapped;
    return writeStationFacts(dataDirectory, facts, why);
}

}  // namespace vanta::archive
