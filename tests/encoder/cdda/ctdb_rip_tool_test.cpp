// orvane-cdda rip against the CUETools database on the loopback: a disc and its entry made by
// an independent reference (tests/encoder/ctdb/make_ctdb_disc.py), ripped from an image drive
// whole, shifted and damaged; the damage within the parity's reach mended bit for bit.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "encoder/app/profile_settings.h"
#include "platform/registry/winreg.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "tests/encoder/coverart/test_images.h"
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
                facts_["trackcrcs"] + "\" toc=\"" + facts_["toc"] + "\" />" + metadata_ + "</ctdb>";
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
        const std::string command =
            "cd '" + dir_.path().string() + "' && '" +
            (orvane::test::DistDir() / "orvane-cdda").string() + "' verify " +
            (args.find("--accuraterip-server") == std::string::npos ? "--no-accuraterip " : "") +
            args + " >out.txt 2>err.txt";
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
    std::string metadata_;  // the releases the lookup's reply names
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
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir_ / "mended"));  // nothing to mend
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

    // The same damaged rip in FLAC files with tags and a picture: mended into FLAC files that
    // keep them, checked by the format's own tools and decoded bit for bit.
    std::filesystem::create_directories(dir_ / "toldflac");
    std::string cue = ReadFile(dir_ / "told" / "Rip.cue");
    WriteFile(dir_ / "cover.png", orvane::test::TestPng());
    for (int t = 1; t <= 3; ++t) {
        const std::string name = "Track" + std::to_string(t);
        ASSERT_EQ(std::system(("cd '" + dir_.path().string() + "' && flac -s -T TITLE=Song" +
                               std::to_string(t) + " -T ARTIST=Band --picture='3|image/png|||" +
                               "cover.png' -o toldflac/" + name + ".flac told/" + name + ".WAV")
                                  .c_str()),
                  0);
        const std::size_t at = cue.find(name + ".WAV");
        ASSERT_NE(at, std::string::npos) << cue;
        cue.replace(at, name.size() + 4, name + ".flac");
    }
    WriteFile(dir_ / "toldflac" / "Rip.cue", cue);
    v = Verify(ctdb + " --repair fixedflac toldflac");
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_NE(v.out.find("CTDB: repaired track 1 at 00:00.30"), std::string::npos) << v.out;
    EXPECT_TRUE(ReadFile(dir_ / "fixedflac" / "Rip.cue") == cue);
    for (int t = 1; t <= 3; ++t) {
        const std::string flac =
            (dir_ / "fixedflac" / ("Track" + std::to_string(t) + ".flac")).string();
        EXPECT_EQ(std::system(("flac -s -t '" + flac + "'").c_str()), 0) << t;
        ASSERT_EQ(
            std::system(
                ("flac -s -f -d -o '" + (dir_ / "back.wav").string() + "' '" + flac + "'").c_str()),
            0);
        EXPECT_TRUE(ReadFile(dir_ / "back.wav").substr(44) == DiscTrack(t)) << t;
        ASSERT_EQ(std::system(("metaflac --export-tags-to='" + (dir_ / "tags.txt").string() +
                               "' --export-picture-to='" + (dir_ / "pic.png").string() + "' '" +
                               flac + "'")
                                  .c_str()),
                  0);
        EXPECT_EQ(ReadFile(dir_ / "tags.txt"),
                  "TITLE=Song" + std::to_string(t) + "\nARTIST=Band\n");
        EXPECT_TRUE(ReadFile(dir_ / "pic.png") == ReadFile(dir_ / "cover.png"));
    }
    // The damaged FLAC files stay as they were.
    ASSERT_EQ(std::system(("flac -s -f -d -o '" + (dir_ / "back.wav").string() + "' '" +
                           (dir_ / "toldflac" / "Track1.flac").string() + "'")
                              .c_str()),
              0);
    EXPECT_TRUE(ReadFile(dir_ / "back.wav").substr(44) == Samples("told", 1));

    // Images, one WAVE and one FLAC file with the sheet beside (and inside): mended alike.
    const std::string disc = ReadFile(disc_->path() / "disc.bin");
    for (const std::string format : {"wav", "flac"}) {
        Run image = Rip("image" + format, ctdb + " --image --format " + format);
        ASSERT_EQ(image.status, 0) << image.err;
        v = Verify(ctdb + " --repair fixedimage" + format + " image" + format);
        EXPECT_EQ(v.status, 0) << v.out << v.err;
        EXPECT_NE(v.out.find("CTDB: repaired track 1 at 00:00.30"), std::string::npos) << v.out;
        const std::string file = format == "wav" ? "Rip.wav" : "Rip.flac";
        ASSERT_TRUE(std::filesystem::exists(dir_ / ("fixedimage" + format) / file))
            << v.out << v.err;
        EXPECT_TRUE(ReadFile(dir_ / ("fixedimage" + format) / "Rip.cue") ==
                    ReadFile(dir_ / ("image" + format) / "Rip.cue"));
        std::string samples;
        if (format == "wav") {
            samples = ReadFile(dir_ / "fixedimagewav" / file).substr(44);
        } else {
            const std::string flac = (dir_ / "fixedimageflac" / file).string();
            EXPECT_EQ(std::system(("flac -s -t '" + flac + "'").c_str()), 0);
            EXPECT_EQ(std::system(("metaflac --list --block-type=CUESHEET '" + flac +
                                   "' | grep -q 'number of tracks: 4'")
                                      .c_str()),
                      0);
            ASSERT_EQ(std::system(
                          ("flac -s -f -d -o '" + (dir_ / "back.wav").string() + "' '" + flac + "'")
                              .c_str()),
                      0);
            samples = ReadFile(dir_ / "back.wav").substr(44);
        }
        EXPECT_TRUE(samples == disc) << format;
    }

    // Raw samples stored high byte first, damaged alike: mended in that byte order.
    std::filesystem::create_directories(dir_ / "motorola");
    std::string swapped = disc;
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2)
        std::swap(swapped[i], swapped[i + 1]);
    std::string damaged = swapped;
    for (std::size_t i = 30 * 2352; i < 70 * 2352; i += 2)
        damaged[i + 1] = static_cast<char>(damaged[i + 1] ^ 1);
    WriteFile(dir_ / "motorola" / "disc.raw", damaged);
    std::string sheet = ReadFile(disc_->path() / "disc.cue");
    sheet.replace(sheet.find("\"disc.bin\" BINARY"), 17, "\"disc.raw\" MOTOROLA");
    WriteFile(dir_ / "motorola" / "disc.cue", sheet);
    v = Verify(ctdb + " --repair fixedmotorola motorola");
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_TRUE(ReadFile(dir_ / "fixedmotorola" / "disc.raw") == swapped);
    EXPECT_TRUE(ReadFile(dir_ / "motorola" / "disc.raw") == damaged);

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

