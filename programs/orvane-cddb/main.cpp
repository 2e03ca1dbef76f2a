// orvane-cddb: the CD database client and a small local server, for scripts and reviews.
//
//   orvane-cddb discid --length SECONDS OFFSET...      disc id from an entry's numbers
//   orvane-cddb discid DRIVE                           disc id of a drive ("D:") or a cue sheet
//   orvane-cddb parse FILE [--json]                    an xmcd entry file
//   orvane-cddb sites [OPTIONS]                        the server list
//   orvane-cddb query [OPTIONS] DRIVE | --length SECONDS OFFSET...
//   orvane-cddb read [OPTIONS] CATEGORY DISCID [--json]
//   orvane-cddb serve [--port N] [--bind ADDRESS] [--cue CUE] [--entry FILE [--category C]]...
//   orvane-cddb musicbrainz [--server URL] [--timeout MS] DRIVE|CUESHEET [--json]
// OPTIONS: --server HOST[:PORT][/PATH]  --proxy [USER:PASSWORD@]HOST:PORT  --email ADDRESS
//          --timeout MS
// The exit status is 0 on success and 1 on failure (2 for a usage error), with the reason on
// standard error.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "encoder/freedb/cddb_client.h"
#include "encoder/freedb/cddb_server.h"
#include "encoder/freedb/disc_ids.h"
#include "encoder/freedb/musicbrainz.h"
#include "encoder/freedb/xmcd.h"
#include "platform/base/command_line.h"
#include "platform/cdrom/drives.h"
#include "platform/cdrom/image_drive.h"

namespace {

using namespace orvane::freedb;

constexpr const char* kUsage =
    "usage: orvane-cddb discid --length SECONDS OFFSET...\n"
    "       orvane-cddb discid DRIVE|CUESHEET\n"
    "       orvane-cddb parse FILE [--json]\n"
    "       orvane-cddb sites [OPTIONS]\n"
    "       orvane-cddb query [OPTIONS] DRIVE|CUESHEET|--length SECONDS OFFSET...\n"
    "       orvane-cddb read [OPTIONS] CATEGORY DISCID [--json]\n"
    "       orvane-cddb serve [--port N] [--bind ADDRESS] [--cue CUESHEET]\n"
    "                         [--entry FILE [--category NAME]]...\n"
    "       orvane-cddb musicbrainz [--server URL] [--timeout MS] DRIVE|CUESHEET [--json]\n"
    "OPTIONS: --server HOST[:PORT][/PATH] --proxy [USER:PASSWORD@]HOST:PORT --email ADDRESS\n"
    "         --timeout MS\n";

constexpr const char* kHelp =
    "Usage: orvane-cddb discid --length SECONDS OFFSET...\n"
    "  or:  orvane-cddb discid DRIVE|CUESHEET\n"
    "  or:  orvane-cddb parse FILE [--json]\n"
    "  or:  orvane-cddb sites [OPTIONS]\n"
    "  or:  orvane-cddb query [OPTIONS] DRIVE|CUESHEET|--length SECONDS OFFSET...\n"
    "  or:  orvane-cddb read [OPTIONS] CATEGORY DISCID [--json]\n"
    "  or:  orvane-cddb serve [--port N] [--bind ADDRESS] [--cue CUESHEET]"
    " [--entry FILE [--category NAME]]...\n"
    "  or:  orvane-cddb musicbrainz [--server URL] [--timeout MS] DRIVE|CUESHEET [--json]\n"
    "\n"
    "The CD database client (CDDB over HTTP) and a small local server.\n"
    "\n"
    "  discid         the disc id, track offsets and seconds of a drive (D:), a cue sheet or\n"
    "                 the numbers an entry lists\n"
    "  parse          an xmcd entry file (UTF-8 or Latin-1)\n"
    "  sites          the server list\n"
    "  query          the matches of a disc: category, disc id, artist / title\n"
    "  read           one entry\n"
    "  serve          a local CD database server (the demo disc, or the entry files given)\n"
    "  musicbrainz    the MusicBrainz releases of a disc, by its MusicBrainz disc id\n"
    "                 (--server default https://musicbrainz.org)\n"
    "  --json         print the entry as JSON\n"
    "\n"
    "OPTIONS:\n"
    "  --server HOST[:PORT][/PATH]         default gnudb.gnudb.org:80/~cddb/cddb.cgi\n"
    "  --proxy [USER:PASSWORD@]HOST:PORT   an HTTP proxy\n"
    "  --email ADDRESS                     the address sent with each request\n"
    "  --timeout MS                        how long to wait for the server\n"
    "  --help                              show this help and end\n"
    "  --version                           show the version and end\n"
    "\n"
    "The exit status is 0 on success, 1 on failure and 2 for a wrong command line, with the\n"
    "reason on standard error.\n";

int Usage(const char* why = nullptr) {
    if (why) std::fprintf(stderr, "orvane-cddb: %s\n", why);
    std::fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "orvane-cddb: %s\n", why.c_str());
    return 1;
}

