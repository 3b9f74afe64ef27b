// The station's folders as vantacheck-cli sees them: the same settings file and DATA folder
// the station started beside it (or, installed, in the user's folder) uses, so `--data`
// can default to the station's own data.
#pragma once

#include "storage/station_paths.h"

namespace vanta::cli {

StationPaths stationFolders();

}  // namespace vanta::cli
