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
inline constexpr int kTransferDialog = 139;         // " File transfer progress"
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
inline constexpr int kTransferStatus = 1071;     // transfer progress: the status line
inline constexpr int kTransferBar = 1052;        // transfer progress: the progress bar
inline constexpr int kSkipButton = 1284;         // runner: "Skip"
inline constexpr int kPauseButton = 1285;        // runner: "Pause" / "Run"
inline constexpr int kLineNumberField = 1296;    // runner: the line being executed
inline constexpr int kHoursField = 1056;         // runner: run time 1056..1059 h, min, s, frame
inline constexpr int kOutputPane = 1300;         // runner: the output pane
// The sequence editor: its window (dialog 143, menu 169) and the commands of its menu.
inline constexpr int kEditorDialog = 143;     // " Editor"
inline constexpr int kEditorMenu = 169;       // the editor's menu bar
inline constexpr int kEdNew = 32806;          // File: New
inline constexpr int kEdOpen = 32807;         // File: Open
inline constexpr int kEdSave = 32808;         // File: Save
inline constexpr int kEdSaveAs = 32809;       // File: Save As
inline constexpr int kEdPrint = 32816;        // File: Print
inline constexpr int kEdPrintSize8 = 32817;   // File: Print Text Size 8 Point (then 10, 12)
inline constexpr int kEdPreview = 32828;      // File: Print Preview
inline constexpr int kEdExportPdf = 32829;    // File: Export to PDF
inline constexpr int kEdExit = 32810;         // File: Exit
inline constexpr int kEdUndo = 32794;         // Edit: Undo
inline constexpr int kEdCut = 32795;          // Edit: Cut
inline constexpr int kEdCopy = 32796;         // Edit: Copy
inline constexpr int kEdPaste = 32797;        // Edit: Paste
inline constexpr int kEdDelete = 32798;       // Edit: Delete
inline constexpr int kEdFindReplace = 32801;  // Edit: Find/Replace
inline constexpr int kEdGotoLine = 32802;     // Edit: Goto Line
inline constexpr int kEdSelectAll = 32803;    // Edit: Select All
inline constexpr int kEdHelp = 32805;         // Help: Editor Help (Help: About is kCmdAbout)
// The editor's helper dialogs: Go to (171), Find / Replace (172) and Printing (180).
inline constexpr int kGotoDialog = 171;           // " Go to"
inline constexpr int kFindReplaceDialog = 172;    // " Find / Replace"
inline constexpr int kPrintingDialog = 180;       // " Printing"
inline constexpr int kFindField = 1289;           // Find / Replace: "Find:"
inline constexpr int kReplaceField = 1247;        // Find / Replace: "Replace:"
inline constexpr int kMatchCaseCheck = 1287;      // Find / Replace: " Match case"
inline constexpr int kWholeWordCheck = 1286;      // Find / Replace: " Match whole word"
inline constexpr int kSelectionOnlyRadio = 1290;  // Find / Replace: "Selection only"
inline constexpr int kWholeDocumentRadio = 1291;  // Find / Replace: "Whole document"
inline constexpr int kFindNextButton = 1330;      // Find / Replace: " Find next"
inline constexpr int kReplaceButton = 3;          // Find / Replace: " Replace"
inline constexpr int kReplaceAllButton = 4;       // Find / Replace: "Replace All"
inline constexpr int kDialogCancelButton = 2;     // a dialog's "Cancel"

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
