// orvane-cdda rip end to end: the program in the program folder rips image drives with read
// offsets, flipped and scratched sectors into WAVE files, and checks them against a database
// served on the loopback.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "encoder/app/profile_settings.h"
#include "platform/registry/winreg.h"
#include "tests/encoder/coverart/test_images.h"
#include "tests/encoder/freedb/loopback_server.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace {

using orvane::test::TempDir;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

constexpr std::uint32_t kFrames[] = {300, 150, 75};
constexpr std::uint32_t kStarts[] = {0, 300, 450};
constexpr std::uint32_t kLeadOut = 525;

std::uint32_t Crc(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

// The database's two sums of a track, straight from their definition.
void ReferenceSums(const std::string& pcm, bool first, bool last, std::uint32_t& v1,
                   std::uint32_t& v2) {
    const std::uint64_t n = pcm.size() / 4;
    std::uint64_t s1 = 0, s2 = 0;
    for (std::uint64_t k = 1; k <= n; ++k) {
        if ((first && k < 2940) || (last && k > n - 2940)) continue;
        const auto* p = reinterpret_cast<const unsigned char*>(pcm.data() + (k - 1) * 4);
        const std::uint64_t w = p[0] | p[1] << 8 | p[2] << 16 | std::uint64_t{p[3]} << 24;
        const std::uint64_t product = k * w;
        s1 += product;
        s2 += (product & 0xFFFFFFFF) + (product >> 32);
    }
    v1 = static_cast<std::uint32_t>(s1);
    v2 = static_cast<std::uint32_t>(s2);
}

std::string Le32(std::uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

class RipTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "config" / "orvane");
        cue_ = orvane::test::WriteSimpleDisc(dir_, {300, 150, 75});
    }
    void Configure(const std::string& faults) {
        std::string conf = "real_drives = no\nimage = " + cue_ + "\n";
        if (!faults.empty()) conf += "faults = " + faults + "\n";
        orvane::test::WriteFile(dir_ / "config" / "orvane" / "drives.conf", conf);
    }
    // The command line of a rip into folder, its outputs into out<tag>.txt and err<tag>.txt.
    std::string RipCommand(const std::string& folder, const std::string& args,
                           const std::string& tag = "", const std::string& format = "wav") {
        return "XDG_CONFIG_HOME='" + (dir_ / "config").string() + "' ORVANE_CD_IMAGES= '" +
               (orvane::test::DistDir() / "orvane-cdda").string() + "' rip D: " + folder +
               " --format " + format + " " + args + " >out" + tag + ".txt 2>err" + tag + ".txt";
    }
    // folder: made afresh unless make is false.
    ToolRun Rip(const std::string& folder, const std::string& args,
                const std::string& format = "wav", bool make = true) {
        std::error_code gone;
        std::filesystem::remove_all(dir_ / folder, gone);
        if (make) std::filesystem::create_directories(dir_ / folder);
        std::string command =
            "cd '" + dir_.path().string() + "' && " + RipCommand(folder, args, "", format);
        ToolRun r;
        int raw = std::system(command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = orvane::test::ReadFile(dir_ / "out.txt");
        r.err = orvane::test::ReadFile(dir_ / "err.txt");
        return r;
    }
    std::string Samples(const std::string& folder, int track) {
        const std::string wave =
            orvane::test::ReadFile(dir_ / folder / ("Track" + std::to_string(track) + ".WAV"));
        return wave.size() < 44 ? std::string() : wave.substr(44);
    }
    // The JSON object's value of a key within the track object of number.
    static std::string TrackField(const std::string& json, int number, const std::string& key) {
        const auto at = json.find("{\"number\": " + std::to_string(number) + ",");
        if (at == std::string::npos) return {};
        const auto end = json.find('}', at);
        std::smatch m;
        const std::string track = json.substr(at, end - at);
        if (!std::regex_search(track, m,
                               std::regex("\"" + key + "\": (\"[^\"]*\"|\\[[^\\]]*\\]|[0-9-]+)")))
            return {};
        return m[1];
    }
    // Points the CD database of the profile's settings at address.
    void UseCddb(const std::string& address) {
        ::setenv("ORVANE_REGISTRY_DIR", (dir_ / "config" / "orvane").c_str(), 1);
        orvane::registry::ResetForTesting();
        {
            orvane::encoder::ProfileSettings profile;
            ASSERT_TRUE(profile.WriteProfileString("Preferences", "FreeDBServer", address));
        }
        ::unsetenv("ORVANE_REGISTRY_DIR");
        orvane::registry::ResetForTesting();
    }
    TempDir dir_;
    std::string cue_;
};

// What a command prints on its standard output.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
            out.append(buf, n);
        ::pclose(pipe);
    }
    return out;
}

// What an MP3 validator finds wrong with a file (a file without tags is no fault).
std::string Mp3Problems(const std::filesystem::path& file) {
    return Output("mp3val '" + file.string() +
                  "' 2>&1 | grep WARNING | grep -v 'No supported tags'");
}

// The tags an independent reader finds in a file: "KEY=value" lines (ID3v2 frames or Vorbis
// comments), then "v1=" and the ID3v1 record's genre byte, or "v1=none".
std::string TagsOf(const std::filesystem::path& file) {
    return Output(
        "/usr/bin/python3 -c 'import sys, mutagen\n"
        "f = mutagen.File(sys.argv[1])\n"
        "for k, v in sorted((f.tags or {}).items()):\n"
        "    print(k + \"=\" + str(v[0] if isinstance(v, list) else v))\n"
        "b = open(sys.argv[1], \"rb\").read()\n"
        "print(\"v1=\" + (str(b[-1]) if b[-128:-125] == b\"TAG\" else \"none\"))' '" +
        file.string() + "' 2>&1");
}

TEST_F(RipTool, OffsetCorrectedRipsHoldExactlyTheDiscsSamples) {
    const std::string disc = orvane::test::PatternFrames(0, kLeadOut);
    for (int n : {-1300, 0, 48, 700}) {
        Configure("read_offset=" + std::to_string(n));
        ToolRun r = Rip("out", "--offset " + std::to_string(n) + " --no-accuraterip --json");
        ASSERT_EQ(r.status, 0) << n << ": " << r.err;
        EXPECT_NE(r.out.find("\"offset\": " + std::to_string(n) +
                             ", \"mode\": \"burst\", "
                             "\"complete\": true"),
                  std::string::npos)
            << r.out;
        for (int t = 0; t < 3; ++t) {
            // What the drive cannot reach beyond the disc's ends reads as silence.
            std::string expected = disc.substr(kStarts[t] * 2352, kFrames[t] * 2352);
            const std::int64_t start = std::int64_t{kStarts[t]} * 588;
            for (std::int64_t k = 0; k < std::int64_t{kFrames[t]} * 588; ++k) {
                const std::int64_t reach = start + k + n;
                if (reach < 0 || reach >= std::int64_t{kLeadOut} * 588)
                    expected.replace(static_cast<std::size_t>(k) * 4, 4, 4, '\0');
            }
            EXPECT_TRUE(Samples("out", t + 1) == expected) << "offset " << n << " track " << t + 1;
            char crc[16];
            std::snprintf(crc, sizeof crc, "\"%08x\"", Crc(expected));
            EXPECT_EQ(TrackField(r.out, t + 1, "crc32"), crc);
        }
    }
}

