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
inline constexpr int kFlashRenameDialog = 162;      // " Flash file rename"
inline constexpr int kButtonsDialog = 166;          // the sequence buttons panel
inline constexpr int kRunDialog = 168;              // " Sequence"
inline constexpr int kOptionsDialog = 173;          // " Program Options"
inline constexpr int kKeyCharacterDialog = 174;     // " Key character"
inline constexpr int kBrowseDialog = 182;
inline constexpr int kSelectFpgaDialog =
    183;  // "Dialog": the FPGA major of a unit           // " Browse file" / the log viewer
inline constexpr int kSetupDialog = 187;  // " Setup"
inline constexpr int kFontDialog = 181;   // " Create Font"

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
// The remote directory (dialog 160), its rename dialog (162) and the key prompt (174).
inline constexpr int kDoneButton = 1;                // a dialog's "Done" / "OK"
inline constexpr int kFileList = 1224;               // directory: the sector's files
inline constexpr int kSectorTabs = 1225;             // directory: "Sector 1" .. "Sector 5"
inline constexpr int kSpaceText = 1235;              // directory: free, used, recoverable
inline constexpr int kSectorNameText = 1236;         // directory: "System" .. "General"
inline constexpr int kFilenameField = 1239;          // directory: "Filename:"
inline constexpr int kRunFileButton = 1242;          // directory: "Run"
inline constexpr int kDeleteFileButton = 1240;       // directory: "Delete"
inline constexpr int kRenameFileButton = 1238;       // directory: "Rename"
inline constexpr int kUploadFileButton = 1244;       // directory: "Upload"
inline constexpr int kDownloadFileButton = 1269;     // directory: "Download"
inline constexpr int kEditFileButton = 1212;         // directory: "Edit"
inline constexpr int kRestoreSectorButton = 1234;    // directory: "Restore"
inline constexpr int kInitialSequenceButton = 1247;  // directory: "Initial sequence"
inline constexpr int kMapKeyButton = 1295;           // directory: "Map"
inline constexpr int kOldFilenameField = 1242;       // rename: "Old filename:"
inline constexpr int kNewFilenameField = 1241;       // rename: "New filename:"
inline constexpr int kKeyCharacterField = 1056;      // key prompt: "Key character:"
inline constexpr int kAsciiCharacterRadio = 1251;    // key prompt: "ASCII character"
inline constexpr int kKeyCodeRadio = 1252;           // key prompt: "Key code "

inline constexpr int kFpgaList = 1320;  // dialog 183: "FPGA %d.xx"

// The font dialog (181).
inline constexpr int kFontFaceList = 1136;    // the installed faces
inline constexpr int kFontStyleList = 1137;   // the face's styles
inline constexpr int kStrikeoutCheck = 1040;  // Effects: strikeout
inline constexpr int kUnderlineCheck = 1041;  // Effects: underline
inline constexpr int kFontScriptList = 1140;  // the face's scripts
inline constexpr int kFontWidthList = 1253;   // "Width:" 5..30
inline constexpr int kFontHeightList = 1254;  // "Height:" 7..60, or typed

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
