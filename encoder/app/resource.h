#pragma once
// Resource numbers of the encoder front-end: dialogs, controls, strings, bitmaps and icons.
// The numbers are the contract between the logic (which addresses controls through
// orvane::WindowPort) and the Qt views that lay the dialogs out.

// ---------------------------------------------------------------------------------------------
// Dialogs
constexpr int IDD_ABOUTBOX = 100;           // About box, opened by system command 16
constexpr int IDD_PROCESSING_STATUS = 102;  // "Orvane Encoder 2001 - Processing Status"
constexpr int IDD_SHEET = 103;              // the wizard sheet MLSheet (caption string 103)
constexpr int IDD_PAGE1 = 104;              // MLPage1 "Orvane Encoder 2001 - Input/Output"
constexpr int IDD_PAGE2 = 105;              // MLPage2 "Orvane Encoder 2001 - Options"
constexpr int IDD_PAGE3 = 106;              // MLPage3 "Orvane Encoder 2001 - Summary"
constexpr int IDD_CDA_GRABBER = 143;        // CD-Audio grabber dialog
constexpr int IDD_ID3TAG = 162;             // "ID3 Tag Information for selected Track/Song..."
constexpr int IDD_INTERNET_OPTIONS = 183;   // "Orvane Encoder - Options"
constexpr int IDD_WMA_SETTINGS = 619;       // CWMASettingsPage
constexpr int IDD_FORMAT_SETTINGS = 630;    // the FLAC and Opus options
constexpr int IDD_LIBRARY = 640;            // the music library's choices

// ---------------------------------------------------------------------------------------------
// Strings (the texts are in encoder/app/strings.h)
constexpr int IDS_ABOUTBOX = 101;      // "&About Orvane Encoder..."
constexpr int IDS_WIZARD = 103;        // "Wizard"
constexpr int IDS_ID3_BATCH = 130;     // ID3 tag refused in batch mode
constexpr int IDS_TIP_CDAUDIO = 131;   // "Encode CD-Audio Tracks."
constexpr int IDS_TIP_WAVFILES = 132;  // "Encode WAV File(s)."
constexpr int IDS_TIP_TOMP3 = 133;
constexpr int IDS_TIP_TOWAV = 134;
constexpr int IDS_TIP_CANCEL = 135;  // "Cancel the Current Operation."
constexpr int IDS_TIP_TOWMA = 136;
constexpr int IDS_TIP_OPTIONS = 137;

// ---------------------------------------------------------------------------------------------
// Bitmaps and icons (":/bitmaps/<n>.png", ":/icons/<n>.png")
constexpr int IDR_MAINFRAME = 128;  // program icon, also the status dialog's icon
constexpr int IDB_SPLASH = 141;     // splash window, 305 x 346
constexpr int IDB_SHARED1 = 152;    // shared bitmaps of the custom-drawn controls
constexpr int IDB_SHARED2 = 153;
constexpr int IDB_SPLASH_MASK = 157;  // black pixels are cut from the splash window
constexpr int IDB_SHARED3 = 163;
constexpr int IDB_DIGITS = 169;      // digit glyphs of the frame counters, 96 x 13
constexpr int IDB_BACKGROUND = 184;  // 312 x 312 tile of the status window's background

// ---------------------------------------------------------------------------------------------
// Commands, timers and wizard buttons
constexpr int IDM_ABOUTBOX = 16;   // About item of the window menu
constexpr int ID_WIZBACK = 12323;  // the sheet's Back, Next and Finish buttons
constexpr int ID_WIZNEXT = 12324;
constexpr int ID_WIZFINISH = 12325;
constexpr unsigned PSWIZB_BACK = 1;  // flags of WindowPort::SetWizardButtons
constexpr unsigned PSWIZB_NEXT = 2;
constexpr unsigned PSWIZB_FINISH = 4;
// ID_TIMER_PROGRESS, ID_TIMER_WMA, ID_TIMER_WMA_END: the job's timers (encoder/job/job_runner.h).