// A rip that wrote not every file is no success, whatever the format: the reason on standard
// error, no closing words of a finished job, "complete": false and the exit status 1.
TEST_F(RipTool, ARipThatCannotWriteItsFilesFails) {
    for (const char* format : {"wav", "mp3"}) {
        Configure("");
        // A file where the folder's parent should be: the folder cannot be made.
        orvane::test::WriteFile(dir_ / "gone", "x");
        ToolRun r = Rip("gone/deeper", "--no-accuraterip --json", format, false);
        EXPECT_EQ(r.status, 1) << format;
        EXPECT_NE(r.out.find("\"complete\": false"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("Cannot create the output folder gone/deeper: Not a directory"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("saved to disk"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Compression Finished"), std::string::npos) << r.err;
        r = Rip("gone/deeper", "--no-accuraterip", format, false);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "") << format;
    }
}

// Test and copy alike, both wrong: the drive's C2 pointers still tell, in the JSON and the log.
TEST_F(RipTool, TestAndCopyNamesSectorsTheDriveFlagged) {
    Configure("c2=330-331");
    ToolRun r = Rip("tested", "--test-and-copy --no-accuraterip --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"complete\": false"), std::string::npos) << r.out;
    EXPECT_EQ(TrackField(r.out, 2, "suspicious"), "[330, 331]");
    EXPECT_EQ(TrackField(r.out, 1, "suspicious"), "[]");
    EXPECT_NE(orvane::test::ReadFile(dir_ / "tested" / "Rip.log").find("330"), std::string::npos);
}

TEST_F(RipTool, SecureRipsRereadFlipsAndReportScratchesWithoutStopping) {
    const std::string truth = orvane::test::PatternFrames(300, 150);
    Configure("flip=320-325");
    ToolRun r = Rip("burst", "--no-accuraterip --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Samples("burst", 2), truth);

    r = Rip("secure", "--secure --no-accuraterip --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Samples("secure", 2), truth);
    EXPECT_EQ(TrackField(r.out, 2, "suspicious"), "[]");
    EXPECT_NE(r.out.find("\"mode\": \"secure\", \"complete\": true"), std::string::npos);

    Configure("c2=330-331");
    r = Rip("scratched", "--secure --no-accuraterip --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"complete\": false"), std::string::npos) << r.out;
    EXPECT_EQ(TrackField(r.out, 2, "suspicious"), "[330, 331]");
    EXPECT_EQ(TrackField(r.out, 3, "suspicious"), "[]");
    EXPECT_EQ(Samples("scratched", 1), orvane::test::PatternFrames(0, 300));
    EXPECT_EQ(Samples("scratched", 3), orvane::test::PatternFrames(450, 75));
    // The final message on the terminal names them; the log beside the files too.
    EXPECT_NE(r.err.find("Track 2: not accurately ripped"), std::string::npos) << r.err;
    const std::string log = orvane::test::ReadFile(dir_ / "scratched" / "Rip.log");
    EXPECT_NE(log.find("LBA 330 (track 2, 00:00.30)"), std::string::npos) << log;
    const std::string cue = orvane::test::ReadFile(dir_ / "scratched" / "Rip.cue");
    EXPECT_NE(cue.find("FILE \"Track2.WAV\" WAVE"), std::string::npos) << cue;

    // Test and copy: the flipped sectors read wrong in the test, so the two differ.
    Configure("flip=320");
    r = Rip("tested", "--test-and-copy --no-accuraterip");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Track 2: the test and the copy differ"), std::string::npos) << r.out;
    EXPECT_EQ(Samples("tested", 2), truth);
}

TEST_F(RipTool, ChecksumsAreComparedWithTheDatabaseAndItsAbsenceNeverFailsTheRip) {
    Configure("");
    ToolRun r = Rip("plain", "--no-accuraterip --json");
    ASSERT_EQ(r.status, 0) << r.err;
    std::smatch m;
    ASSERT_TRUE(
        std::regex_search(r.out, m,
                          std::regex("\"accuraterip_id\": \"003-([0-9a-f]{8})-([0-9a-f]{8})-"
                                     "([0-9a-f]{8})\"")))
        << r.out;
    // The id's words outlive r, which the next rip replaces.
    const std::string ids[3] = {m[1], m[2], m[3]};
    const std::string disc = orvane::test::PatternFrames(0, kLeadOut);
    std::uint32_t v1[3], v2[3];
    for (int t = 0; t < 3; ++t) {
        ReferenceSums(disc.substr(kStarts[t] * 2352, kFrames[t] * 2352), t == 0, t == 2, v1[t],
                      v2[t]);
        char hex[16];
        std::snprintf(hex, sizeof hex, "\"%08x\"", v1[t]);
        EXPECT_EQ(TrackField(r.out, t + 1, "accuraterip_v1"), hex);
        std::snprintf(hex, sizeof hex, "\"%08x\"", v2[t]);
        EXPECT_EQ(TrackField(r.out, t + 1, "accuraterip_v2"), hex);
    }
    // Two pressings: track 1 matches by v1 in one, track 2 by v2 in the other, track 3 by none.
    std::string block;
    for (int b = 0; b < 2; ++b) {
        block += '\x03';
        for (int i = 1; i <= 3; ++i)
            block += Le32(static_cast<std::uint32_t>(std::stoul(ids[i - 1], nullptr, 16)));
        const std::uint32_t sums[3] = {b == 0 ? v1[0] : 1u, b == 1 ? v2[1] : 2u, 3u};
        for (int t = 0; t < 3; ++t)
            block += static_cast<char>(b == 0 ? 7 : 9) + Le32(sums[t]) + Le32(0);
    }
    orvane::test::LoopbackServer server([&](const std::string&) {
        return orvane::test::LoopbackReply{
            {"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + block}};
    });
    r = Rip("checked", "--json --accuraterip-server http://" + server.Address());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TrackField(r.out, 1, "accuraterip"), "\"match\"");
    EXPECT_EQ(TrackField(r.out, 1, "confidence"), "7");
    EXPECT_EQ(TrackField(r.out, 2, "accuraterip"), "\"match\"");
    EXPECT_EQ(TrackField(r.out, 2, "confidence"), "9");
    EXPECT_EQ(TrackField(r.out, 3, "accuraterip"), "\"mismatch\"");
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_NE(server.Requests()[0].find("/dBAR-003-" + ids[0] + "-"), std::string::npos);
    EXPECT_NE(r.err.find("Track 3: not accurately ripped"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Track 1: not accurately"), std::string::npos) << r.err;

    orvane::test::LoopbackServer missing([](const std::string&) {
        return orvane::test::LoopbackReply{{"HTTP/1.0 404 Not Found\r\n\r\n"}};
    });
    r = Rip("missing", "--json --accuraterip-server http://" + missing.Address());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TrackField(r.out, 2, "accuraterip"), "\"not-found\"");
    // Nobody listening: reported, never a failure.
    r = Rip("offline", "--json --accuraterip-server http://127.0.0.1:1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TrackField(r.out, 2, "accuraterip"), "\"unavailable\"");
    EXPECT_NE(orvane::test::ReadFile(dir_ / "offline" / "Rip.log").find("AccurateRip lookup: "),
              std::string::npos);
    // Not asked: the log says so once and judges no track.
    const std::string log = orvane::test::ReadFile(dir_ / "plain" / "Rip.log");
    EXPECT_NE(log.find("\nAccurateRip: not asked for\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("unavailable"), std::string::npos) << log;
    EXPECT_EQ(log.find("  AccurateRip: "), std::string::npos) << log;
}

TEST_F(RipTool, AudioBeforeTheFirstTrackIsTrackZeroAndDigitalSilenceStaysAPregap) {
    orvane::test::WriteFile(dir_ / "hidden.bin", orvane::test::PatternFrames(0, 450));
    orvane::test::WriteFile(dir_ / "hidden.cue",
                            "FILE \"hidden.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"
                            "    INDEX 01 00:02:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n");
    cue_ = (dir_ / "hidden.cue").string();
    Configure("");
    ToolRun r = Rip("hidden", "--no-accuraterip --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"complete\": true"), std::string::npos) << r.out;
    char gap[256];
    std::snprintf(gap, sizeof gap,
                  "\"leading_gap\": {\"pregap_of\": 1, \"start\": 0, \"frames\": 150, "
                  "\"silent\": false, \"track\": {\"number\": 0, \"file\": "
                  "\"hidden/Track0.WAV\", \"crc32\": \"%08x\"",
                  Crc(orvane::test::PatternFrames(0, 150)));
    EXPECT_NE(r.out.find(gap), std::string::npos) << r.out;
    EXPECT_TRUE(Samples("hidden", 0) == orvane::test::PatternFrames(0, 150));
    EXPECT_TRUE(Samples("hidden", 1) == orvane::test::PatternFrames(150, 150));
    EXPECT_TRUE(Samples("hidden", 2) == orvane::test::PatternFrames(300, 150));
    const std::string log = orvane::test::ReadFile(dir_ / "hidden" / "Rip.log");
    char crc[32];
    std::snprintf(crc, sizeof crc, "  CRC32: %08x\n", Crc(orvane::test::PatternFrames(0, 150)));
    EXPECT_NE(log.find("\nTrack 0\n  Audio in the pregap of track 1 (LBA 0 to 149, 00:02.00), "
                       "ripped as a track of its own\n  File: hidden/Track0.WAV\n" +
                       std::string(crc)),
              std::string::npos)
        << log;
    const std::string cue = orvane::test::ReadFile(dir_ / "hidden" / "Rip.cue");
    EXPECT_NE(cue.find("FILE \"Track0.WAV\" WAVE\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"
                       "FILE \"Track1.WAV\" WAVE\n    INDEX 01 00:00:00\n"),
              std::string::npos)
        << cue;
    // The rip's sheet as a disc image is the disc again, sector for sector.
    cue_ = (dir_ / "hidden" / "Rip.cue").string();
    Configure("");
    r = Rip("again", "--no-accuraterip");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Samples("again", 0) == orvane::test::PatternFrames(0, 150));
    EXPECT_TRUE(Samples("again", 1) == orvane::test::PatternFrames(150, 150));

    // Digital silence before track 1 is no track.
    orvane::test::WriteFile(dir_ / "silent.cue",
                            "FILE \"hidden.bin\" BINARY\n  TRACK 01 AUDIO\n    PREGAP 00:02:00\n"
                            "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n");
    cue_ = (dir_ / "silent.cue").string();
    Configure("");
    r = Rip("silent", "--no-accuraterip --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"leading_gap\": {\"pregap_of\": 1, \"start\": 0, \"frames\": 150, "
                         "\"silent\": true, \"track\": null}}"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "silent" / "Track0.WAV"));
    EXPECT_TRUE(Samples("silent", 1) == orvane::test::PatternFrames(0, 150));
    EXPECT_NE(orvane::test::ReadFile(dir_ / "silent" / "Rip.cue")
                  .find("  TRACK 01 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"),
              std::string::npos);
    EXPECT_NE(orvane::test::ReadFile(dir_ / "silent" / "Rip.log")
                  .find("Pregap of track 1 (LBA 0 to 149, 00:02.00): digital silence, not ripped"),
              std::string::npos);
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_ / "silent"))
        files += e.path().extension() == ".WAV";
    EXPECT_EQ(files, 2u);

    // A data track first: the first audio track's pregap is track 0 as well.
    orvane::test::WriteFile(dir_ / "mixed.bin", orvane::test::PatternFrames(0, 750));
    orvane::test::WriteFile(dir_ / "mixed.cue",
                            "FILE \"mixed.bin\" BINARY\n  TRACK 01 MODE1/2352\n"
                            "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 00:04:00\n"
                            "    INDEX 01 00:06:00\n  TRACK 03 AUDIO\n    INDEX 01 00:08:00\n");
    cue_ = (dir_ / "mixed.cue").string();
    Configure("");
    r = Rip("mixed", "--no-accuraterip");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Samples("mixed", 0) == orvane::test::PatternFrames(300, 150));
    EXPECT_TRUE(Samples("mixed", 2) == orvane::test::PatternFrames(450, 150));
    EXPECT_NE(orvane::test::ReadFile(dir_ / "mixed" / "Rip.cue")
                  .find("FILE \"Track0.WAV\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
                        "FILE \"Track2.WAV\" WAVE\n    INDEX 01 00:00:00\n"),
              std::string::npos);
}

TEST_F(RipTool, TwoRipsIntoOneFolderKeepEveryFile) {
    Configure("");
    std::filesystem::create_directories(dir_ / "both");
    // Started together, each writes its exit status when it ends.
    const std::string command =
        "cd '" + dir_.path().string() + "' || exit 1; { " +
        RipCommand("both", "--no-accuraterip", "1") + "; echo $? >rc1.txt; } & { " +
        RipCommand("both", "--no-accuraterip", "2") + "; echo $? >rc2.txt; } & wait";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "rc1.txt"), "0\n")
        << orvane::test::ReadFile(dir_ / "err1.txt");
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "rc2.txt"), "0\n")
        << orvane::test::ReadFile(dir_ / "err2.txt");
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_ / "both"))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"Rip.cue", "Rip.log", "Rip (2).cue", "Rip (2).log",
                                            "Track1.WAV", "Track2.WAV", "Track3.WAV",
                                            "Track1 (2).WAV", "Track2 (2).WAV", "Track3 (2).WAV"}));
}

