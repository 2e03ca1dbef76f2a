#pragma once
// Resource numbers of the CD database dialogs: the server list 186, the match list 620 and the
// Internet options dialog 183 (its number is also in encoder/app/resource.h, where the wizard's
// "&Options" button asks for it).

constexpr int IDD_FREEDB_SERVERS = 186;  // "Orvane Encoder - Browse FreeDB Internet Servers"
constexpr int IDD_FREEDB_QUERY = 620;    // "Orvane Encoder - Get Track Names from Internet FreeDB"
constexpr int IDD_FREEDB_OPTIONS = 183;  // "Orvane Encoder - Options"

// Dialog 186
constexpr int IDC_SERVER_LIST = 1050;  // report list: "   Server Address   ", "   Location   "
// Dialogs 186 and 620
constexpr int IDC_FREEDB_LINK = 1144;    // "CD Database Provided by " + the service's domain
constexpr int IDC_FREEDB_STATUS = 1162;  // what a running command does, and for how long
// Dialog 620
constexpr int IDC_MATCH_LIST = 1143;  // report list: artist, title, category, disc id

// Dialog 183
constexpr int IDC_OPT_EFFECTS = 1134;      // check "Enable  &Window Animation Effects."
constexpr int IDC_OPT_SERVER = 1139;       // read-only edit, the CD database server
constexpr int IDC_OPT_BROWSE = 1081;       // "&Browse Servers..."
constexpr int IDC_OPT_USE_PROXY = 1140;    // check "&Proxy Server"
constexpr int IDC_OPT_PROXY = 1141;        // edit "Server:"
constexpr int IDC_OPT_PROXY_PORT = 1142;   // edit "Port:", digits only
constexpr int IDC_OPT_EMAIL = 1160;        // edit "E-mail:", the address the hello carries
constexpr int IDC_OPT_INFO_SOURCE = 1161;  // drop list "Track names from:", "CDInfoSource"