std::string Hex8(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(id));
    return text;
}

bool ParseNumber(const std::string& text, unsigned long& value) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return true;
}

struct Options {
    FreeDBSite site;
    std::string proxyHost, proxyUser, proxyPassword;
    int proxyPort = 0;
    std::string email;
    unsigned timeoutMs = 2000;
    bool json = false;
    std::vector<std::string> args;
    // serve
    int port = 8880;
    std::string bind = "127.0.0.1";
    std::string cue;
    std::vector<std::pair<std::string, std::string>> entries;  // file, category
};

// HOST[:PORT][/PATH], with an IPv6 address in brackets.
bool ParseServer(const std::string& text, FreeDBSite& site) {
    std::string rest = text;
    std::size_t slash = rest.find('/', rest.front() == '[' ? rest.find(']') : 0);
    if (slash != std::string::npos) {
        site.cgiPath = rest.substr(slash);
        rest.resize(slash);
    }
    std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos && (rest.front() != '[' || colon > rest.find(']'))) {
        unsigned long port;
        if (!ParseNumber(rest.substr(colon + 1), port) || port == 0 || port > 65535) return false;
        site.port = static_cast<int>(port);
        rest.resize(colon);
    }
    site.host = rest;
    return !site.host.empty();
}

bool ParseProxy(const std::string& text, Options& o) {
    std::string rest = text;
    if (std::size_t at = rest.rfind('@'); at != std::string::npos) {
        const std::string credentials = rest.substr(0, at);
        std::size_t colon = credentials.find(':');
        o.proxyUser = credentials.substr(0, colon);
        o.proxyPassword = colon == std::string::npos ? "" : credentials.substr(colon + 1);
        rest = rest.substr(at + 1);
    }
    std::size_t colon = rest.rfind(':');
    unsigned long port;
    if (colon == std::string::npos || !ParseNumber(rest.substr(colon + 1), port) || port == 0 ||
        port > 65535) {
        return false;
    }
    o.proxyHost = rest.substr(0, colon);
    o.proxyPort = static_cast<int>(port);
    return !o.proxyHost.empty();
}

// Reads the options; the other words stay in args. Returns a usage message or empty.
std::string ParseOptions(int argc, char** argv, int from, Options& o) {
    o.site.host = kMainServer;
    for (int i = from; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--server") {
            if (!value(v) || !ParseServer(v, o.site)) return "--server needs HOST[:PORT][/PATH]";
        } else if (a == "--proxy") {
            if (!value(v) || !ParseProxy(v, o)) return "--proxy needs [USER:PASSWORD@]HOST:PORT";
        } else if (a == "--email") {
            if (!value(o.email) || o.email.find('@') == std::string::npos)
                return "--email needs an address";
        } else if (a == "--timeout") {
            unsigned long ms;
            if (!value(v) || !ParseNumber(v, ms) || ms == 0) return "--timeout needs milliseconds";
            o.timeoutMs = static_cast<unsigned>(ms);
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--port") {
            unsigned long port;
            if (!value(v) || !ParseNumber(v, port) || port > 65535) return "--port needs a number";
            o.port = static_cast<int>(port);
        } else if (a == "--bind") {
            if (!value(o.bind)) return "--bind needs an address";
        } else if (a == "--cue") {
            if (!value(o.cue)) return "--cue needs a cue sheet";
        } else if (a == "--entry") {
            if (!value(v)) return "--entry needs a file";
            o.entries.push_back({v, "misc"});
        } else if (a == "--category") {
            if (!value(v) || o.entries.empty()) return "--category follows an --entry";
            o.entries.back().second = v;
        } else if (a == "--length") {
            o.args.push_back(a);
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return "unknown option " + a;
        } else {
            o.args.push_back(a);
        }
    }
    return {};
}