TEST_F(RipTool, CddbNamesAndTagsTheTracksAndItsAbsenceOnlyCostsTheNames) {
    Configure("");
    {
        orvane::test::LoopbackServer cddb([](const std::string& request) {
            if (request.find("cddb+query+") != std::string::npos)
                return orvane::test::HttpReply("200 rock 10000703 Band / Record\r\n");
            return orvane::test::HttpReply(
                "210 rock 10000703 CD database entry follows (until terminating `.')\r\n"
                "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t450\r\n#\t600\r\n"
                "#\r\n# Disc length: 9 seconds\r\n#\r\n# Revision: 1\r\n"
                "# Submitted via: test 1.0\r\n#\r\n"
                "DISCID=10000703\r\nDTITLE=Band / Record\r\nDYEAR=1999\r\nDGENRE=Rock\r\n"
                "TTITLE0=One\\tTab\r\nTTITLE1=Two: Too\r\nTTITLE2=ok\\n  AccurateRip: OK\r\n"
                "EXTD=\r\nEXTT0=\r\n"
                "EXTT1=\r\nEXTT2=\r\nPLAYORDER=\r\n.\r\n");
        });
        // The tool reads Plimo's settings: the database's address is set there.
        ::setenv("ORVANE_REGISTRY_DIR", (dir_ / "config" / "orvane").c_str(), 1);
        orvane::registry::ResetForTesting();
        {
            orvane::encoder::ProfileSettings profile;
            ASSERT_TRUE(profile.WriteProfileString("Preferences", "FreeDBServer", cddb.Address()));
        }
        ::unsetenv("ORVANE_REGISTRY_DIR");
        orvane::registry::ResetForTesting();
        ToolRun r = Rip("named", "--cddb --no-accuraterip");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("no titles"), std::string::npos) << r.err;
        const std::string two = orvane::test::ReadFile(dir_ / "named" / "Band - Two- Too.WAV");
        EXPECT_TRUE(two.size() > 44 && two.substr(44) == orvane::test::PatternFrames(300, 150));
        const std::string cue = orvane::test::ReadFile(dir_ / "named" / "Band - Record.cue");
        EXPECT_NE(cue.find("TITLE \"Two: Too\""), std::string::npos) << cue;
        // The database's escapes for a tab and a line break reach neither a name nor a line.
        EXPECT_TRUE(std::filesystem::exists(dir_ / "named" / "Band - OneTab.WAV"));
        EXPECT_TRUE(std::filesystem::exists(dir_ / "named" / "Band - ok  AccurateRip- OK.WAV"));
        EXPECT_NE(cue.find("FILE \"Band - ok  AccurateRip- OK.WAV\" WAVE\n"), std::string::npos)
            << cue;
        EXPECT_NE(cue.find("TITLE \"ok   AccurateRip: OK\""), std::string::npos) << cue;
        const std::string log = orvane::test::ReadFile(dir_ / "named" / "Band - Record.log");
        EXPECT_NE(log.find("  Title: ok\\n  AccurateRip: OK\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("\n  AccurateRip: OK"), std::string::npos) << log;
    }
    // The database gone: the rip goes on under the tracks' plain names.
    ToolRun r = Rip("plain", "--cddb --no-accuraterip");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("orvane-cdda: no titles: "), std::string::npos) << r.err;
    EXPECT_EQ(Samples("plain", 2), orvane::test::PatternFrames(300, 150));
}

