#pragma once
// Command ids of the main window's menus and tool bar. The program's own
// commands keep the numbers its menus have always had; the file, edit,
// view, window and help commands use the numbers the original framework
// gave them, so every command of the window has one id.

namespace bexora::cmd {

// File
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileClose = 57602;
constexpr int kFileSave = 57603;
constexpr int kFileSaveAs = 57604;
constexpr int kFilePrintSetup = 57606;
constexpr int kFilePrint = 57607;
constexpr int kFilePrintPreview = 57609;
constexpr int kFileMru1 = 57616;  // to kFileMru1 + 3
constexpr int kAppExit = 57665;
constexpr int kExport = 32779;
// Edit
constexpr int kEditCut = 57635;
constexpr int kEditCopy = 57634;
constexpr int kEditPaste = 57637;
constexpr int kEditUndo = 57643;
constexpr int kSelectAll = 150;
// View
constexpr int kViewToolBar = 59392;
constexpr int kViewStatusBar = 59393;
constexpr int kListTop = 32782;
constexpr int kListBottom = 32783;
constexpr int kListLeft = 32784;
constexpr int kListRight = 32785;
// Go
constexpr int kAddFromPage = 133;
constexpr int kGoBack = 134;
constexpr int kGoForward = 135;
constexpr int kRefresh = 136;
constexpr int kStop = 137;
constexpr int kGoHome = 138;
// Bid
constexpr int kAddSingleItem = 139;
constexpr int kDeleteItem = 140;
constexpr int kBidOnItem = 141;
constexpr int kCancelPendingBid = 142;
constexpr int kUpdateSelected = 146;
constexpr int kUpdateAll = 147;
// Our own: the check ahead of a bid, on the selected items, now.
constexpr int kCheckNow = 148;
constexpr int kViewHistory = 149;
constexpr int kNotes = 32780;
// Tools
constexpr int kSiteTime = 143;
constexpr int kOptions = 144;
constexpr int kCheckUpdate = 145;
// Window
constexpr int kWindowNew = 57648;
constexpr int kWindowArrange = 57649;
constexpr int kWindowCascade = 57650;
constexpr int kWindowTile = 57651;
constexpr int kWindowSplit = 57653;
// Help
constexpr int kAppAbout = 57664;
constexpr int kHelpFinder = 57667;
constexpr int kSendEmail = 32767;
constexpr int kVisitOnline = 32768;
// Panes
constexpr int kNextPane = 57680;
constexpr int kPrevPane = 57681;

// The address bar and the status bar's countdown prompt.
constexpr int kAddressBarId = 180;
constexpr const char* kCountdownPrompt = "Update in: 00:00:00       ";

}  // namespace bexora::cmd
