// The station's command numbers. They are the numbers the station has always used for
// its menu items, toolbar buttons, dialog-bar controls and internal messages; the
// command table and every test refer to them by these names.
#pragma once

namespace vanta::cmd {

// File menu (the framework's own numbers)
inline constexpr int FileNew = 57600;  // Ctrl+N only, no menu item
inline constexpr int FileOpen = 57601;
inline constexpr int FilePrintSetup = 57606;
inline constexpr int FilePrint = 57607;
inline constexpr int FilePrintPreview = 57609;
inline constexpr int AppAbout = 57664;
inline constexpr int AppExit = 57665;

// The station's menu commands
inline constexpr int SubjectInfo = 32771;
inline constexpr int Perform = 32772;
inline constexpr int SubjectInfoSetup = 32776;
inline constexpr int FileSave = 32781;
inline constexpr int GraphSetup = 32783;
inline constexpr int DigitalReport = 32785;
inline constexpr int CurveGraph = 32787;
inline constexpr int Calibration = 32834;

// Internal: posted by the view's timers, sent by the frame after an open
inline constexpr int LiveTick = 32791;         // timer 3, measurement
inline constexpr int CalibrationTick = 154;    // timer 5, calibration
inline constexpr int ResetToIdle = 32822;

// Report bar (template 138)
inline constexpr int ReportRepetitionBox = 32801;
inline constexpr int ExportXml = 32812;

// Curve bar (template 140)
inline constexpr int Zoom = 32813;
inline constexpr int CursorRightLeft = 32814;   // XR <<
inline constexpr int CursorRightRight = 32815;  // XR >>
inline constexpr int CursorLeftLeft = 32816;    // XL <<
inline constexpr int CursorLeftRight = 32817;   // XL >>
inline constexpr int Y1Box = 1069;
inline constexpr int Y1Label = 1070;
inline constexpr int Y2Box = 1071;
inline constexpr int Y2Label = 1073;
inline constexpr int RepetitionSelector = 1075;  // shares its number with IGNORE

// Measurement bar (template 144)
inline constexpr int LoadList = 1072;
inline constexpr int RadiusBox = 1039;
inline constexpr int Start = 1074;
inline constexpr int Ignore = 1075;  // a click; a selection change of 1075 is the curve bar's
inline constexpr int Back = 1047;
inline constexpr int Exit = 1076;

}  // namespace vanta::cmd

namespace vanta {

// Dialog-bar templates
inline constexpr int kReportBarTemplate = 138;
inline constexpr int kCurveBarTemplate = 140;
inline constexpr int kMeasurementBarTemplate = 144;

// The view's timer ids
inline constexpr int kLiveTimerId = 3;
inline constexpr int kCalibrationTimerId = 5;
inline constexpr int kTickPeriodMs = 100;

}  // namespace vanta