// The front picture of each track as mutagen reads it: "type mime", its bytes into out.
std::string PictureOf(const std::filesystem::path& file, const std::filesystem::path& out) {
    return Output(
        "/usr/bin/python3 -c 'import sys, base64, struct, mutagen\n"
        "from mutagen.flac import Picture\n"
        "p = sys.argv[1]; f = mutagen.File(p); e = p.lower()\n"
        "if e.endswith(\".mp3\"):\n"
        "    a = f.tags.getall(\"APIC\"); t, m, d = a[0].type, a[0].mime, a[0].data\n"
        "elif e.endswith(\".wma\"):\n"
        "    b = f.tags[\"WM/Picture\"][0].value; t = b[0]\n"
        "    size = struct.unpack(\"<I\", b[1:5])[0]; d = b[-size:]; m = \"\"\n"
        "else:\n"
        "    q = f.pictures[0] if e.endswith(\".flac\") else "
        "Picture(base64.b64decode(f[\"metadata_block_picture\"][0]))\n"
        "    t, m, d = q.type, q.mime, q.data\n"
        "open(sys.argv[2], \"wb\").write(d)\n"
        "print(int(t), m)' '" +
        file.string() + "' '" + out.string() + "' 2>&1");
}

// A disc MusicBrainz knows, whose release has a front cover in the archive (behind the
// archive's redirect to the image's host): every track of every format holds exactly the
// image's bytes as its front cover, cover.jpg beside them is the image, and the log and the
// JSON say where it came from. Without a cover, or with the user's own cover.jpg in the folder,
// the rip succeeds all the same and says why.
TEST_F(RipTool, MusicBrainzNamesAndTheArchivesCoverReachEveryTrackAndTheFolder) {
    Configure("");
    const std::string jpeg = orvane::test::TestJpeg(40, 30);
    constexpr const char* kRelease = "0b1fd3a1-5e3e-4d2c-9f4a-2c1d2a6b7e8f";
    orvane::test::LoopbackServer images([&](const std::string&) {
        return orvane::test::LoopbackReply{
            {"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
             std::to_string(jpeg.size()) + "\r\nConnection: close\r\n\r\n" + jpeg},
            0,
            false};
    });
    bool hasCover = true;
    orvane::test::LoopbackServer archive([&](const std::string& request) {
        if (!hasCover || request.rfind(std::string("GET /release/") + kRelease + "/front-500 ", 0))
            return orvane::test::LoopbackReply{
                {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
                0,
                false};
        return orvane::test::LoopbackReply{
            {"HTTP/1.1 307 Temporary Redirect\r\nLocation: http://" + images.Address() +
             "/covers/front.jpg\r\nContent-Length: 0\r\n"
             "Connection: close\r\n\r\n"},
            0,
            false};
    });
    const std::string release =
        std::string(R"({"releases":[{"id":")") + kRelease +
        R"(","title":"Pictures","date":"2004","artist-credit":[{"name":"Painter","joinphrase":""}],
        "media":[{"position":1,"discs":[],"tracks":[
        {"position":1,"title":"Red","recording":{"id":"r1"}},
        {"position":2,"title":"Green","recording":{"id":"r2"}},
        {"position":3,"title":"Blue","recording":{"id":"r3"}}]}]}]})";
    orvane::test::LoopbackServer musicBrainz([&](const std::string&) {
        return orvane::test::LoopbackReply{
            {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(release.size()) + "\r\nConnection: close\r\n\r\n" + release},
            0,
            false};
    });
    const std::string args = "--no-accuraterip --json --musicbrainz --musicbrainz-server http://" +
                             musicBrainz.Address() + " --coverart-server http://" +
                             archive.Address() + " --cover-size 500";
    const std::string imageUrl = "http://" + images.Address() + "/covers/front.jpg";
    // The WMA encoder's components, installed into this test's own folders, where the rips
    // find them.
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
    const orvane::test::ProgramResult wma = orvane::test::RunDistProgram(
        "plimo-job", {"--wma", "--list-profiles"},
        "export XDG_CONFIG_HOME='" + (dir_ / "config").string() + "';");
    ASSERT_EQ(wma.status, 0) << wma.output;
    for (const char* format : {"mp3", "flac", "opus", "wma"}) {
        ToolRun r = Rip(format, args, format);
        ASSERT_EQ(r.status, 0) << format << "\n" << r.err;
        int pictures = 0;
        for (const char* title : {"Red", "Green", "Blue"}) {
            std::filesystem::path track;
            for (const auto& e : std::filesystem::directory_iterator(dir_ / format))
                if (e.path().filename().string().find(title) != std::string::npos) track = e.path();
            ASSERT_FALSE(track.empty()) << format << " " << title;
            const std::string seen = PictureOf(track, dir_ / "picture.out");
            EXPECT_EQ(seen, std::string(std::string(format) == "wma" ? "3 \n" : "3 image/jpeg\n"))
                << track;
            EXPECT_TRUE(orvane::test::ReadFile(dir_ / "picture.out") == jpeg) << track;
            ++pictures;
        }
        EXPECT_EQ(pictures, 3);
        EXPECT_TRUE(orvane::test::ReadFile(dir_ / format / "cover.jpg") == jpeg) << format;
        const std::string cover =
            "\"cover\": {\"source\": \"coverartarchive\", \"width\": 40, "
            "\"height\": 30, \"bytes\": " +
            std::to_string(jpeg.size()) + ", \"file\": \"" + format + "/cover.jpg\"}}";
        EXPECT_NE(r.out.find(cover), std::string::npos) << r.out;
        const std::string log = orvane::test::ReadFile(dir_ / format / "Painter - Pictures.log");
        EXPECT_NE(log.find("Cover art: Cover Art Archive (" + imageUrl + "), 40 x 30 pixels, " +
                           std::to_string(jpeg.size()) + " bytes\nCover file: " + format +
                           "/cover.jpg, written\n"),
                  std::string::npos)
            << log;
    }
    // The FLAC tools read the same picture back.
    std::filesystem::path flac;
    for (const auto& e : std::filesystem::directory_iterator(dir_ / "flac"))
        if (e.path().extension() == ".FLAC" || e.path().extension() == ".flac") flac = e.path();
    Output("metaflac --export-picture-to='" + (dir_ / "exported").string() + "' '" + flac.string() +
           "'");
    EXPECT_TRUE(orvane::test::ReadFile(dir_ / "exported") == jpeg);

    // The user's own cover.jpg stays, and is the one the JSON names.
    std::filesystem::create_directories(dir_ / "mine");
    orvane::test::WriteFile(dir_ / "mine" / "cover.jpg", "my own picture");
    const std::string mine =
        "cd '" + dir_.path().string() + "' && " + RipCommand("mine", args, "", "flac");
    ASSERT_EQ(std::system(mine.c_str()), 0) << orvane::test::ReadFile(dir_ / "err.txt");
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "mine" / "cover.jpg"), "my own picture");
    EXPECT_NE(orvane::test::ReadFile(dir_ / "out.txt").find("\"file\": \"mine/cover.jpg\"}"),
              std::string::npos);
    ToolRun r;

    // No front cover: the rip succeeds without a picture and says why.
    hasCover = false;
    r = Rip("none", args, "mp3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("cover art: none: Cover Art Archive: the release has no front cover"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("\"cover\": {\"source\": \"none\", \"width\": 0, \"height\": 0, "
                         "\"bytes\": 0, \"file\": null}"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "none" / "cover.jpg"));
    for (const auto& e : std::filesystem::directory_iterator(dir_ / "none"))
        if (e.path().extension() == ".MP3") {
            EXPECT_EQ(TagsOf(e.path()).find("APIC"), std::string::npos) << e.path();
        }

    // The user's file, in the tags only: no file beside them, no archive asked.
    const std::size_t asked = archive.RequestCount();
    const std::string png = orvane::test::TestPng(20, 10);
    orvane::test::WriteFile(dir_ / "chosen.png", png);
    r = Rip("chosen", "--no-accuraterip --json --cover chosen.png --cover-mode embed", "mp3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"cover\": {\"source\": \"file\", \"width\": 20, \"height\": 10, "
                         "\"bytes\": " +
                         std::to_string(png.size()) + ", \"file\": null}"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "chosen" / "cover.png"));
    for (const auto& e : std::filesystem::directory_iterator(dir_ / "chosen"))
        if (e.path().extension() == ".MP3") {
            EXPECT_EQ(PictureOf(e.path(), dir_ / "picture.out"), "3 image/png\n");
            EXPECT_TRUE(orvane::test::ReadFile(dir_ / "picture.out") == png) << e.path();
        }
    EXPECT_EQ(archive.RequestCount(), asked);
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_STATE_HOME");
}

