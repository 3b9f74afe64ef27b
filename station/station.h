// Everything one running station holds: the test in memory, the settings, the paths of
// its files and the view state that the enabling rules look at. The application object
// owns the one instance and hands it to the frame, the view and the router by reference.
#pragma once

#include <memory>
#include <string>

#include "core/records.h"
#include "storage/session_journal.h"
#include "storage/settings_file.h"
#include "storage/station_paths.h"

namespace vanta {

// The screens of the main view.
enum ViewModeValue : int {
    kViewIdle = 0,
    kViewCurveGraph = 1,
    kViewMeasurement = 3,
    kViewDigitalReport = 6,
    kViewCalibration = 9,
    kViewProfile = 12,
    kViewHistory = 13,
};

struct Station {
    // The records are large (a hundred repetitions); keep them off the stack.
    std::unique_ptr<TestRecord> testStore = std::make_unique<TestRecord>();
    TestRecord& test = *testStore;

    StationSettings settings;
    StationPaths paths;

    int viewMode = kViewIdle;
    int resultsAvailable = 0;     // 1: the test in memory may be reported
    int currentRepetition = 0;    // attempt being recorded / repetition on the curve graph
    int selectedRepetition = 0;   // repetition on the digital report
    int livePhase = 0;            // phase of the running attempt or calibration, 0 none
    // The report table's column widths are divided by this: the measurement screen sets it
    // from the font it shows a stored attempt in (24 / its height), and the digital report
    // keeps whatever it was left at.
    float columnWidthScale = 1.0f;
    std::string lastFilePath;     // the test file the data came from or went to
    // The register's id of the unsaved test's subject while the operator has chosen another
    // athlete for the next test and kept the test hers (No to the athlete question): her
    // test is journalled and saved under her, not under whoever is current. Empty
    // otherwise: the test's subject is the register's current one.
    std::string keptSubjectKey;
    // Every stored attempt of the unsaved test on disk at once; off until the window gives
    // it the data folder.
    SessionJournal journal;

    // --simulate: the simulated sensor box is the device the station finds.
    bool simulatedDevice = false;

    Station() = default;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;
};

}  // namespace vanta
