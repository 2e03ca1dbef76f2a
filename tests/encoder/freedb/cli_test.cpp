// dist/orvane-cddb as scripts use it: disc ids, entry files, and a look-up of the demo disc
// against the local server the same program runs.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "encoder/freedb/loopback_server.h"
#include "support/temp_dir.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace {

using orvane::test::DistDir;
using orvane::test::TempDir;
using orvane::test::WriteFile;

struct Outcome {
    int status = -1;
    std::string out;
};

// Runs orvane-cddb with arguments (shell words) and collects standard output, or standard
// error with errToOut.
Outcome Cddb(const std::string& args, bool errToOut = false) {
    const std::string command = "'" + (DistDir() / "orvane-cddb").string() + "' " + args +
                                (errToOut ? " 2>&1 >/dev/null" : " 2>/dev/null");
    Outcome r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// The raw reply of a server to one command, as bytes.
std::string RawGet(int port, const std::string& command) {
    std::string reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return reply;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string request =
            "GET /~cddb/cddb.cgi?cmd=" + command + "&hello=a+b+c+d&proto=6 HTTP/1.0\r\n\r\n";
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            char buf[4096];
            ssize_t n;
            while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
                reply.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return reply;
}

// `orvane-cddb serve` in the background; its first output line names the port.
class Server {
public:
    explicit Server(const std::string& extra = {}) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::close(fds[1]);
            const std::string program = (DistDir() / "orvane-cddb").string();
            const std::string command = "exec '" + program + "' serve --port 0 " + extra;
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string line;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(fds[0]);
        std::size_t colon = line.rfind(':');
        if (colon != std::string::npos) port_ = std::atoi(line.c_str() + colon + 1);
    }
    ~Server() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status;
            ::waitpid(pid_, &status, 0);
        }
    }
    int Port() const { return port_; }
    std::string Option() const { return "--server 127.0.0.1:" + std::to_string(port_); }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

TEST(CddbProgramTest, DiscIds) {
    Outcome r = Cddb("discid --length 157 150 2700 4725 7575 9525");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "20009b05 5 150 2700 4725 7575 9525 157\n");
    // The demo disc's table of contents gives the same numbers.
    r = Cddb("discid '" + (DistDir() / "demo" / "Demo.cue").string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 9), "20009b05 ");
    EXPECT_EQ(Cddb("discid --length x 150").status, 1);
    EXPECT_EQ(Cddb("discid").status, 1);
    EXPECT_EQ(Cddb("frobnicate").status, 2);
}