// ---------------------------------------------------------------------------------------------
// Dialog 102: processing status
constexpr int IDC_STATUS_INPUT = 1038;        // input file (ellipsis label)
constexpr int IDC_STATUS_OUTPUT = 1039;       // output file (ellipsis label)
constexpr int IDC_STATUS_ELAPSED = 1040;      // "00:00:00"
constexpr int IDC_STATUS_REMAINING = 1053;    // "00:00:00"
constexpr int IDC_STATUS_FPS = 1048;          // "FPS"
constexpr int IDC_STATUS_BITRATE = 1049;      // "0kbps", right-aligned
constexpr int IDC_STATUS_FILENO = 1056;       // "1"
constexpr int IDC_STATUS_FILECOUNT = 1057;    // "1"
constexpr int IDC_STATUS_COMPRESSION = 1058;  // "0MB Compressed to 0MB"
constexpr int IDC_STATUS_FRAME = 1105;        // digit counter "Current Frame", right anchored
constexpr int IDC_STATUS_FRAMES = 1104;       // digit counter "OF", left anchored
constexpr int IDC_STATUS_FILEBAR = 1030;      // gradient bar "Current File..."
constexpr int IDC_STATUS_OVERALLBAR = 1061;   // gradient bar "Overall Progress..."
constexpr int IDC_STATUS_LOG = 1059;          // "Advanced Encoding Status/Details:"
// The other files of a batch that runs several at once, a line each; hidden until there are.
constexpr int IDC_STATUS_OTHERS = 1190;
// Cancel is IDCANCEL (2), a drawn button "&Cancel" with tooltip string 135.

// ---------------------------------------------------------------------------------------------
// Dialog 104: MLPage1, input and output
constexpr int IDC_INPUT = 1000;           // edit, up to 512 characters
constexpr int IDC_OUTPUT = 1001;          // edit, up to 512 characters
constexpr int IDC_INPUT_LABEL = 1002;     // "&Input Filename:" / "&Input Folder:"
constexpr int IDC_OUTPUT_LABEL = 1003;    // "&Output Filename:" / "&Output Folder:"
constexpr int IDC_SOURCE_CAPTION = 1004;  // caption of the file source: "WAV File(s)" ...
constexpr int IDC_BATCH = 1054;           // check "Encode / Decode &Multiple Files ..."
constexpr int IDC_INPUT_BROWSE = 1055;    // "..."
constexpr int IDC_OUTPUT_BROWSE = 1056;   // "..."
constexpr int IDC_ID3TAG = 1081;          // "ID3 Tag"
constexpr int IDC_MARK_CDAUDIO = 1106;    // the "X" signs marking source and target
constexpr int IDC_MARK_WAVFILES = 1107;
constexpr int IDC_MARK_TOMP3 = 1108;
constexpr int IDC_MARK_TOWMA = 1109;
constexpr int IDC_MARK_TOWAV = 1115;
constexpr int IDC_MARK_TOFORMATS = 1118;  // marks the FLAC / Opus target
constexpr int IDC_SRC_CDAUDIO = 1110;     // source buttons
constexpr int IDC_SRC_WAVFILES = 1111;
constexpr int IDC_TO_MP3 = 1112;  // target buttons
constexpr int IDC_TO_WMA = 1113;
constexpr int IDC_TO_WAV = 1116;
constexpr int IDC_OPTIONS = 1133;     // "&Options"
constexpr int IDC_TO_FORMATS = 1117;  // "FLAC / &Opus", beside the target buttons
// check "Convert a Music &Library ...", below the batch check: the library as the source
constexpr int IDC_LIBRARY = 1191;

// ---------------------------------------------------------------------------------------------
// Dialog 640: the music library's choices
constexpr int IDC_LIB_SUBFOLDERS = 1192;  // check "Include &subfolders ..."
constexpr int IDC_LIB_SKIP = 1193;        // check "&Skip files already converted ..."
constexpr int IDC_LIB_TARGET = 1194;      // label: what the files become

