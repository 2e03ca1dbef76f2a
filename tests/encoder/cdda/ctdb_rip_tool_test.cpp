// orvane-cdda rip against the CUETools database on the loopback: a disc and its entry made by
// an independent reference (tests/encoder/ctdb/make_ctdb_disc.py), ripped from an image drive
// whole, shifted and damaged; the damage within the parity's reach mended bit for bit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "tests/encoder/freedb/loopback_server.h"

namespace {

using orvane::test::LoopbackReply;
using orvane::test::LoopbackServer;
using orvane::test::ReadFile;
using orvane::test::TempDir;
using orvane::test::WriteFile;

class CtdbRipTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        disc_ = new TempDir;
        const std::string command = "/usr/bin/python3 '" ORVANE_SOURCE_DIR
                                    "/tests/encoder/ctdb/make_ctdb_disc.py' '" +
                                    disc_->path().string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::istringstream in(ReadFile(disc_->path() / "facts.txt"));
        std::string key, value;
        while (in >> key && std::getline(in >> std::ws, value))
            facts_[key] = value;
    }
    static void TearDownTestSuite() { delete disc_; }

    void SetUp() override {
        std::filesystem::create_directories(dir_ / "config" / "orvane");
        Configure("");
    }
    void Configure(const std::string& faults) {
        std::string conf =
            "real_drives = no\nimage = " + (disc_->path() / "disc.cue").string() + "\n";
        if (!faults.empty()) conf += "faults = " + faults + "\n";
        WriteFile(dir_ / "config" / "orvane" / "drives.conf", conf);
    }
    // The database's answers: the entry of the reference disc (at offset, when given), its
    // parity served in the ranges asked for.
    LoopbackReply Answer(const std::string& request, const std::string& suffix) {
        if (request.rfind("GET /lookup2.php?", 0) == 0) {
            const std::string xml =
                "<?xml version=\"1.0\" encoding=\"utf-8\"?><ctdb xmlns=\"http://db.cuetools.net/"
                "ns/mmd-1.0#\" xmlns:ext=\"http://db.cuetools.net/ns/ext-1.0#\"><entry "
                "confidence=\"3\" crc32=\"" +
                facts_["crc32" + suffix] +
                "\" id=\"77\" npar=\"16\" "
                "stride=\"5880\" syndrome=\"" +
                facts_["syndrome" + suffix] + "\" hasparity=\"/parity/77\" trackcrcs=\"" +
                facts_["trackcrcs"] + "\" toc=\"" + facts_["toc"] + "\" /></ctdb>";
            return {{"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" + xml}};
        }
        std::smatch m;
        if (std::regex_search(request, m, std::regex("Range: bytes=0-([0-9]+)\r\n"))) {
            const std::string parity = ReadFile(disc_->path() / "parity.bin");
            const std::string part = parity.substr(0, std::stoul(m[1]) + 1);
            return {
                {"HTTP/1.0 206 Partial Content\r\nContent-Type: application/octet-stream\r\n"
                 "Content-Length: " +
                 std::to_string(part.size()) + "\r\n\r\n" + part}};
        }
        return {{"HTTP/1.0 404 Not Found\r\n\r\n"}};
    }
    struct Run {
        int status = -1;
        std::string out, err, log;
    };
    Run Rip(const std::string& folder, const std::string& args) {
        std::error_code gone;
        std::filesystem::remove_all(dir_ / folder, gone);
        std::filesystem::create_directories(dir_ / folder);
        const std::string command =
            "cd '" + dir_.path().string() + "' && XDG_CONFIG_HOME='" + (dir_ / "config").string() +
            "' ORVANE_CD_IMAGES= '" + (orvane::test::DistDir() / "orvane-cdda").string() +
            "' rip D: " + folder + " --format wav --json " +
            (args.find("--accuraterip-server") == std::string::npos ? "--no-accuraterip " : "") +
            args + " >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        Run r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(dir_ / "out.txt");
        r.err = ReadFile(dir_ / "err.txt");
        r.log = ReadFile(dir_ / folder / "Rip.log");
        return r;
    }
    // orvane-cdda verify with args.
    Run Verify(const std::string& args) {
        const std::string command = "cd '" + dir_.path().string() + "' && '" +
                                    (orvane::test::DistDir() / "orvane-cdda").string() +
                                    "' verify --no-accuraterip " + args + " >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        Run r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = ReadFile(dir_ / "out.txt");
        r.err = ReadFile(dir_ / "err.txt");
        return r;
    }
    std::string Samples(const std::string& folder, int track) {
        const std::string wave =
            ReadFile(dir_ / folder / ("Track" + std::to_string(track) + ".WAV"));
        return wave.size() < 44 ? std::string() : wave.substr(44);
    }
    std::string DiscTrack(int track) {
        const std::string disc = ReadFile(disc_->path() / "disc.bin");
        const std::size_t starts[] = {0, 120, 215, 287};
        return disc.substr(starts[track - 1] * 2352, (starts[track] - starts[track - 1]) * 2352);
    }
    static std::string Field(const std::string& json, const std::string& key) {
        std::smatch m;
        if (!std::regex_search(json, m,
                               std::regex("\"ctdb\": \\{.*\"" + key +
                                          "\": (\"[^\"]*\"|true|false|null|-?[0-9]+)")))
            return {};
        return m[1];
    }

    static TempDir* disc_;
    static std::map<std::string, std::string> facts_;
    TempDir dir_;
};

