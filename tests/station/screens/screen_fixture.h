// The screens of the main view without a window: the station, scripted dialogs, a
// recording bar slot, view and report table, and the file commands the save question runs.
#pragma once

#include <gtest/gtest.h>

#include "station/command_ids.h"
#include "station/screens/station_screens.h"
#include "tests/support/screen_doubles.h"
#include "tests/support/station_doubles.h"

namespace vanta::testing {

class ScreenTest : public ::testing::Test {
protected:
    Station station;
    ScriptedDialogs dialogs;
    RecordingLibrary library;
    RecordingBars bars;
    RecordingView view;
    FileCommands files{station, dialogs, library};
    RecordingTable table;
    std::vector<std::string> opened;  // files handed to the desktop's program
    bool desktopOpens = true;         // whether the desktop has a program for them
    StationScreens screens{station, bars, view, dialogs, files, table,
                           [this](const std::string& path) {
                               opened.push_back(path);
                               return desktopOpens;
                           }};

    ScreenTest() {
        station.settings.subjectLibraryMode = 0;
        station.test.saved = 1;
    }

    bool run(int id, Notification n = Notification::Clicked) { return screens.command(id, n); }
};

}  // namespace vanta::testing