// Names from the database's metadata, asked with the lookup the rip's check then takes: the
// disc is looked up once; without the check, once too, and nothing of the check is said.
TEST_F(CtdbRipTool, NamesComeFromTheSameLookupAsTheCheck) {
    metadata_ =
        "<metadata source=\"musicbrainz\" id=\"5e1f\" artist=\"Band\" album=\"Noise\" "
        "year=\"2003\" discnumber=\"2\" disccount=\"2\"><track name=\"One\"/>"
        "<track name=\"Two\" artist=\"Guest\"/><track name=\"Three\"/></metadata>";
    LoopbackServer server([&](const std::string& r) { return Answer(r, ""); });
    const std::string ctdb = "--ctdb-server http://" + server.Address();
    Run r = Rip("named", ctdb + " --ctdb-names");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(r.out, "status"), "\"verified\"");
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Requests()[0].find("&metadata=default&toc=" + facts_["toc"] + " "),
              std::string::npos)
        << server.Requests()[0];
    EXPECT_NE(r.out.find("Two"), std::string::npos) << r.out;
    // Disc 2 of 2, as the release tells it: the log's name says so.
    const std::string log = ReadFile(dir_ / "named" / "Band - Noise CD 2.log");
    EXPECT_NE(log.find("Disc: Band / Noise"), std::string::npos) << r.out;
    EXPECT_NE(log.find("CTDB: accurately ripped (confidence 3)"), std::string::npos) << log;

    // The server of the profile, the check switched off.
    ::setenv("ORVANE_REGISTRY_DIR", (dir_ / "config" / "orvane").c_str(), 1);
    orvane::registry::ResetForTesting();
    {
        orvane::encoder::ProfileSettings profile;
        ASSERT_TRUE(profile.WriteProfileString("Rip", "CTDBServer", "http://" + server.Address()));
    }
    ::unsetenv("ORVANE_REGISTRY_DIR");
    orvane::registry::ResetForTesting();
    r = Rip("unchecked", "--no-ctdb --ctdb-names --ctdb-metadata fast");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(server.RequestCount(), 2u);
    EXPECT_NE(server.Requests()[1].find("&metadata=fast&"), std::string::npos);
    EXPECT_NE(r.out.find("Two"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"ctdb\""), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(dir_ / "unchecked" / "Band - Noise CD 2.log").find("CTDB"),
              std::string::npos);
    EXPECT_EQ(Rip("bad", "--ctdb-names --ctdb-metadata none").status, 2);
    EXPECT_EQ(Rip("both", "--ctdb-names --cddb").status, 2);
}