TempDir* CtdbRipTool::disc_ = nullptr;
std::map<std::string, std::string> CtdbRipTool::facts_;

TEST_F(CtdbRipTool, GoodAndShiftedRipsAreAccuratelyRippedAndAbsentDiscsSaidSo) {
    LoopbackServer server([&](const std::string& r) { return Answer(r, ""); });
    Run r = Rip("good", "--ctdb-server http://" + server.Address());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(r.out, "toc_id"), "\"" + facts_["tocid"] + "\"");
    EXPECT_EQ(Field(r.out, "status"), "\"verified\"");
    EXPECT_EQ(Field(r.out, "crc_match"), "true");
    EXPECT_NE(r.log.find("CTDB TOC id: " + facts_["tocid"] + "\n"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("\nCTDB: accurately ripped (confidence 3)\n"), std::string::npos) << r.log;
    // Every track, beside its AccurateRip lines.
    std::size_t at = 0;
    for (int n = 0; n < 3; ++n) {
        at = r.log.find("  CTDB: accurately ripped (confidence 3)\n", at + 1);
        EXPECT_NE(at, std::string::npos) << r.log;
    }
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Requests()[0].find("toc=" + facts_["toc"] + " "), std::string::npos);

    // The rip on disk, the disc's image (one file, one sheet) and a rip laid out as other
    // rippers write them (their own names; track 2's pregap at the end of the file before,
    // as its INDEX 00) verify alike.
    std::filesystem::create_directories(dir_ / "other");
    const std::string disc = ReadFile(disc_->path() / "disc.bin");
    const char* names[] = {"01 One.wav", "02 Two.wav", "03 Three.wav"};
    const std::size_t bounds[] = {0, 120, 215, 287};
    for (int i = 0; i < 3; ++i)
        WriteFile(
            dir_ / "other" / names[i],
            orvane::test::WaveWithData(
                2, 44100, 16, disc.substr(bounds[i] * 2352, (bounds[i + 1] - bounds[i]) * 2352)));
    WriteFile(dir_ / "other" / "Album.cue",
              "FILE \"01 One.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    INDEX 00 00:01:15\nFILE \"02 Two.wav\" WAVE\n"
              "    INDEX 01 00:00:00\nFILE \"03 Three.wav\" WAVE\n  TRACK 03 AUDIO\n"
              "    INDEX 01 00:00:00\n");
    // The same layout in FLAC files made by the format's own encoder, the sheet calling them
    // WAVE as rippers write it.
    std::filesystem::create_directories(dir_ / "flac");
    std::string flacCue = ReadFile(dir_ / "other" / "Album.cue");
    for (const char* name : names) {
        const std::string stem = std::filesystem::path(name).stem().string();
        ASSERT_EQ(std::system(("flac -s -o '" + (dir_ / "flac" / (stem + ".flac")).string() +
                               "' '" + (dir_ / "other" / name).string() + "'")
                                  .c_str()),
                  0);
        flacCue.replace(flacCue.find(name), std::string(name).size(), stem + ".flac");
    }
    WriteFile(dir_ / "flac" / "Album.cue", flacCue);
    const std::string asked = "--ctdb-server http://" + server.Address() + " ";
    for (const std::string& path : {std::string("good"), (disc_->path() / "disc.cue").string(),
                                    std::string("other"), std::string("flac")}) {
        Run v = Verify(asked + "'" + path + "'");
        EXPECT_EQ(v.status, 0) << v.out << v.err;
        EXPECT_NE(v.out.find("CTDB TOC id: " + facts_["tocid"]), std::string::npos) << v.out;
        EXPECT_NE(v.out.find("not asked                             accurately ripped "
                             "(confidence 3)\n    2  "),
                  std::string::npos)
            << v.out;
        EXPECT_NE(v.out.find("\n3 of 3 tracks verified\n"), std::string::npos) << v.out;
    }
    Run v = Verify(asked + "--json good");
    EXPECT_NE(v.out.find("\"verified\": true, \"tracks\": [{\"number\": 1, "), std::string::npos)
        << v.out;
    EXPECT_EQ(Field(v.out, "status"), "\"verified\"");
    v = Verify(asked + "nowhere");
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.err.find("no such folder or cue sheet: nowhere"), std::string::npos) << v.err;
    // The FLAC rip's table names its own sheet; a FLAC file of no CD audio is refused, and a
    // repair of FLAC files is refused before anything is written.
    v = Verify(asked + "--json flac");
    EXPECT_NE(v.out.find("{\"cue_sheet\": \"flac/Album.cue\""), std::string::npos) << v.out;
    v = Verify(asked + "--repair mended flac");
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.err.find("--repair writes rips of WAVE files only"), std::string::npos) << v.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "mended"));
    WriteFile(dir_ / "mono.wav", orvane::test::WaveWithData(1, 44100, 16, disc.substr(0, 4704)));
    ASSERT_EQ(std::system(("flac -s -f -o '" + (dir_ / "flac" / "02 Two.flac").string() + "' '" +
                           (dir_ / "mono.wav").string() + "'")
                              .c_str()),
              0);
    v = Verify(asked + "flac");
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.err.find("02 Two.flac: not CD audio (16-bit stereo at 44100 Hz)"),
              std::string::npos)
        << v.err;

    LoopbackServer shifted([&](const std::string& q) { return Answer(q, "_48"); });
    r = Rip("shifted", "--ctdb-server http://" + shifted.Address());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(r.out, "offset"), "48");
    EXPECT_NE(r.log.find("\nCTDB: accurately ripped with offset +48 (confidence 3)\n"),
              std::string::npos)
        << r.log;

    // AccurateRip out of reach: the database's entry of confidence 3 alone says the tracks
    // are accurately ripped, and no line says otherwise.
    r = Rip("either", "--ctdb-server http://" + server.Address() +
                          " --accuraterip-server http://127.0.0.1:1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("not accurately ripped"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("CTDB: accurately ripped (confidence 3)"), std::string::npos) << r.err;

    LoopbackServer none(
        [](const std::string&) { return LoopbackReply{{"HTTP/1.0 404 Not Found\r\n\r\n"}}; });
    r = Rip("absent", "--ctdb-server http://" + none.Address());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(r.out, "status"), "\"not-found\"");
    EXPECT_NE(r.log.find("\nCTDB: not present in database\n"), std::string::npos) << r.log;
    // Not asked: no word of it.
    r = Rip("plain", "");
    EXPECT_EQ(r.out.find("ctdb"), std::string::npos);
    EXPECT_EQ(r.log.find("CTDB"), std::string::npos);
}