TEST_F(RipTool, TheNamingPatternFilesACompilationIntoFoldersWithFullTexts) {
    Configure("");
    const std::string album = "A Collection Whose Name Runs Past Thirty Bytes";
    orvane::test::LoopbackServer cddb([&](const std::string& request) {
        if (request.find("cddb+query+") != std::string::npos)
            return orvane::test::HttpReply("200 misc 10000703 Various / x\r\n");
        return orvane::test::HttpReply(
            "210 misc 10000703 CD database entry follows (until terminating `.')\r\n"
            "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t450\r\n#\t600\r\n"
            "#\r\n# Disc length: 9 seconds\r\n#\r\n# Revision: 1\r\n"
            "# Submitted via: test 1.0\r\n#\r\n"
            "DISCID=10000703\r\nDTITLE=Various / " +
            album +
            "\r\nDYEAR=2003\r\n"
            "TTITLE0=First / One\r\nTTITLE1=../.. / ../../etc/passwd\r\nTTITLE2=Third / Three\r\n"
            "EXTD=\r\nEXTT0=\r\nEXTT1=\r\nEXTT2=\r\nPLAYORDER=\r\n.\r\n");
    });
    ::setenv("ORVANE_REGISTRY_DIR", (dir_ / "config" / "orvane").c_str(), 1);
    orvane::registry::ResetForTesting();
    {
        orvane::encoder::ProfileSettings profile;
        ASSERT_TRUE(profile.WriteProfileString("Preferences", "FreeDBServer", cddb.Address()));
        ASSERT_TRUE(
            profile.WriteProfileString("Preferences", "FileNamePattern", "%a/%B/%N %A - %T"));
    }
    ::unsetenv("ORVANE_REGISTRY_DIR");
    orvane::registry::ResetForTesting();
    ToolRun r = Rip("out", "--cddb --no-accuraterip");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::filesystem::path folder = dir_ / "out" / "Various" / album;
    EXPECT_TRUE(std::filesystem::exists(folder / "01 First - One.WAV"));
    // A hostile title stays inside the album's folder.
    const std::string two = orvane::test::ReadFile(folder / "02 ..-.. - ..-..-etc-passwd.WAV");
    EXPECT_TRUE(two.size() > 44 && two.substr(44) == orvane::test::PatternFrames(300, 150));
    EXPECT_TRUE(std::filesystem::exists(folder / "03 Third - Three.WAV"));
    std::size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_ / "out"))
        files += e.is_regular_file() && e.path().extension() == ".WAV";
    EXPECT_EQ(files, 3u);
}

TEST_F(RipTool, NothingKnownWritesNoTagsAndCdTextOrTheDatabaseNameWhatTheyKnow) {
    Configure("");
    // No source of names: the MP3 files hold no ID3v1 record, no genre, nothing invented, and
    // decode to exactly the track's samples.
    ToolRun r = Rip("none", "--no-accuraterip", "mp3");
    ASSERT_EQ(r.status, 0) << r.err;
    for (int t = 1; t <= 3; ++t) {
        const std::filesystem::path mp3 = dir_ / "none" / ("Track" + std::to_string(t) + ".MP3");
        ASSERT_TRUE(std::filesystem::exists(mp3)) << r.out;
        const std::string bytes = orvane::test::ReadFile(mp3);
        EXPECT_NE(bytes.substr(bytes.size() - 128), std::string(128, '\0'));
        const std::string tags = TagsOf(mp3);
        EXPECT_EQ(tags.find("TCON"), std::string::npos) << tags;
        EXPECT_NE(tags.find("v1=none"), std::string::npos) << tags;
        EXPECT_EQ(Mp3Problems(mp3), "");
        EXPECT_EQ(Output("ffmpeg -nostdin -v error -i '" + mp3.string() + "' -f s16le - | wc -c"),
                  std::to_string(kFrames[t - 1] * 2352) + "\n");
    }
    r = Rip("flac", "--no-accuraterip", "flac");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string flac = TagsOf(dir_ / "flac" / "Track1.FLAC");
    EXPECT_EQ(flac.find("genre"), std::string::npos) << flac;

    // CD-Text, and no other source asked for: its names name the files and fill the tags.
    std::string sheet = orvane::test::ReadFile(cue_);
    sheet = "PERFORMER \"Text Band\"\nTITLE \"Text Album\"\n" + sheet;
    const auto after = [&sheet](const std::string& line) { return sheet.find(line) + line.size(); };
    sheet.insert(after("TRACK 02 AUDIO\n"), "    TITLE \"Second\"\n");
    sheet.insert(after("TRACK 03 AUDIO\n"), "    TITLE \"Third\"\n    PERFORMER \"Guest\"\n");
    orvane::test::WriteFile(cue_, sheet);
    r = Rip("text", "--no-accuraterip", "mp3");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::filesystem::path second = dir_ / "text" / "Text Band - Second.MP3";
    ASSERT_TRUE(std::filesystem::exists(second)) << r.out;
    EXPECT_TRUE(std::filesystem::exists(dir_ / "text" / "Text Band - Track1.MP3"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "text" / "Guest - Third.MP3"));
    const std::string tags = TagsOf(second);
    for (const char* line :
         {"TALB=Text Album\n", "TIT2=Second\n", "TPE1=Text Band\n", "TRCK=2/3\n", "v1=255\n"})
        EXPECT_NE(tags.find(line), std::string::npos) << line << tags;
    EXPECT_EQ(tags.find("TCON"), std::string::npos) << tags;
    EXPECT_EQ(Mp3Problems(second), "");

    // A database entry that names no genre gives none; one that names a genre of the list
    // gives its code.
    for (const std::string genre : {"", "Rock"}) {
        orvane::test::LoopbackServer cddb([&](const std::string& request) {
            if (request.find("cddb+query+") != std::string::npos)
                return orvane::test::HttpReply("200 misc 10000703 Band / Record\r\n");
            return orvane::test::HttpReply(
                "210 misc 10000703 CD database entry follows (until terminating `.')\r\n"
                "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t450\r\n#\t600\r\n"
                "#\r\n# Disc length: 9 seconds\r\n#\r\n# Revision: 1\r\n"
                "# Submitted via: test 1.0\r\n#\r\n"
                "DISCID=10000703\r\nDTITLE=Band / Record\r\nDYEAR=1999\r\nDGENRE=" +
                genre +
                "\r\nTTITLE0=One\r\nTTITLE1=Two\r\nTTITLE2=Three\r\nEXTD=\r\nEXTT0=\r\n"
                "EXTT1=\r\nEXTT2=\r\nPLAYORDER=\r\n.\r\n");
        });
        UseCddb(cddb.Address());
        r = Rip("db", "--cddb --no-accuraterip", "mp3");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string named = TagsOf(dir_ / "db" / "Band - Two.MP3");
        EXPECT_NE(named.find("TALB=Record\n"), std::string::npos) << named;
        if (genre.empty()) {
            EXPECT_EQ(named.find("TCON"), std::string::npos) << named;
            EXPECT_NE(named.find("v1=255\n"), std::string::npos) << named;
        } else {
            EXPECT_NE(named.find("TCON=Rock\n"), std::string::npos) << named;
            EXPECT_NE(named.find("v1=17\n"), std::string::npos) << named;
        }
    }
}

}  // namespace