// A folder of albums ripped by the tool: a line each, linked folders left out, a summary, and
// success only when every album verified.
TEST_F(CtdbRipTool, FolderOfAlbumsIsVerifiedAlbumByAlbum) {
    LoopbackServer server([&](const std::string& r) {
        if (r.find("toc=" + facts_["toc"] + " ") == std::string::npos)
            return LoopbackReply{{"HTTP/1.0 404 Not Found\r\n\r\n"}};
        return Answer(r, "");
    });
    const std::string ctdb = "--ctdb-server http://" + server.Address() + " ";
    ASSERT_EQ(Rip("lib/ok/a", ctdb).status, 0);
    std::filesystem::copy(dir_ / "lib/ok/a", dir_ / "lib/ok/b");
    Configure("flip=30-69");
    ASSERT_EQ(Rip("lib/damaged", ctdb).status, 0);
    Configure("");
    // Two of the disc's tracks: a disc the database does not know.
    std::filesystem::create_directories(dir_ / "lib/short");
    for (const char* name : {"Track1.WAV", "Track2.WAV"})
        std::filesystem::copy(dir_ / "lib/ok/a" / name, dir_ / "lib/short" / name);
    WriteFile(dir_ / "lib/short/Short.cue",
              "FILE \"Track1.WAV\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "FILE \"Track2.WAV\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n");
    std::filesystem::create_directories(dir_ / "lib/broken");
    WriteFile(dir_ / "lib/broken/Gone.cue",
              "FILE \"gone.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
    std::filesystem::create_directory_symlink(dir_ / "lib/ok/a", dir_ / "lib/link");

    Run v = Verify("--recursive " + ctdb + "lib/ok");
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_EQ(v.out,
              "lib/ok/a: verified (3 of 3 tracks verified)\n"
              "lib/ok/b: verified (3 of 3 tracks verified)\n"
              "\n2 albums: 2 verified, 0 differ, 0 not found, 0 failed\n");
    v = Verify("--recursive " + ctdb + "lib");
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(v.out.find("lib/link"), std::string::npos) << v.out;
    EXPECT_EQ(v.out.find('\r'), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("lib/broken: failed ("), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("\nlib/damaged: differs (2 of 3 tracks verified)\n"), std::string::npos)
        << v.out;
    EXPECT_NE(v.out.find("\nlib/short: not found (0 of 2 tracks verified)\n"), std::string::npos)
        << v.out;
    EXPECT_NE(v.out.find("\n5 albums: 2 verified, 1 differs, 1 not found, 1 failed\n"),
              std::string::npos)
        << v.out;
    v = Verify("--recursive --json " + ctdb + "lib");
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(v.out.rfind("[{\"path\": \"lib/broken\", \"verdict\": \"failed\", \"error\": \"", 0),
              0u)
        << v.out;
    EXPECT_NE(v.out.find("{\"path\": \"lib/ok/b\", \"verdict\": \"verified\", \"error\": null, "
                         "\"report\": {\"cue_sheet\": \"lib/ok/b/Rip.cue\""),
              std::string::npos)
        << v.out;
    EXPECT_EQ(v.out.substr(v.out.size() - 3), "}]\n");
    EXPECT_EQ(Verify("--recursive --repair out " + ctdb + "lib").status, 2);
    v = Verify("--recursive " + ctdb + "nowhere");
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.err.find("no such folder: nowhere"), std::string::npos) << v.err;
}