// ---------------------------------------------------------------------------------------------
// Dialog 630: the FLAC and Opus options
constexpr int IDC_FMT_FLAC = 1180;        // radio "&FLAC (lossless)"
constexpr int IDC_FMT_OPUS = 1181;        // radio "&Opus"
constexpr int IDC_FMT_LEVEL = 1182;       // drop-down list "Compression &level:" 0 .. 8
constexpr int IDC_FMT_VERIFY = 1183;      // check "&Verify each file after encoding"
constexpr int IDC_FMT_BITRATE = 1184;     // drop-down list "&Bitrate (Kbps):" 32 .. 512
constexpr int IDC_FMT_REPLAYGAIN = 1185;  // check "&ReplayGain 2.0 loudness values"
// Below them, for a CD-Audio source: the other formats its tracks are also written as, from the
// same read ("CD-Audio: also write each track as").
constexpr int IDC_FMT_ALSO_FLAC = 1195;  // check "FLAC"
constexpr int IDC_FMT_ALSO_OPUS = 1196;  // check "Opus"
constexpr int IDC_FMT_ALSO_MP3 = 1197;   // check "MP3"
constexpr int IDC_FMT_ALSO_WAV = 1198;   // check "WAVE"

// ---------------------------------------------------------------------------------------------
// Dialog 105: MLPage2, MP3 options
constexpr int IDC_LAYER1 = 1005;  // "MP&1 (Layer 1)" .. "MP&3 (Layer 3)"
constexpr int IDC_LAYER2 = 1006;
constexpr int IDC_LAYER3 = 1007;
constexpr int IDC_MODE_STEREO = 1008;  // "&Stereo", "&Dual Channel", "&Joint Stereo", "&Mono"
constexpr int IDC_MODE_DUAL = 1009;
constexpr int IDC_MODE_JOINT = 1010;
constexpr int IDC_MODE_MONO = 1011;
constexpr int IDC_BITRATE = 1014;    // drop-down list "Total &Bitrate:"
constexpr int IDC_CRC = 1017;        // "E&rror Protection."
constexpr int IDC_PRIVATE = 1018;    // "&Private Bit."
constexpr int IDC_COPYRIGHT = 1019;  // "Material is &Copyrighted."
constexpr int IDC_ORIGINAL = 1020;   // "Material is &Original."
constexpr int IDC_EMPH_NONE = 1021;  // "&None", "&50/15 microseconds", "CCITT &J.17"
constexpr int IDC_EMPH_5015 = 1022;
// check "Replay&Gain 2.0 loudness values": the same setting as IDC_FMT_REPLAYGAIN
constexpr int IDC_MP3_REPLAYGAIN = 1186;
constexpr int IDC_EMPH_CCITT = 1023;
constexpr int IDC_QUALITY_HIFI = 1051;    // "HI-FI &Quality Mode"
constexpr int IDC_QUALITY_SPEED = 1052;   // "&High Speed Mode"
constexpr int IDC_BITRATE_SLIDER = 1103;  // 32 .. 320

// ---------------------------------------------------------------------------------------------
// Dialog 106: MLPage3, summary
constexpr int IDC_SUM_INPUT = 1024;      // "Input File:" (ellipsis label)
constexpr int IDC_SUM_OUTPUT = 1025;     // "Output File:" (ellipsis label)
constexpr int IDC_SUM_METHOD = 1026;     // "Compression Method:"
constexpr int IDC_SUM_BITRATE = 1041;    // "Bitrate:"
constexpr int IDC_SUM_MODE = 1044;       // "Mode:"
constexpr int IDC_SUM_PSYMODEL = 1045;   // "Psychoacoustic model:"
constexpr int IDC_SUM_EMPHASIS = 1046;   // "De-emphasis:"
constexpr int IDC_SUM_COPYRIGHT = 1047;  // "Material is Copyrighted:"
constexpr int IDC_SUM_ORIGINAL = 1048;   // "Material is Original:"
constexpr int IDC_SUM_CRC = 1049;        // "Use CRC:"
constexpr int IDC_SUM_PRIVATE = 1050;    // "Private:"

// ---------------------------------------------------------------------------------------------
// Dialog 162: ID3 tag
constexpr int IDC_TAG_ARTIST = 1074;   // "Artist &Name:", 29 characters
constexpr int IDC_TAG_GENRE = 1075;    // sorted drop-down list "&Music Genre:"
constexpr int IDC_TAG_TITLE = 1076;    // "&Track/Song Title:", 29 characters
constexpr int IDC_TAG_ALBUM = 1079;    // "Album Nam&e:", 29 characters
constexpr int IDC_TAG_YEAR = 1080;     // "&Year:", numbers only, 4 characters
constexpr int IDC_TAG_COMMENT = 1082;  // "Comm&ent:", 29 characters