TEST(CddbProgramTest, ParsesEntryFiles) {
    TempDir dir;
    WriteFile(dir / "latin1.txt",
              "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\n# Disc length: 100 seconds\n#\n"
              "# Revision: 3\n# Submitted via: tool 2.1 beta\n#\nDISCID=00abcdef\n"
              "DTITLE=Ren\xe9 / Chansons\nDYEAR=1960\nTTITLE0=L'\xe9t\xe9\nEXTD=\nEXTT0=\n"
              "PLAYORDER=\n");
    Outcome r = Cddb("parse '" + (dir / "latin1.txt").string() + "' --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"artist\":\"Ren\xc3\xa9\",\"title\":\"Chansons\",\"year\":\"1960\",\"genre\":\"\","
              "\"tracks\":[\"L'\xc3\xa9t\xc3\xa9\"],\"track_artists\":[\"\"],\"extd\":[],\"extt\":["
              "],\"playorder\":[],\"offsets\":[150],\"length\":100,"
              "\"revision\":3,\"program\":\"tool\",\"version\":\"2.1\",\"comment\":\"beta\","
              "\"discid\":\"00abcdef\"}\n");
    r = Cddb("parse '" + (dir / "latin1.txt").string() + "'");
    EXPECT_NE(r.out.find("track 01: L'\xc3\xa9t\xc3\xa9\n"), std::string::npos);
    // A compilation in UTF-8 (as level 6 serves it): each track's artist beside its title.
    WriteFile(dir / "various.txt",
              "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\t9000\n#\n# Disc length: 300 "
              "seconds\n#\n# Revision: 1\n# Submitted via: tool 1\n#\nDISCID=0a012c02\n"
              "DTITLE=Various / \xe6\xad\x8c\xe9\x9b\x86\nDYEAR=2004\nDGENRE=J-Pop\n"
              "TTITLE0=\xe6\xad\x8c\xe6\x89\x8b / \xe6\x9b\xb2\nTTITLE1=Interlude\nEXTD=\n"
              "EXTT0=\nEXTT1=\nPLAYORDER=\n");
    r = Cddb("parse '" + (dir / "various.txt").string() + "' --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(
        r.out.find("\"year\":\"2004\",\"genre\":\"J-Pop\",\"tracks\":[\"\xe6\xad\x8c\xe6\x89"
                   "\x8b / \xe6\x9b\xb2\",\"Interlude\"],\"track_artists\":[\"\xe6\xad\x8c\xe6"
                   "\x89\x8b\",\"\"],"),
        std::string::npos)
        << r.out;
    r = Cddb("parse '" + (dir / "various.txt").string() + "'");
    EXPECT_NE(r.out.find("title: \xe6\xad\x8c\xe9\x9b\x86\nyear: 2004\ngenre: J-Pop\nlength: "),
              std::string::npos)
        << r.out;
    WriteFile(dir / "broken.txt", "# xmcd\nDISCID=1\n");
    r = Cddb("parse '" + (dir / "broken.txt").string() + "'", true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Track frame offsets"), std::string::npos);
    EXPECT_EQ(Cddb("parse '" + (dir / "missing.txt").string() + "'").status, 1);
    EXPECT_EQ(Cddb("parse '" + dir.path().string() + "'").status, 1);  // a folder
}

TEST(CddbProgramTest, LooksUpTheDemoDiscOnTheLocalServer) {
    Server server;
    ASSERT_GT(server.Port(), 0);
    const std::string cue = "'" + (DistDir() / "demo" / "Demo.cue").string() + "'";
    Outcome r = Cddb("query " + server.Option() + " " + cue);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "misc 20009b05 Orvane Demo Ensemble / Orvane Demo Disc\n");
    r = Cddb("read " + server.Option() + " misc 20009b05");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("track 05: Last Tram Home\n"), std::string::npos);
    r = Cddb("sites " + server.Option());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 10), "127.0.0.1 ");
    // Through a proxy: the server takes the absolute address; the site's own name is never
    // looked up.
    r = Cddb("read --proxy 127.0.0.1:" + std::to_string(server.Port()) +
             " --server cddb.invalid misc 20009b05 --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"discid\":\"20009b05\""), std::string::npos);
    // Failures: no entry, no match, nobody listening.
    r = Cddb("read " + server.Option() + " rock 20009b05", true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("401 rock 20009b05 No such CD entry"), std::string::npos);
    EXPECT_EQ(r.out.find("network error"), std::string::npos) << r.out;
    r = Cddb("query " + server.Option() + " --length 100 150 3000", true);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no match"), std::string::npos);
}

TEST(CddbProgramTest, ServesEntryFiles) {
    TempDir dir;
    WriteFile(dir / "entry.txt",
              "# xmcd\n#\n# Track frame offsets:\n#\t150\n#\n# Disc length: 100 seconds\n#\n"
              "# Revision: 1\n# Submitted via: tool 2.1\n#\nDISCID=02006201\n"
              "DTITLE=\xc3\x89milie / \xc3\x89t\xc3\xa9\nTTITLE0=Un\n");
    Server server("--entry '" + (dir / "entry.txt").string() + "' --category folk");
    ASSERT_GT(server.Port(), 0);
    Outcome r = Cddb("query " + server.Option() + " --length 100 150");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "folk 02006201 \xc3\x89milie / \xc3\x89t\xc3\xa9\n");
}