// A rip of this pressing checked against AccurateRip entries of another, 48 samples on, that
// the CUETools database locates: the tracks verify at that offset, and say so.
TEST_F(CtdbRipTool, AccurateRipIsCheckedAtTheOffsetsOfOtherPressings) {
    const std::string disc = "'" + (disc_->path() / "disc.cue").string() + "'";
    Run v = Verify("--no-ctdb --json " + disc);
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(v.out, m,
                          std::regex("\"accuraterip_id\": \"003-([0-9a-f]{8})-([0-9a-f]{8})-"
                                     "([0-9a-f]{8})\"")))
        << v.out;
    std::string block = "\x03";
    auto le32 = [&block](std::uint32_t x) {
        for (int i = 0; i < 4; ++i)
            block += static_cast<char>((x >> (8 * i)) & 0xFF);
    };
    for (int i = 1; i <= 3; ++i)
        le32(static_cast<std::uint32_t>(std::stoul(m[i], nullptr, 16)));
    std::istringstream v1(facts_["arv1_48"]), v2(facts_["arv2_48"]);
    for (int t = 0; t < 3; ++t) {
        std::string a, b;
        v1 >> a;
        v2 >> b;
        block += '\x05';
        le32(static_cast<std::uint32_t>(std::stoul(t == 0 ? a : b, nullptr, 16)));
        le32(0);
    }
    LoopbackServer ar([&](const std::string&) {
        return LoopbackReply{
            {"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + block}};
    });
    const std::string asked = "--accuraterip-server http://" + ar.Address() + " ";
    // Without the CUETools database no offset is known: the tracks differ.
    v = Verify(asked + "--no-ctdb " + disc);
    EXPECT_EQ(v.status, 1) << v.out << v.err;
    EXPECT_NE(v.out.find("\n0 of 3 tracks verified\n"), std::string::npos) << v.out;
    EXPECT_EQ(v.out.find("with offset"), std::string::npos) << v.out;
    LoopbackServer shifted([&](const std::string& q) { return Answer(q, "_48"); });
    v = Verify(asked + "--ctdb-server http://" + shifted.Address() + " " + disc);
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_NE(v.out.find("    1  "), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("accurately ripped with offset +48 (confidence 5, v1)"), std::string::npos)
        << v.out;
    EXPECT_NE(v.out.find("accurately ripped with offset +48 (confidence 5, v2)"), std::string::npos)
        << v.out;
    v = Verify(asked + "--json --ctdb-server http://" + shifted.Address() + " " + disc);
    EXPECT_NE(
        v.out.find("\"accuraterip\": \"match\", \"confidence\": 5, \"accuraterip_offset\": 48"),
        std::string::npos)
        << v.out;
}

}  // namespace