namespace {

// The image drive's own account of a rip ("tray_open=1\nsectors_read=525\n..."): one value.
std::string DriveState(const std::filesystem::path& file, const std::string& key) {
    const std::string text = orvane::test::ReadFile(file);
    const auto at = text.find(key + "=");
    if (at == std::string::npos) return {};
    const auto from = at + key.size() + 1;
    return text.substr(from, text.find('\n', from) - from);
}

}  // namespace

// The tray opens after a complete rip, asked on the command line or in the profile, and never
// after a failed one; the JSON says which, and why not.
TEST_F(RipTool, EjectOpensTheTrayOnlyAfterACompleteRip) {
    const std::filesystem::path state = dir_ / "drive.state";
    Configure("state_file=" + state.string());
    ToolRun r = Rip("plain", "--no-accuraterip --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("ejected"), std::string::npos) << r.out;
    EXPECT_EQ(DriveState(state, "tray_open"), "0");

    r = Rip("ejected", "--no-accuraterip --json --eject");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(", \"ejected\": true}\n"), std::string::npos) << r.out;
    EXPECT_EQ(DriveState(state, "tray_open"), "1");

    Configure("fail=310-312 state_file=" + state.string());
    r = Rip("failed", "--no-accuraterip --json --eject");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"ejected\": false, \"eject_reason\": \"the rip is not complete\"}"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(DriveState(state, "tray_open"), "0");

    // Rip\Eject asks for it without the option.
    Configure("state_file=" + state.string());
    ::setenv("ORVANE_REGISTRY_DIR", (dir_ / "config" / "orvane").c_str(), 1);
    orvane::registry::ResetForTesting();
    {
        orvane::encoder::ProfileSettings profile;
        ASSERT_TRUE(profile.WriteProfileInt("Rip", "Eject", 1));
    }
    ::unsetenv("ORVANE_REGISTRY_DIR");
    orvane::registry::ResetForTesting();
    r = Rip("profile", "--no-accuraterip");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DriveState(state, "tray_open"), "1");
}