// The drive of a letter ("D:", "d") or the image drive of a cue sheet; null with why.
std::shared_ptr<orvane::cdrom::DiscDrive> DriveNamed(const std::string& name, std::string& why) {
    if ((name.size() == 2 && name[1] == ':') || name.size() == 1) {
        std::shared_ptr<orvane::cdrom::DiscDrive> drive = orvane::cdrom::DriveForLetter(name[0]);
        if (!drive) why = "no CD drive " + name;
        return drive;
    }
    std::string error;
    std::unique_ptr<orvane::cdrom::ImageDrive> image = orvane::cdrom::ImageDrive::Open(name, error);
    if (!image) why = error;
    return image;
}

// orvane-cddb musicbrainz: the releases of the disc in a drive or of a cue sheet.
int MusicBrainz(int argc, char** argv) {
    std::string server = kMusicBrainzServer, disc;
    unsigned timeoutMs = 15000;
    bool json = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--server") {
            if (i + 1 >= argc) return Usage("--server needs a URL");
            server = argv[++i];
        } else if (a == "--timeout") {
            unsigned long ms;
            if (i + 1 >= argc || !ParseNumber(argv[++i], ms) || ms == 0)
                return Usage("--timeout needs milliseconds");
            timeoutMs = static_cast<unsigned>(ms);
        } else if (a == "--json") {
            json = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return Usage(("unknown option " + a).c_str());
        } else if (disc.empty()) {
            disc = a;
        } else {
            return Usage("musicbrainz needs one DRIVE or CUESHEET");
        }
    }
    if (disc.empty()) return Usage("musicbrainz needs one DRIVE or CUESHEET");
    std::string why;
    std::shared_ptr<orvane::cdrom::DiscDrive> drive = DriveNamed(disc, why);
    if (!drive) return Fail(why);
    orvane::cdrom::DiscInfo info;
    if (orvane::cdrom::DriveResult r = drive->ReadDiscInfo(info); !r.ok)
        return Fail(drive->Name() + ": " + r.Describe());
    const std::string id = MusicBrainzId(info);
    if (id.empty()) return Fail(drive->Name() + ": the disc has no audio tracks");
    MbLookup found = LookUpMusicBrainz(server, id, timeoutMs);
    if (found.status == MbLookup::Status::NotFound)
        return Fail("no MusicBrainz release for disc " + id);
    if (found.status == MbLookup::Status::Failed) return Fail("musicbrainz: " + found.error);
    if (json) {
        nlohmann::json list = nlohmann::json::array();
        for (const MbRelease& r : found.releases) {
            nlohmann::json tracks = nlohmann::json::array();
            for (const MbTrack& t : r.tracks)
                tracks.push_back({{"number", t.number},
                                  {"title", t.title},
                                  {"artist", t.artist},
                                  {"recording_id", t.recordingId}});
            list.push_back({{"release_id", r.releaseId},
                            {"title", r.title},
                            {"artist", r.artist},
                            {"date", r.date},
                            {"country", r.country},
                            {"disc_number", r.discNumber},
                            {"tracks", tracks}});
        }
        // Texts the service sent as broken UTF-8 are printed with replacement characters.
        std::puts(list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return 0;
    }
    for (const MbRelease& r : found.releases) {
        std::printf("%s %s %s disc %d/%d %s / %s%s%s\n", r.releaseId.c_str(),
                    r.date.empty() ? "-" : r.date.c_str(),
                    r.country.empty() ? "-" : r.country.c_str(), r.discNumber, r.discCount,
                    r.artist.c_str(), r.title.c_str(), r.label.empty() ? "" : " | ",
                    r.label.c_str());
        for (const MbTrack& t : r.tracks)
            std::printf("  %02d %s / %s\n", t.number, t.artist.c_str(), t.title.c_str());
    }
    return 0;
}

// The disc of "--length SECONDS OFFSET..." or of a drive letter or cue sheet.
bool DiscFromArgs(const std::vector<std::string>& args, DiscLayout& disc, std::string& why) {
    if (args.empty()) {
        why = "no disc given";
        return false;
    }
    if (args[0] == "--length") {
        unsigned long seconds;
        if (args.size() < 3 || !ParseNumber(args[1], seconds)) {
            why = "--length needs SECONDS and at least one OFFSET";
            return false;
        }
        disc.offsets.clear();
        for (std::size_t i = 2; i < args.size(); ++i) {
            unsigned long offset;
            if (!ParseNumber(args[i], offset)) {
                why = "not a frame offset: " + args[i];
                return false;
            }
            disc.offsets.push_back(static_cast<std::uint32_t>(offset));
        }
        if (disc.offsets.size() > 99) {
            why = "a disc has at most 99 tracks";
            return false;
        }
        disc.leadOut = static_cast<std::uint32_t>(seconds * 75);
        return true;
    }
    if (args.size() != 1) {
        why = "give one drive or cue sheet";
        return false;
    }
    std::shared_ptr<orvane::cdrom::DiscDrive> drive = DriveNamed(args[0], why);
    if (!drive) return false;
    orvane::cdrom::Toc toc;
    orvane::cdrom::DriveResult r = drive->ReadToc(toc);
    if (!r.ok) {
        why = drive->Name() + ": " + r.Describe();
        return false;
    }
    if (toc.tracks.empty()) {
        why = drive->Name() + ": the disc has no tracks";
        return false;
    }
    disc = DiscLayout::Of(orvane::cdrom::DiscInfoFromToc(toc));
    return true;
}

