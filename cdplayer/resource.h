#pragma once
// Resource numbers of the CD player: dialogs, commands, controls, strings, bitmaps and icons.
// The numbers are the contract between the logic and the Qt views that lay the windows out.

namespace orvane::cdplayer {

// ---------------------------------------------------------------------------------------------
// Dialogs
inline constexpr int IDD_ABOUTBOX = 100;     // "About Tarvo"
inline constexpr int IDD_SETUP_PAGE1 = 106;  // preferences page "General"
inline constexpr int IDD_SETUP_PAGE2 = 107;  // "Settings" (constructed, never shown)
inline constexpr int IDD_SETUP_PAGE3 = 108;  // "My Page" (constructed, never shown)
inline constexpr int IDD_CD_DATABASE = 198;  // "Orvane CD Player - CD Database ..."
inline constexpr int IDD_PROGRAM = 212;      // programmed order

// ---------------------------------------------------------------------------------------------
// Main window: buttons, lists and the slider
inline constexpr int IDC_INTRO_SCAN = 110;
inline constexpr int IDC_PROGRAM = 111;
inline constexpr int IDC_REPEAT = 112;
inline constexpr int IDC_RANDOM = 114;
inline constexpr int IDC_TRACK_LIST = 115;  // drop-down list of the disc's tracks
inline constexpr int IDC_LOGO = 116;        // an image only: drags the window like its body
inline constexpr int IDC_POWER = 117;
inline constexpr int IDC_PREVIOUS_TRACK = 151;
inline constexpr int IDC_SKIP_BACKWARDS = 152;  // hold to scan
inline constexpr int IDC_PLAY = 153;            // play or pause
inline constexpr int IDC_STOP = 154;
inline constexpr int IDC_SKIP_FORWARD = 155;  // hold to scan
inline constexpr int IDC_NEXT_TRACK = 156;
inline constexpr int IDC_EJECT = 157;
inline constexpr int IDC_SEEK_SLIDER = 200;  // song position
inline constexpr int IDC_CD_DATABASE = 202;
inline constexpr int IDC_SETTINGS = 634;  // "Change Configuration Settings"

// Menu commands
inline constexpr int ID_ON_TOP = 32772;
inline constexpr int ID_FULL_SIZE = 32773;
inline constexpr int ID_HIDE = 32774;
inline constexpr int ID_PREFERENCES = 32775;
inline constexpr int ID_APP_ABOUT = 57664;  // the framework's about command
inline constexpr int ID_APP_EXIT = 57665;   // the framework's exit command

// ---------------------------------------------------------------------------------------------
// Controls of the dialogs
inline constexpr int IDC_DB_TRACKS = 1002;    // CD database: list with edit field
inline constexpr int IDC_DB_SELECTED = 1003;  // CD database: number of the selected track
inline constexpr int IDC_DB_DISC_ID = 1004;   // CD database: the disc identity
inline constexpr int IDC_DISC_NAME = 1006;    // CD database: edit; programmed order: static
inline constexpr int IDC_SETUP_DRIVE = 1007;
inline constexpr int IDC_SETUP_STOP_ON_EXIT = 1008;
inline constexpr int IDC_SETUP_SAVE_SETTINGS = 1009;
inline constexpr int IDC_SETUP_PLAY_ON_STARTUP = 1010;
inline constexpr int IDC_SETUP_INTRO_SCAN = 1016;  // edit, 3 to 60 seconds
inline constexpr int IDC_SETUP_INTRO_SPIN = 1018;  // up-down control of 1016
inline constexpr int IDC_PROGRAM_TRACKS = 1011;
inline constexpr int IDC_PROGRAM_ORDER = 1012;
inline constexpr int IDC_PROGRAM_ADD = 1013;
inline constexpr int IDC_PROGRAM_REMOVE = 1014;
inline constexpr int IDC_PROGRAM_RESET = 1015;
inline constexpr int IDC_ABOUT_MEMORY = 284;  // free memory
inline constexpr int IDC_ABOUT_PRODUCT = 622;
inline constexpr int IDC_ABOUT_VERSION = 623;
inline constexpr int IDC_ABOUT_COPYRIGHT = 624;
inline constexpr int IDC_ABOUT_BUILD = 625;
inline constexpr int IDC_ABOUT_LEGAL = 626;
inline constexpr int IDC_ABOUT_CREDITS = 627;  // the scrolling credits area
inline constexpr int IDC_ABOUT_DISK = 1001;    // free disk space
inline constexpr int IDC_ABOUT_IMAGE = 1005;   // a double click runs the credits

// ---------------------------------------------------------------------------------------------
// Strings
inline constexpr int IDS_MEMORY_FORMAT = 102;  // "%lu KB"
inline constexpr int IDS_DISK_FORMAT = 103;    // "%lu KB Free on %c:"
inline constexpr int IDS_UNAVAILABLE = 104;    // "Unavailable"
inline constexpr int IDS_PREFERENCES = 105;    // "Preferences..."
inline constexpr int IDS_CREDITS = 631;
inline constexpr int IDS_LEGAL_WARNING = 632;
inline constexpr int IDS_CANT_OPEN_CDAUDIO = 61204;
inline constexpr int IDS_NO_DISC_LOADED = 61205;

// ---------------------------------------------------------------------------------------------
// Bitmaps and icons (":/bitmaps/<n>.png", ":/icons/<n>.png")
inline constexpr int IDR_MAINFRAME = 128;  // program and tray icon
inline constexpr int IDB_TOP_BAND = 132;
inline constexpr int IDB_MIDDLE_BAND = 134;
inline constexpr int IDB_EJECT_DOWN = 136;
inline constexpr int IDB_EJECT_UP = 137;
inline constexpr int IDB_SKIP_FORWARD_DOWN = 138;
inline constexpr int IDB_SKIP_FORWARD_UP = 139;
inline constexpr int IDB_NEXT_DOWN = 140;
inline constexpr int IDB_NEXT_UP = 141;
inline constexpr int IDB_PLAY_DOWN = 142;
inline constexpr int IDB_PLAY_UP = 143;
inline constexpr int IDB_SKIP_BACKWARDS_DOWN = 144;
inline constexpr int IDB_SKIP_BACKWARDS_UP = 145;
inline constexpr int IDB_PREVIOUS_DOWN = 146;
inline constexpr int IDB_PREVIOUS_UP = 147;
inline constexpr int IDB_STOP_DOWN = 148;
inline constexpr int IDB_STOP_UP = 149;
inline constexpr int IDB_LOGO = 181;
inline constexpr int IDB_POWER_UP = 182;
inline constexpr int IDB_DISPLAY = 183;
inline constexpr int IDB_LCD_FONT = 184;
inline constexpr int IDB_LOWER_PANEL = 185;
inline constexpr int IDB_DIALOG_TILE = 186;
inline constexpr int IDB_ABOUT_IMAGE = 189;
inline constexpr int IDB_PLAY_MARK = 190;
inline constexpr int IDB_BLANK_MARK = 191;
inline constexpr int IDB_PAUSE_MARK = 192;
inline constexpr int IDB_DATABASE_UP = 196;
inline constexpr int IDB_DATABASE_DOWN = 197;
inline constexpr int IDB_SETTINGS_UP = 201;
inline constexpr int IDB_SETTINGS_DOWN = 202;
inline constexpr int IDB_INTRO_UP = 203;
inline constexpr int IDB_INTRO_DOWN = 204;
inline constexpr int IDB_PROGRAM_UP = 205;
inline constexpr int IDB_PROGRAM_DOWN = 206;
inline constexpr int IDB_REPEAT_UP = 207;
inline constexpr int IDB_REPEAT_DOWN = 208;
inline constexpr int IDB_RANDOM_UP = 209;
inline constexpr int IDB_RANDOM_DOWN = 210;
inline constexpr int IDB_POWER_DOWN = 213;

}  // namespace orvane::cdplayer