// Several formats from one read: the drive reads every sector as often as for one format; each
// format lands in its own folder with its own log and cue sheet, FLAC bit-exact and the lossy
// files as long as the tracks; a format that cannot be written fails its files alone.
TEST_F(RipTool, SeveralFormatsComeFromOneReadEachIntoItsOwnFolder) {
    const std::filesystem::path state = dir_ / "drive.state";
    Configure("state_file=" + state.string());
    ToolRun r = Rip("one", "--no-accuraterip", "flac");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string oneRead = DriveState(state, "sectors_read");
    EXPECT_EQ(oneRead, std::to_string(kLeadOut));

    r = Rip("three", "--no-accuraterip --json", "flac,opus,mp3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DriveState(state, "sectors_read"), oneRead);
    EXPECT_NE(r.out.find("\"file\": \"three/FLAC/Track2.FLAC\""), std::string::npos) << r.out;
    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_ / "three"))
        names.insert(std::filesystem::relative(e.path(), dir_ / "three").string());
    EXPECT_EQ(names,
              (std::set<std::string>{"FLAC", "FLAC/Rip.cue", "FLAC/Rip.log", "FLAC/Track1.FLAC",
                                     "FLAC/Track2.FLAC", "FLAC/Track3.FLAC", "MP3", "MP3/Rip.cue",
                                     "MP3/Rip.log", "MP3/Track1.MP3", "MP3/Track2.MP3",
                                     "MP3/Track3.MP3", "Opus", "Opus/Rip.cue", "Opus/Rip.log",
                                     "Opus/Track1.OPUS", "Opus/Track2.OPUS", "Opus/Track3.OPUS"}));
    const std::string dir = (dir_ / "three").string();
    for (int t = 0; t < 3; ++t) {
        const std::string n = std::to_string(t + 1);
        EXPECT_TRUE(Output("flac -s -d -c --force-raw-format --endian=little --sign=signed '" +
                           dir + "/FLAC/Track" + n + ".FLAC'") ==
                    orvane::test::PatternFrames(kStarts[t], kFrames[t]))
            << "track " << n;
        // Decoded with the encoders' delay and padding taken off: the track's samples, no more.
        EXPECT_EQ(
            Output("ffmpeg -v error -i '" + dir + "/MP3/Track" + n + ".MP3' -f s16le - | wc -c"),
            std::to_string(kFrames[t] * 2352) + "\n");
        EXPECT_EQ(Output("ffmpeg -v error -i '" + dir + "/Opus/Track" + n +
                         ".OPUS' -f s16le -ar 48000 - | wc -c"),
                  std::to_string(kFrames[t] * 2352 / 441 * 480) + "\n");
    }
    EXPECT_NE(
        orvane::test::ReadFile(dir_ / "three" / "Opus" / "Rip.cue").find("FILE \"Track3.OPUS\""),
        std::string::npos);
    EXPECT_NE(orvane::test::ReadFile(dir_ / "three" / "MP3" / "Rip.log").find("Track3.MP3"),
              std::string::npos);

    // The MP3 folder's name is taken by a file: the WAVE and FLAC files are all there.
    std::filesystem::remove_all(dir_ / "broken");
    std::filesystem::create_directories(dir_ / "broken");
    orvane::test::WriteFile(dir_ / "broken" / "MP3", "x");
    const std::string command = "cd '" + dir_.path().string() + "' && " +
                                RipCommand("broken", "--no-accuraterip", "", "wav,flac,mp3");
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    r.err = orvane::test::ReadFile(dir_ / "err.txt");
    EXPECT_NE(r.err.find("3 of 9 files could not be saved"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Track2 (MP3): Error: "), std::string::npos) << r.err;
    for (int t = 0; t < 3; ++t) {
        const std::string n = std::to_string(t + 1);
        EXPECT_TRUE(Samples("broken/WAV", t + 1) ==
                    orvane::test::PatternFrames(kStarts[t], kFrames[t]));
        EXPECT_TRUE(std::filesystem::exists(dir_ / "broken" / "FLAC" / ("Track" + n + ".FLAC")));
    }
    EXPECT_NE(orvane::test::ReadFile(dir_ / "broken" / "WAV" / "Rip.cue").find("Track1.WAV"),
              std::string::npos);

    // The user's cover goes beside the tracks of every format's folder.
    const std::string png = orvane::test::TestPng(20, 10);
    orvane::test::WriteFile(dir_ / "front.png", png);
    ASSERT_EQ(Rip("covered", "--no-accuraterip --cover front.png", "wav,flac").status, 0);
    for (const char* format : {"WAV", "FLAC"})
        EXPECT_TRUE(orvane::test::ReadFile(dir_ / "covered" / format / "cover.png") == png)
            << format;

    // A format named twice or unknown is refused before anything is read.
    EXPECT_EQ(Rip("twice", "--no-accuraterip", "flac,flac").status, 2);
    EXPECT_EQ(Rip("unknown", "--no-accuraterip", "flac,ogg").status, 2);
}

// The whole disc as one image: FLAC that its own tools test and decode to the disc's audio,
// with the cue sheet inside and beside it; the field's cue splitter cuts the WAVE image into the
// track rip's files, and the log's checksums are the track rip's.
TEST_F(RipTool, AnImageOfTheDiscSplitsIntoTheTrackRipsFiles) {
    Configure("");
    ToolRun tracks = Rip("tracks", "--no-accuraterip --json");
    ASSERT_EQ(tracks.status, 0) << tracks.err;
    ToolRun r = Rip("flac", "--no-accuraterip --json --image", "flac");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string flac = (dir_ / "flac" / "Rip.flac").string();
    EXPECT_EQ(Output("flac -s -t '" + flac + "' 2>&1; echo $?"), "0\n");
    EXPECT_TRUE(Output("flac -s -d -c --force-raw-format --endian=little --sign=signed '" + flac +
                       "'") == orvane::test::PatternFrames(0, kLeadOut));
    const std::string inside = Output("metaflac --export-cuesheet-to=- '" + flac + "'");
    EXPECT_NE(inside.find("  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX "
                          "01 00:04:00\n  TRACK 03 AUDIO\n    INDEX 01 00:06:00\n"),
              std::string::npos)
        << inside;
    EXPECT_EQ(Output("cd '" + (dir_ / "flac").string() + "' && cuebreakpoints Rip.cue"),
              "0:04.00\n0:06.00\n");
    for (int t = 1; t <= 3; ++t)
        EXPECT_EQ(TrackField(r.out, t, "crc32"), TrackField(tracks.out, t, "crc32")) << t;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", Crc(orvane::test::PatternFrames(0, kLeadOut)));
    const std::string log = orvane::test::ReadFile(dir_ / "flac" / "Rip.log");
    EXPECT_NE(log.find(std::string("Image CRC32: ") + crc + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Track 3\n"), std::string::npos) << log;

    r = Rip("wave", "--no-accuraterip --image", "wav");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string wave = (dir_ / "wave").string();
    ASSERT_EQ(Output("cd '" + wave + "' && shnsplit -q -f Rip.cue -o wav Rip.wav 2>&1; echo $?"),
              "0\n");
    for (int t = 1; t <= 3; ++t) {
        const std::string split =
            orvane::test::ReadFile(dir_ / "wave" / ("split-track0" + std::to_string(t) + ".wav"));
        EXPECT_TRUE(split.size() > 44 && split.substr(44) == Samples("tracks", t)) << t;
    }
    // Tracks only: an image is WAVE or FLAC.
    EXPECT_EQ(Rip("opus", "--no-accuraterip --image", "opus").status, 2);
    // A track that cannot be read leaves no image that would pass for the disc.
    Configure("fail=310-312");
    r = Rip("failed", "--no-accuraterip --image", "flac");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No image of the disc was written."), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "failed" / "Rip.flac"));
}

// The image's cue sheet of a disc with everything a cue sheet can say: the audio before track 1
// as its INDEX 00, the pregaps inside the image, ISRC, catalog number, flags, texts; the data
// track of the enhanced disc is left out, with a REM line and a note in the log.
TEST_F(RipTool, TheImagesCueSheetTellsTheDiscAndLeavesItsDataTrackOut) {
    orvane::test::WriteFile(dir_ / "data.bin", std::string(2352 * 300, '\0'));
    orvane::test::WriteFile(dir_ / "full.cue",
                            "CATALOG 1234567890123\nPERFORMER \"The Band\"\nTITLE \"An Album\"\n"
                            "REM SESSION 01\nFILE \"disc.bin\" BINARY\n"
                            "  TRACK 01 AUDIO\n    TITLE \"One\"\n    ISRC USABC1234567\n"
                            "    INDEX 00 00:00:00\n    INDEX 01 00:01:00\n"
                            "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    FLAGS PRE DCP\n"
                            "    INDEX 00 00:03:50\n    INDEX 01 00:04:00\n"
                            "  TRACK 03 AUDIO\n    TITLE \"Three\"\n"
                            "    INDEX 00 00:05:70\n    INDEX 01 00:06:00\n"
                            "    INDEX 02 00:06:30\n"
                            "REM SESSION 02\nFILE \"data.bin\" BINARY\n  TRACK 04 MODE1/2352\n"
                            "    INDEX 01 00:00:00\n");
    cue_ = (dir_ / "full.cue").string();
    Configure("");
    ToolRun r = Rip("full", "--no-accuraterip --image", "flac");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string cue = orvane::test::ReadFile(dir_ / "full" / "The Band - An Album.cue");
    const auto body = cue.find("CATALOG");
    ASSERT_NE(body, std::string::npos) << cue;
    // The disc's CD database id, as orvane-cdda toc tells it.
    const std::string toc =
        Output("XDG_CONFIG_HOME='" + (dir_ / "config").string() + "' ORVANE_CD_IMAGES= '" +
               (orvane::test::DistDir() / "orvane-cdda").string() + "' toc D: --json");
    const auto id = toc.find("\"freedb_id\": \"");
    ASSERT_NE(id, std::string::npos) << toc;
    EXPECT_EQ(cue.substr(0, cue.find('\n') + 1), "REM DISCID " + toc.substr(id + 14, 8) + "\n")
        << cue;
    EXPECT_EQ(cue.substr(body),
              "CATALOG 1234567890123\nPERFORMER \"The Band\"\nTITLE \"An Album\"\n"
              "FILE \"The Band - An Album.flac\" WAVE\n"
              "  TRACK 01 AUDIO\n    TITLE \"One\"\n    PERFORMER \"The Band\"\n"
              "    ISRC USABC1234567\n    INDEX 00 00:00:00\n    INDEX 01 00:01:00\n"
              "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    PERFORMER \"The Band\"\n"
              "    FLAGS DCP PRE\n    INDEX 00 00:03:50\n    INDEX 01 00:04:00\n"
              "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    PERFORMER \"The Band\"\n"
              "    INDEX 00 00:05:70\n    INDEX 01 00:06:00\n    INDEX 02 00:06:30\n"
              "REM DATA TRACK 04 NOT IN THE IMAGE\n");
    const std::string folder = (dir_ / "full").string();
    EXPECT_EQ(
        Output("cd '" + folder + "' && cuebreakpoints --split-gaps 'The Band - An Album.cue'"),
        "0:01.00\n0:03.50\n0:04.00\n0:05.70\n0:06.00\n");
    EXPECT_NE(Output("cd '" + folder + "' && cueprint 'The Band - An Album.cue'").find("An Album"),
              std::string::npos);
    const std::string flac = folder + "/The Band - An Album.flac";
    const std::string inside = Output("metaflac --export-cuesheet-to=- '" + flac + "'");
    EXPECT_NE(inside.find("CATALOG 1234567890123\n"), std::string::npos) << inside;
    EXPECT_NE(inside.find("  TRACK 01 AUDIO\n    ISRC USABC1234567\n    INDEX 00 00:00:00\n"
                          "    INDEX 01 00:01:00\n  TRACK 02 AUDIO\n    FLAGS PRE\n"
                          "    INDEX 00 00:03:50\n"),
              std::string::npos)
        << inside;
    const std::string tags = TagsOf(flac);
    EXPECT_NE(tags.find("album=An Album"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("title="), std::string::npos) << tags;
    // The image holds the disc's audio, the hidden part before track 1 too.
    EXPECT_TRUE(Output("flac -s -d -c --force-raw-format --endian=little --sign=signed '" + flac +
                       "'") == orvane::test::PatternFrames(0, kLeadOut));
    const std::string log = orvane::test::ReadFile(dir_ / "full" / "The Band - An Album.log");
    EXPECT_NE(log.find("Track 4 is a data track: it is not in the image"), std::string::npos)
        << log;
}

// The pregaps end the track before, start their own track or are left out: joined, the files
// of the first two are the disc's audio; the checksums stay the INDEX 01 spans' whatever the
// choice, and the cue sheet places each INDEX 00 where its samples are (the "own" form is one
// the field's cue sheet tools read).
TEST_F(RipTool, PregapsGoWhereTheRipSaysAndTheChecksumsStay) {
    orvane::test::WriteFile(dir_ / "gaps.cue",
                            "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    INDEX 00 00:03:50\n    INDEX 01 00:04:00\n"
                            "  TRACK 03 AUDIO\n    INDEX 00 00:05:70\n    INDEX 01 00:06:00\n"
                            "    INDEX 02 00:06:30\n");
    cue_ = (dir_ / "gaps.cue").string();
    Configure("");
    const auto frames = [](std::uint32_t from, std::uint32_t to) {
        return orvane::test::PatternFrames(from, to - from);
    };
    std::map<std::string, ToolRun> runs;
    for (const char* choice : {"previous", "own", "drop"}) {
        ToolRun r = Rip(choice, std::string("--no-accuraterip --json --pregaps ") + choice);
        ASSERT_EQ(r.status, 0) << choice << ": " << r.err;
        runs[choice] = r;
    }
    EXPECT_TRUE(Samples("previous", 1) + Samples("previous", 2) + Samples("previous", 3) ==
                frames(0, kLeadOut));
    EXPECT_TRUE(Samples("own", 1) == frames(0, 275));
    EXPECT_TRUE(Samples("own", 2) == frames(275, 445));
    EXPECT_TRUE(Samples("own", 3) == frames(445, kLeadOut));
    EXPECT_TRUE(Samples("drop", 1) == frames(0, 275));
    EXPECT_TRUE(Samples("drop", 2) == frames(300, 445));
    EXPECT_TRUE(Samples("drop", 3) == frames(450, kLeadOut));
    for (const char* choice : {"own", "drop"})
        for (int t = 1; t <= 3; ++t)
            for (const char* sum : {"crc32", "accuraterip_v1", "accuraterip_v2"})
                EXPECT_EQ(TrackField(runs[choice].out, t, sum),
                          TrackField(runs["previous"].out, t, sum))
                    << choice << " track " << t << " " << sum;

    const std::string own = orvane::test::ReadFile(dir_ / "own" / "Rip.cue");
    EXPECT_EQ(own,
              "FILE \"Track1.WAV\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "FILE \"Track2.WAV\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
              "    INDEX 01 00:00:25\n"
              "FILE \"Track3.WAV\" WAVE\n  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n"
              "    INDEX 01 00:00:05\n    INDEX 02 00:00:35\n");
    EXPECT_EQ(Output("cd '" + (dir_ / "own").string() + "' && cuebreakpoints Rip.cue 2>&1"),
              "0:00.25\n0:00.05\n");
    for (const char* readable : {"own", "drop"})
        EXPECT_EQ(Output("cd '" + (dir_ / readable).string() +
                         "' && cueprint Rip.cue 2>&1 >/dev/null && cuebreakpoints Rip.cue 2>&1 "
                         ">/dev/null"),
                  "")
            << readable;
    const std::string drop = orvane::test::ReadFile(dir_ / "drop" / "Rip.cue");
    EXPECT_NE(drop.find("FILE \"Track2.WAV\" WAVE\n  TRACK 02 AUDIO\n    PREGAP 00:00:25\n"
                        "    INDEX 01 00:00:00\n"),
              std::string::npos)
        << drop;
    EXPECT_NE(orvane::test::ReadFile(dir_ / "own" / "Rip.log")
                  .find("Pregaps: at the start of their own tracks (the checksums are those of "
                        "the INDEX 01 spans)\n"),
              std::string::npos);
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "previous" / "Rip.log").find("Pregaps:"),
              std::string::npos);
    EXPECT_EQ(Rip("bad", "--pregaps next").status, 2);
}

// Two discs of one album into one folder: the names say which disc each is (or the user does),
// the tags carry it, %D names the files apart and the logs and cue sheets are "CD n".
TEST_F(RipTool, TwoDiscsOfOneAlbumShareAFolderWithoutAClash) {
    ::setenv("ORVANE_REGISTRY_DIR", (dir_ / "config" / "orvane").c_str(), 1);
    orvane::registry::ResetForTesting();
    {
        orvane::encoder::ProfileSettings profile;
        ASSERT_TRUE(profile.WriteProfileString("Preferences", "FileNamePattern", "%D-%N %T"));
    }
    ::unsetenv("ORVANE_REGISTRY_DIR");
    orvane::registry::ResetForTesting();
    std::filesystem::create_directories(dir_ / "album");
    for (int disc = 1; disc <= 2; ++disc) {
        const std::string name = "set" + std::to_string(disc) + ".cue";
        orvane::test::WriteFile(
            dir_ / name, "PERFORMER \"The Band\"\nTITLE \"An Album (Disc " + std::to_string(disc) +
                             ")\"\nFILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
                             "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n"
                             "    INDEX 01 00:04:00\n  TRACK 03 AUDIO\n    TITLE \"Three\"\n"
                             "    INDEX 01 00:06:00\n");
        cue_ = (dir_ / name).string();
        Configure("");
        const std::string command =
            "cd '" + dir_.path().string() + "' && " +
            RipCommand("album",
                       disc == 1 ? "--no-accuraterip --disc auto" : "--no-accuraterip --disc 2/2",
                       "", "flac");
        const int raw = std::system(command.c_str());
        ASSERT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0)
            << orvane::test::ReadFile(dir_ / "err.txt");
    }
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_ / "album"))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{
                         "1-01 One.FLAC", "1-02 Two.FLAC", "1-03 Three.FLAC", "2-01 One.FLAC",
                         "2-02 Two.FLAC", "2-03 Three.FLAC", "The Band - An Album CD 1.cue",
                         "The Band - An Album CD 1.log", "The Band - An Album CD 2.cue",
                         "The Band - An Album CD 2.log"}));
    const std::string one = TagsOf(dir_ / "album" / "1-02 Two.FLAC");
    EXPECT_NE(one.find("album=An Album\n"), std::string::npos) << one;
    EXPECT_NE(one.find("discnumber=1\n"), std::string::npos) << one;
    EXPECT_EQ(one.find("disctotal="), std::string::npos) << one;
    const std::string two = TagsOf(dir_ / "album" / "2-02 Two.FLAC");
    EXPECT_NE(two.find("discnumber=2\n"), std::string::npos) << two;
    EXPECT_NE(two.find("album=An Album\n"), std::string::npos) << two;
    EXPECT_NE(two.find("disctotal=2\n"), std::string::npos) << two;
    EXPECT_EQ(Rip("bad", "--disc 3/2").status, 2);
}