void PrintInfo(const FreeDBDiscInfo& info, bool json) {
    if (json) {
        std::printf("%s\n", ToJson(info).c_str());
        return;
    }
    std::printf("discid: %s\n", Hex8(info.discId).c_str());
    std::printf("artist: %s\n", info.artist.c_str());
    std::printf("title: %s\n", info.title.c_str());
    if (!info.year.empty()) std::printf("year: %s\n", info.year.c_str());
    if (!info.genre.empty()) std::printf("genre: %s\n", info.genre.c_str());
    std::printf("length: %d seconds\n", info.discLength);
    std::printf("revision: %d\n", info.revision);
    std::printf("submitted via: %s %s%s%s\n", info.program.c_str(), info.version.c_str(),
                info.comment.empty() ? "" : " ", info.comment.c_str());
    std::printf("offsets:");
    for (int o : info.trackOffsets)
        std::printf(" %d", o);
    std::printf("\n");
    for (std::size_t i = 0; i < info.trackTitles.size(); ++i)
        std::printf("track %02zu: %s\n", i + 1, info.trackTitles[i].c_str());
    for (const std::string& line : info.extendedDisc)
        std::printf("extd: %s\n", line.c_str());
    for (std::size_t i = 0; i < info.extendedTrack.size(); ++i)
        std::printf("extt %02zu: %s\n", i + 1, info.extendedTrack[i].c_str());
    if (!info.playOrder.empty()) {
        std::printf("playorder:");
        for (int p : info.playOrder)
            std::printf(" %d", p);
        std::printf("\n");
    }
}

std::string ErrorText(int error) {
    switch (error) {
        case kWsaEinval:
            return "the host name cannot be resolved";
        case kWsaEtimedout:
            return "the server did not answer in time";
        case kWsaEconnrefused:
            return "the connection was refused";
        case kWsaEconnreset:
            return "the server closed the connection before the reply was complete";
        case kWsaEnobufs:
            return "the reply is larger than 4 MiB";
        case kWsaEprotonosupport:
            return "the reply could not be read or understood";
        case 10051:
            return "the network is unreachable";
        case 10065:
            return "the host is unreachable";
        default:
            return "network error " + std::to_string(error);
    }
}

int NetworkFailure(const char* what, const CFreeDBClient& client) {
    // A refusal the server stated in a complete reply leaves no error number: its own line
    // is the reason.
    if (client.LastError() == 0 && !client.RefusalLine().empty())
        return Fail(std::string(what) +
                    " failed: the server answered with an error\nserver: " + client.RefusalLine());
    std::string why = std::string(what) + " failed: " + ErrorText(client.LastError());
    if (client.ReaderError()) why += " (" + ErrorText(client.ReaderError()) + ")";
    if (!client.RefusalLine().empty()) why += "\nserver: " + client.RefusalLine();
    return Fail(why);
}

void Configure(CFreeDBClient& client, const Options& o) {
    client.SetTimeout(o.timeoutMs);
    client.SetEmail(o.email);
    if (!o.proxyHost.empty())
        client.SetProxy(o.proxyHost, o.proxyPort, o.proxyUser, o.proxyPassword);
}

CddbServer* gServer = nullptr;
void StopServer(int) {
    if (gServer) gServer->Stop();
}

