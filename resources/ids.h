// Dialog numbers and control ids of the program's windows. Every Qt dialog and control that
// has a number gets it as its object name ("dialog135", "id1285"), so that tests and
// screenshots find them. Controls without a number get a descriptive object name.
#pragma once

namespace qm::ids {

// Dialogs.
inline constexpr int kAboutDialog = 103;            // " About"
inline constexpr int kVideoInputDialog = 129;       // " Video Input Settings"
inline constexpr int kVideoOutputDialog = 130;      // " Video Output Settings"
inline constexpr int kSetupIpDialog = 133;          // " Setup IP" (remote access enabled)
inline constexpr int kAlignmentDialog = 135;        // " Monitor Alignment"
inline constexpr int kResetDialog = 137;            // " Reset"
inline constexpr int kKeypadDialog = 141;           // " Sequence Keypad"
inline constexpr int kVersionDialog = 155;          // " Version Information"
inline constexpr int kRemoteDirectoryDialog = 160;  // " Remote Directory"
inline constexpr int kFlashNameDialog = 161;        // " Flash filename"
inline constexpr int kButtonsDialog = 166;          // the sequence buttons panel
inline constexpr int kRunDialog = 168;              // " Sequence"
inline constexpr int kOptionsDialog = 173;          // " Program Options"
inline constexpr int kBrowseDialog = 182;           // " Browse file" / the log viewer
inline constexpr int kSetupDialog = 187;            // " Setup"

// Controls.
inline constexpr int kUnitRadio0 = 1200;         // unit selector: 1200..1203 units 0..3
inline constexpr int kUnitRadioAll = 1204;       // unit selector: "*", all units
inline constexpr int kTextField = 1212;          // the text of dialogs 161 and 182
inline constexpr int kSkipStdCheck = 1294;       // "Skip standard include file STD.INC"
inline constexpr int kFlashSector1Check = 1302;  // "Enable Flash sector 1 read/write"
inline constexpr int kLoggingCheck = 1065;       // "Logging enabled"
inline constexpr int kRemoteAccessCheck = 1303;  // "Enable Remote Access using TCP/IP"
inline constexpr int kViewLogButton = 1066;      // "View log"
inline constexpr int kClearLogButton = 1068;     // "Clear log"
inline constexpr int kWebButton = 1063;          // About: the maker's web address
inline constexpr int kMakerField = 1332;         // About: the maker
inline constexpr int kProductField = 1333;       // About: the product name
inline constexpr int kVersionField = 1334;       // About: "Version %s"
inline constexpr int kStatusBar = 10000;         // the main window's status bar
inline constexpr int kStopButton = 1243;         // runner: "Stop"
inline constexpr int kSkipButton = 1284;         // runner: "Skip"
inline constexpr int kPauseButton = 1285;        // runner: "Pause" / "Run"
inline constexpr int kLineNumberField = 1296;    // runner: the line being executed
inline constexpr int kHoursField = 1056;         // runner: run time 1056..1059 h, min, s, frame
inline constexpr int kOutputPane = 1300;         // runner: the output pane

// Menu commands of the main window.
inline constexpr int kCmdSetup = 32774;
inline constexpr int kCmdReset = 32777;
inline constexpr int kCmdUpdate = 32779;
inline constexpr int kCmdOptions = 32812;
inline constexpr int kCmdCreateFont = 32820;
inline constexpr int kCmdHardwareInfo = 32787;
inline constexpr int kCmdExit = 105;
inline constexpr int kCmdVideoIn = 32773;
inline constexpr int kCmdVideoOut = 32772;
inline constexpr int kCmdFlash = 32790;
inline constexpr int kCmdNew = 32785;
inline constexpr int kCmdEdit = 32784;
inline constexpr int kCmdRun = 32778;
inline constexpr int kCmdCompile = 32792;
inline constexpr int kCmdDownload = 32782;
inline constexpr int kCmdDecode = 32824;
inline constexpr int kCmdButtons = 32793;
inline constexpr int kCmdKeypad = 32781;
inline constexpr int kCmdAlign = 32776;
inline constexpr int kCmdHelp = 32786;
inline constexpr int kCmdAbout = 104;

}  // namespace qm::ids