TEST_F(CtdbRipTool, DamageWithinReachIsRepairedBitForBitAndBeyondItNothingIsWritten) {
    LoopbackServer server([&](const std::string& r) { return Answer(r, ""); });
    const std::string ctdb = "--ctdb-server http://" + server.Address();
    // Four strides of track 1 damaged (sectors 30 to 69).
    Configure("flip=30-69");
    Run r = Rip("told", ctdb);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(r.out, "status"), "\"differs\"");
    EXPECT_EQ(Field(r.out, "repairable"), "true");
    EXPECT_NE(r.log.find("can be repaired"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("  CTDB: differs in "), std::string::npos) << r.log;
    EXPECT_NE(Samples("told", 1), DiscTrack(1));
    // Verified on disk: the same verdict, and a failing exit status.
    Run v = Verify(ctdb + " told");
    EXPECT_EQ(v.status, 1) << v.out << v.err;
    EXPECT_NE(v.out.find("can be repaired"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("\n2 of 3 tracks verified\n"), std::string::npos) << v.out;
    // Mended into another folder: the whole rip there, the damaged one as it was.
    v = Verify(ctdb + " --repair fixed told");
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    for (int t = 1; t <= 3; ++t)
        EXPECT_TRUE(Samples("fixed", t) == DiscTrack(t)) << t;
    EXPECT_TRUE(ReadFile(dir_ / "fixed" / "Rip.cue") == ReadFile(dir_ / "told" / "Rip.cue"));
    EXPECT_NE(Samples("told", 1), DiscTrack(1));
    EXPECT_NE(v.out.find("CTDB: repaired track 1 at 00:00.30"), std::string::npos) << v.out;

    const std::size_t before = server.RequestCount();
    r = Rip("mended", ctdb + " --repair");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(r.out, "status"), "\"repaired\"");
    EXPECT_TRUE(Samples("mended", 1) == DiscTrack(1));
    EXPECT_TRUE(Samples("mended", 2) == DiscTrack(2));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "mended" / "Track1.WAV.damaged"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "mended" / "Track2.WAV.damaged"));
    EXPECT_TRUE(ReadFile(dir_ / "mended" / "Track1.WAV.damaged").substr(44) == Samples("told", 1));
    EXPECT_NE(r.log.find("CTDB: repaired track 1 at 00:00.30"), std::string::npos) << r.log;
    // Four rows are too few for four strides; eight mend them, and no more is fetched.
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), before + 3);
    EXPECT_NE(requests[before + 1].find("Range: bytes=0-94079\r\n"), std::string::npos);
    EXPECT_NE(requests[before + 2].find("Range: bytes=0-188159\r\n"), std::string::npos);

    // Ten strides: beyond 16 rows; reported, nothing written.
    Configure("flip=30-129");
    r = Rip("beyond", ctdb + " --repair");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(r.out, "status"), "\"differs\"");
    EXPECT_EQ(Field(r.out, "repairable"), "false");
    EXPECT_NE(r.log.find("CTDB: differs from the database, cannot be repaired"), std::string::npos)
        << r.log;
    EXPECT_NE(r.log.find("CTDB: cannot be repaired: more damage than the parity can mend"),
              std::string::npos)
        << r.log;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "beyond" / "Track1.WAV.damaged"));
    EXPECT_NE(Samples("beyond", 1), DiscTrack(1));
}

}  // namespace
