// libFuzzer target: the settings reader on any bytes. A file with the station's tag gives
// values that, written again, are the file's first 96 bytes; what is read short keeps the
// defaults beyond it; anything else leaves the defaults untouched.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "storage/settings_file.h"

using namespace vanta;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = ::memfd_create("cfg", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    StationSettings settings;
    const SettingsLoad result = loadSettings("/proc/self/fd/" + std::to_string(fd), settings);
    ::close(fd);
    const std::string written = encodeSettings(settings);
    const std::string defaults = encodeSettings(StationSettings{});
    // 96 bytes, or 97 with the byte of swapped sides set.
    bool sound = written.size() == static_cast<size_t>(kSettingsFileSize) ||
                 (written.size() == static_cast<size_t>(kSettingsFileSizeSidesSwapped) && written.back() != 0);
    switch (result) {
        case SettingsLoad::Loaded:
            sound = sound && size >= written.size() && std::memcmp(written.data(), data, written.size()) == 0;
            break;
        case SettingsLoad::Short: {
            // Every whole 32-bit value read is taken, nothing after it.
            const size_t taken = size < 15 ? 0 : 15 + (size - 15) / 4 * 4;
            sound = sound && size < written.size() && taken >= 15 &&
                    std::memcmp(written.data(), data, taken) == 0 &&
                    written.compare(taken, std::string::npos, defaults, taken, std::string::npos) == 0;
            break;
        }
        case SettingsLoad::Incompatible:
        case SettingsLoad::Missing: sound = sound && written == defaults; break;
    }
    if (!sound) {
        std::fprintf(stderr, "settings read wrongly (result %d)\n", static_cast<int>(result));
        std::abort();
    }
    return 0;
}