// MusicBrainz lists the disc as the second medium of a release of two: its tags say 2/2 and
// its log and cue sheet are "CD 2" unasked, so the first disc's rip into the same folder keeps
// its own. A release of one medium names no disc of a set; --disc N still says otherwise.
TEST_F(RipTool, TheMediumMusicBrainzListsIsTheDiscOfTheSet) {
    Configure("");
    int media = 2;
    orvane::test::LoopbackServer musicBrainz([&](const std::string& request) {
        // The disc asked for: "GET /ws/2/discid/ID?inc=..."
        const auto at = request.find("/discid/") + 8;
        const std::string id = request.substr(at, request.find_first_of("?/ ", at) - at);
        std::string json =
            R"({"releases":[{"id":"r","title":"Pictures","artist-credit":[{"name":"Painter",)"
            R"("joinphrase":""}],"media":[)";
        if (media == 2) json += R"({"position":1,"discs":[{"id":"other"}],"tracks":[]},)";
        json += R"({"position":)" + std::to_string(media) + R"(,"discs":[{"id":")" + id +
                R"("}],"tracks":[{"position":1,"title":"Red"},{"position":2,"title":"Green"},)"
                R"({"position":3,"title":"Blue"}]}]}]})";
        return orvane::test::LoopbackReply{
            {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(json.size()) + "\r\nConnection: close\r\n\r\n" + json},
            0,
            false};
    });
    const std::string args =
        "--no-accuraterip --cover none --musicbrainz --musicbrainz-server "
        "http://" +
        musicBrainz.Address();
    ToolRun r = Rip("set", args, "flac");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir_ / "set" / "Painter - Pictures CD 2.log"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "set" / "Painter - Pictures CD 2.cue"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "set" / "Painter - Pictures.log"));
    const std::string tags = TagsOf(dir_ / "set" / "Painter - Green.FLAC");
    EXPECT_NE(tags.find("discnumber=2\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("disctotal=2\n"), std::string::npos) << tags;

    r = Rip("told", args + " --disc 1/2", "flac");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir_ / "told" / "Painter - Pictures CD 1.log"));

    media = 1;
    r = Rip("single", args, "flac");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir_ / "single" / "Painter - Pictures.log"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "single" / "Painter - Pictures.cue"));
}