int Serve(const Options& o) {
    std::vector<ServedEntry> entries;
    std::string why;
    for (const auto& [file, category] : o.entries) {
        ServedEntry e;
        if (!EntryFromFile(file, category, e, why)) return Fail(why);
        entries.push_back(std::move(e));
    }
    if (!o.cue.empty() || o.entries.empty()) {
        const std::string cue = o.cue.empty() ? orvane::cdrom::DemoDiscPath() : o.cue;
        if (cue.empty()) return Fail("the demo disc is missing; give --cue or --entry");
        ServedEntry e;
        if (!EntryFromCueSheet(cue, e, why)) return Fail(why);
        entries.push_back(std::move(e));
    }
    CddbServer server(entries);
    if (!server.Listen(o.bind, o.port, why)) return Fail(why);
    gServer = &server;
    std::signal(SIGINT, StopServer);
    std::signal(SIGTERM, StopServer);
    std::printf("serving on http://%s:%d/~cddb/cddb.cgi\n", o.bind.c_str(), server.Port());
    for (const ServedEntry& e : entries) {
        std::printf("  %s %s %s / %s (%zu tracks)\n", e.category.c_str(),
                    Hex8(e.info.discId).c_str(), e.info.artist.c_str(), e.info.title.c_str(),
                    e.info.trackTitles.size());
    }
    std::fflush(stdout);
    server.Serve();
    gServer = nullptr;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "orvane-cddb", kHelp); answered >= 0)
        return answered;
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "musicbrainz") return MusicBrainz(argc, argv);
    Options o;
    if (std::string why = ParseOptions(argc, argv, 2, o); !why.empty()) return Usage(why.c_str());

    if (command == "discid") {
        DiscLayout disc;
        std::string why;
        if (!DiscFromArgs(o.args, disc, why)) return Fail(why);
        std::printf("%s %zu", Hex8(ComputeDiscId(disc)).c_str(), disc.offsets.size());
        for (std::uint32_t off : disc.offsets)
            std::printf(" %u", off);
        std::printf(" %u\n", disc.Seconds());
        return 0;
    }
    if (command == "parse") {
        if (o.args.size() != 1) return Usage("parse needs one FILE");
        std::string text, why;
        if (!ReadTextFile(o.args[0], kMaxReplyBytes, text, why)) return Fail(why);
        FreeDBDiscInfo info;
        if (!ParseXmcdFile(text, info, &why)) return Fail(o.args[0] + ": " + why);
        PrintInfo(info, o.json);
        return 0;
    }
    if (command == "sites") {
        if (!o.args.empty()) return Usage("sites takes no arguments");
        CFreeDBClient client;
        Configure(client, o);
        std::vector<FreeDBSite> sites;
        if (!client.QuerySites(o.site, sites)) return NetworkFailure("sites", client);
        for (const FreeDBSite& s : sites) {
            std::printf("%s %d %s %c%03d.%02d %c%03d.%02d %s\n", s.host.c_str(), s.port,
                        s.cgiPath.c_str(), s.north ? 'N' : 'S', s.latitude / 60, s.latitude % 60,
                        s.east ? 'E' : 'W', s.longitude / 60, s.longitude % 60,
                        s.description.c_str());
        }
        return 0;
    }
    if (command == "query") {
        DiscLayout disc;
        std::string why;
        if (!DiscFromArgs(o.args, disc, why)) return Fail(why);
        CFreeDBClient client;
        Configure(client, o);
        std::vector<FreeDBMatch> matches;
        const std::uint32_t id = ComputeDiscId(disc);
        if (!client.QueryDisc(o.site, id, disc, matches)) {
            if (client.LastError() == 0) return Fail("no match for disc " + Hex8(id));
            return NetworkFailure("query", client);
        }
        for (const FreeDBMatch& m : matches) {
            std::printf("%s %s %s / %s\n", m.category.c_str(), Hex8(m.discId).c_str(),
                        m.artist.c_str(), m.title.c_str());
        }
        return 0;
    }
    if (command == "read") {
        if (o.args.size() != 2) return Usage("read needs CATEGORY and DISCID");
        char* end = nullptr;
        const unsigned long id = std::strtoul(o.args[1].c_str(), &end, 16);
        if (o.args[1].empty() || *end || o.args[1].size() > 8)
            return Usage("DISCID is hexadecimal");
        CFreeDBClient client;
        Configure(client, o);
        FreeDBDiscInfo info;
        if (!client.ReadDisc(o.site, static_cast<std::uint32_t>(id), o.args[0], info)) {
            if (client.LastError() == 0 && client.RefusalLine().empty())
                return Fail("read failed: the server sent no entry");
            return NetworkFailure("read", client);
        }
        PrintInfo(info, o.json);
        return 0;
    }
    if (command == "serve") {
        if (!o.args.empty()) return Usage("serve takes options only");
        return Serve(o);
    }
    return Usage(("unknown command " + command).c_str());
}
