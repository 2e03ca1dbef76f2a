#pragma once
// Resource numbers of the CD grabbing windows: the grabber dialog 143, the progress window 108
// and the settings dialog 159, their controls and strings.

// Dialogs
constexpr int IDD_GRAB_PROGRESS = 108;  // "Reading RAW Audio..." (string 120)
constexpr int IDD_CDA_SETTINGS = 159;   // "Orvane Encoder - CDA Grabber - Settings"
// IDD_CDA_GRABBER (143) is in encoder/app/resource.h.

// Bitmaps
constexpr int IDB_GRABBER_BACKGROUND = 176;  // 640 x 178 tile of the grabber's background

// Strings
constexpr int IDS_READING_RAW = 120;  // "Reading RAW Audio..."
constexpr int IDS_SELECT_WAV_FOLDER = 121;
constexpr int IDS_NO_TRACK_SELECTED = 122;
constexpr int IDS_CANT_READ_RAW = 123;
constexpr int IDS_INVALID_PATH = 124;
constexpr int IDS_SELECT_ONE_TRACK = 125;
constexpr int IDS_REGISTRY_PATH = 113;
constexpr int IDS_NO_CD_PLAYER = 128;

// Dialog 108: grab progress
constexpr int IDC_GRAB_FILE = 1005;
constexpr int IDC_GRAB_GRABBED = 1083;
constexpr int IDC_GRAB_TRACKBAR = 1003;
constexpr int IDC_GRAB_TOTALBAR = 1004;
constexpr int IDC_GRAB_STATUS = 1131;

// Dialog 143: CD-Audio grabber
constexpr int IDC_CD_DRIVES = 1066;
constexpr int IDC_CD_REFRESH = 1081;
constexpr int IDC_CD_PLAYER = 1087;
constexpr int IDC_CD_DISCSIZE = 1068;
constexpr int IDC_CD_TRACKS = 1063;
constexpr int IDC_CD_SELSIZE = 1072;
constexpr int IDC_CD_SELTIME = 1071;
constexpr int IDC_CD_SELCOUNT = 1070;
constexpr int IDC_CD_ARTIST = 1074;
constexpr int IDC_CD_GENRE = 1075;
constexpr int IDC_CD_ALBUM = 1079;
constexpr int IDC_CD_YEAR = 1080;
constexpr int IDC_CD_COMMENT = 1082;
constexpr int IDC_CD_GETINFO = 1138;
constexpr int IDC_CD_INFOTOALL = 1077;
constexpr int IDC_CD_SETTINGS = 1091;
constexpr int IDC_CD_SELECTALL = 1073;
constexpr int IDC_CD_GRABNOW = 1069;
constexpr int IDC_CD_INTROONLY = 1145;
constexpr int IDC_CD_INTROSECS = 1146;
constexpr int IDC_CD_INTROSPIN = 1147;
constexpr int IDC_CD_COVER = 1148;       // "Co&ver...": choose the front cover, or none
constexpr int IDC_CD_COVERIMAGE = 1149;  // the front cover's thumbnail
constexpr int IDC_CD_COVERSIZE = 1150;   // its size in pixels, or "No cover"
constexpr int IDC_CD_DISC = 1151;        // "D&isc:" n or n/m of an album of several; empty: auto

// Dialog 159: CDA settings
constexpr int IDC_CDA_BUFFER = 1089;
constexpr int IDC_CDA_BUFFERSPIN = 1090;
// Verified ripping, below the read buffer size.
constexpr int IDC_CDA_OFFSET = 1200;       // read offset correction, samples
constexpr int IDC_CDA_OFFSETDRIVE = 1201;  // the drive model the offset is stored for
constexpr int IDC_CDA_READMODE = 1202;     // "Burst", "Secure", "Test and copy"
constexpr int IDC_CDA_ACCURATERIP = 1203;  // check the rip with the AccurateRip database
constexpr int IDC_CDA_CTDB = 1204;         // and with the CUETools database
// Additions to dialog 159: the read speed and de-emphasis.
constexpr int IDC_CDA_SPEED = 1300;
constexpr int IDC_CDA_DEEMPHASIS = 1301;
// Below them: the tray opened after a complete rip, and where the pregaps go.
constexpr int IDC_CDA_EJECT = 1302;    // "Eject the disc when the rip is complete" (Rip\Eject)
constexpr int IDC_CDA_PREGAPS = 1303;  // the pregaps' choice (Rip\Pregaps)
constexpr int IDC_CDA_IMAGE = 1304;    // "&Image and cue sheet": the disc as one file (Rip\Image)
