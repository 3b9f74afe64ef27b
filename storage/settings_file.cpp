#include "storage/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "storage/atomic_file.h"
#include "storage/file_tag.h"
#include "storage/little_endian.h"
#include "storage/posix_io.h"

namespace vanta {

namespace {

// The settings fields in file order, as 32-bit slots.
struct Slot {
    enum Kind { Int, Real } kind;
    void* target;
};

template <typename F>
void forEachSlot(StationSettings& s, F&& f) {
    GraphSettings& g = s.graph;
    f(Slot{Slot::Int, &g.graphY1Quantity});
    f(Slot{Slot::Int, &g.graphY2Quantity});
    for (int32_t& v : g.axisMin) f(Slot{Slot::Int, &v});
    for (int32_t& v : g.axisMax) f(Slot{Slot::Int, &v});
    for (int32_t& v : g.axisStep) f(Slot{Slot::Int, &v});
    f(Slot{Slot::Int, &g.autoscale});
    f(Slot{Slot::Real, &s.currentLoad});
    f(Slot{Slot::Real, &s.currentRadius});
}

}  // namespace

std::string encodeSettings(const StationSettings& settings) {
    StationSettings copy = settings;
    std::string out(kFileTag);
    forEachSlot(copy, [&](Slot slot) {
        putU32(out, slot.kind == Slot::Int ? static_cast<uint32_t>(*static_cast<int32_t*>(slot.target))
                                           : std::bit_cast<uint32_t>(*static_cast<float*>(slot.target)));
    });
    out.push_back(static_cast<char>(settings.subjectLibraryMode));
    if (settings.sidesSwapped != 0) out.push_back(static_cast<char>(settings.sidesSwapped));
    return out;
}

SettingsLoad loadSettings(const std::string& path, StationSettings& settings) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SettingsLoad::Missing;
    unsigned char bytes[kSettingsFileSizeSidesSwapped];
    // A read that fails part-way is taken as the file ending there, as before.
    const size_t got = readExactly(fd, bytes, sizeof bytes).done;
    ::close(fd);
    if (!startsWithFileTag(bytes, got)) return SettingsLoad::Incompatible;
    // Without the full 95 bytes the mode byte cannot be there either.

    // Values are taken only when all four of their bytes are there: half an integer is
    // not a setting.
    size_t at = kFileTag.size();
    forEachSlot(settings, [&](Slot slot) {
        if (at + 4 > got) {
            at = kSettingsFileSize;  // nothing after a short read is taken
            return;
        }
        const uint32_t v = getU32(bytes + at);
        if (slot.kind == Slot::Int) *static_cast<int32_t*>(slot.target) = static_cast<int32_t>(v);
        else *static_cast<float*>(slot.target) = std::bit_cast<float>(v);
        at += 4;
    });
    if (at + 1 > got) return SettingsLoad::Short;
    settings.subjectLibraryMode = bytes[at];  // at is 95 here: every slot before it was read
    // A file of 96 bytes names the sides as they are.
    settings.sidesSwapped = got > kSettingsFileSize ? bytes[kSettingsFileSize] : 0;
    return SettingsLoad::Loaded;
}

bool saveSettings(const std::string& path, const StationSettings& settings) {
    return writeFileAtomically(path, encodeSettings(settings));
}

}  // namespace vanta
