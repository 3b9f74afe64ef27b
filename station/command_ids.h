// The station's command numbers. They are the numbers the station has always used for
// its menu items, toolbar buttons, dialog-bar controls and internal messages; the
// command table and every test refer to them by these names.
#pragma once

namespace vanta::cmd {

// File menu (the framework's own numbers)
inline constexpr int kFileNew = 57600;  // Ctrl+N only, no menu item
inline constexpr int kFileOpen = 57601;
inline constexpr int kFilePrintSetup = 57606;
inline constexpr int kFilePrint = 57607;
inline constexpr int kFilePrintPreview = 57609;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;

// The station's menu commands
inline constexpr int kSubjectInfo = 32771;
inline constexpr int kPerform = 32772;
inline constexpr int kSubjectInfoSetup = 32776;
inline constexpr int kFileSave = 32781;
inline constexpr int kGraphSetup = 32783;
inline constexpr int kDigitalReport = 32785;
inline constexpr int kCurveGraph = 32787;
inline constexpr int kCalibration = 32834;
inline constexpr int kProfile = 32840;    // Report > "Profile"
inline constexpr int kSwapSides = 32841;  // Setup > "Swap left and right"
inline constexpr int kHistory = 32842;    // Subject > "History"
inline constexpr int kCompare = 32843;    // curve bar: "Compare" with a second repetition
inline constexpr int kUserGuide = 32844;  // About > "User guide" and F1: the guide in the browser

// Internal: posted by the view's timers, sent by the frame after an open
inline constexpr int kLiveTick = 32791;         // timer 3, measurement
inline constexpr int kCalibrationTick = 154;    // timer 5, calibration
inline constexpr int kResetToIdle = 32822;

// Report bar (template 138)
inline constexpr int kReportRepetitionBox = 32801;
inline constexpr int kExportXml = 32812;

// Curve bar (template 140)
inline constexpr int kZoom = 32813;
inline constexpr int kCursorRightLeft = 32814;   // XR <<
inline constexpr int kCursorRightRight = 32815;  // XR >>
inline constexpr int kCursorLeftLeft = 32816;    // XL <<
inline constexpr int kCursorLeftRight = 32817;   // XL >>
inline constexpr int kY1Box = 1069;
inline constexpr int kY1Label = 1070;
inline constexpr int kY2Box = 1071;
inline constexpr int kY2Label = 1073;
inline constexpr int kRepetitionSelector = 1075;  // shares its number with IGNORE

// Measurement bar (template 144)
inline constexpr int kLoadList = 1072;
inline constexpr int kRadiusBox = 1039;
inline constexpr int kStart = 1074;
inline constexpr int kIgnore = 1075;  // a click; a selection change of 1075 is the curve bar's
inline constexpr int kBack = 1047;
inline constexpr int kExit = 1076;
inline constexpr int kSubjectLabel = 1078;  // "Subject: NAME", who is measured

// History bar (template 146)
inline constexpr int kHistoryLoadBox = 1077;  // "All loads", then each load tested

// File > "Open from archive...": a test of the lab's archive fetched and opened
inline constexpr int kOpenFromArchive = 32845;

// Profile bar (template 147)
inline constexpr int kProfileTestsBox = 1079;  // the test in memory, a day's tests, a span of days

}  // namespace vanta::cmd

namespace vanta {

// Dialog-bar templates
inline constexpr int kReportBarTemplate = 138;
inline constexpr int kCurveBarTemplate = 140;
inline constexpr int kMeasurementBarTemplate = 144;
// The calibration's bar: BACK alone, to abandon a calibration that never becomes still.
inline constexpr int kCalibrationBarTemplate = 145;
// The history's bar: the box of the load to show.
inline constexpr int kHistoryBarTemplate = 146;
// The profile's bar: the box of the tests the profile takes.
inline constexpr int kProfileBarTemplate = 147;

}  // namespace vanta