TEST(CddbProgramTest, ServesWindows1252EntriesAsUtf8) {
    TempDir dir;
    // Windows-1252, with a byte order mark that an editor added.
    WriteFile(dir / "entry.txt",
              "\xEF\xBB\xBF# xmcd\n#\n# Track frame offsets:\n#\t150\n#\n# Disc length: 100 "
              "seconds\n#\n# Revision: 1\n# Submitted via: tool 2.1\n#\nDISCID=02006201\n"
              "DTITLE=Ren\xe9 / Caf\xe9 \x80\nDGENRE=Chanson fran\xe7"
              "aise\nTTITLE0=Un\n");
    Server server("--entry '" + (dir / "entry.txt").string() + "' --category folk");
    ASSERT_GT(server.Port(), 0);
    const std::string reply = RawGet(server.Port(), "cddb+read+folk+02006201");
    ASSERT_NE(reply.find("charset=UTF-8"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\r\n# xmcd\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("DTITLE=Ren\xc3\xa9 / Caf\xc3\xa9 \xe2\x82\xac\r\n"), std::string::npos);
    // Lines the server does not interpret are converted too.
    EXPECT_NE(reply.find("DGENRE=Chanson fran\xc3\xa7"
                         "aise\r\n"),
              std::string::npos);
    Outcome r = Cddb("read " + server.Option() + " folk 02006201");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("title: Caf\xc3\xa9 \xe2\x82\xac\n"), std::string::npos) << r.out;
}

// A discid reply naming the disc id the request asked for: one release, the disc its second
// medium, with a title that needs more than Latin-1.
orvane::test::LoopbackReply MusicBrainzReply(const std::string& request) {
    const std::size_t at = request.find("/discid/") + 8;
    const std::string id = request.substr(at, request.find('?', at) - at);
    const std::string body =
        R"({"id":")" + id +
        R"(","releases":[{"id":"rel-1","title":"Ночь","date":"2004-10-01","country":"XE",
 "artist-credit":[{"name":"Band","joinphrase":""}],
 "media":[{"position":1,"discs":[]},{"position":2,"discs":[{"id":")" +
        id + R"("}],"tracks":[
  {"position":1,"title":"Dawn","artist-credit":[{"name":"Band","joinphrase":""}],
   "recording":{"id":"rec-1"}},
  {"position":2,"title":"Dusk","artist-credit":[{"name":"Guest","joinphrase":""}],
   "recording":{"id":"rec-2"}}]}]}]})";
    return {{"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body},
            0,
            false};
}

TEST(CddbProgramTest, MusicBrainzPrintsTheReleasesOfACueSheetsDisc) {
    TempDir dir;
    const std::string cue = orvane::test::WriteSimpleDisc(dir, {4500, 9000});
    bool notFound = false;
    orvane::test::LoopbackServer server([&](const std::string& request) {
        if (notFound)
            return orvane::test::LoopbackReply{
                {"HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}"},
                0,
                false};
        return MusicBrainzReply(request);
    });
    const std::string args = "musicbrainz --server http://" + server.Address() + " '" + cue + "'";
    Outcome r = Cddb(args + " --json");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, R"([
  {
    "artist": "Band",
    "country": "XE",
    "date": "2004-10-01",
    "disc_number": 2,
    "release_id": "rel-1",
    "title": "Ночь",
    "tracks": [
      {
        "artist": "Band",
        "number": 1,
        "recording_id": "rec-1",
        "title": "Dawn"
      },
      {
        "artist": "Guest",
        "number": 2,
        "recording_id": "rec-2",
        "title": "Dusk"
      }
    ]
  }
]
)");
    r = Cddb(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "rel-1 2004-10-01 XE disc 2/2 Band / Ночь\n  01 Band / Dawn\n  02 Guest / Dusk\n");
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("GET /ws/2/discid/"), 0u) << requests[0];
    EXPECT_NE(requests[0].find("User-Agent: Plimo/"), std::string::npos) << requests[0];
    notFound = true;
    r = Cddb(args, true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("orvane-cddb: no MusicBrainz release for disc "), 0u) << r.out;
    EXPECT_EQ(Cddb("musicbrainz --server http://" + server.Address()).status, 2);
    r = Cddb("musicbrainz '" + (dir / "none.cue").string() + "'", true);
    EXPECT_EQ(r.status, 1);
}

}  // namespace
