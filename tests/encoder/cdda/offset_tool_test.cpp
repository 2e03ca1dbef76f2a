// orvane-cdda offset end to end: an image drive that delivers its samples late or early, a
// loopback AccurateRip server holding the true tracks' checksums, and the program in the
// program folder finding (and storing) the correction.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "encoder/cdda/accuraterip.h"
#include "encoder/freedb/loopback_server.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::cdda {
namespace {

constexpr std::uint32_t kFrames[] = {300, 150, 75};

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class OffsetTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "config" / "orvane");
        cue_ = test::WriteSimpleDisc(dir_, {kFrames[0], kFrames[1], kFrames[2]});
    }
    void Configure(const std::string& faults) {
        test::WriteFile(dir_ / "config" / "orvane" / "drives.conf",
                        "real_drives = no\nimage = " + cue_ + "\nfaults = " + faults + "\n");
    }
    ToolRun Start(const std::string& args) {
        const std::string command = "cd '" + dir_.path().string() + "' && XDG_CONFIG_HOME='" +
                                    (dir_ / "config").string() + "' ORVANE_CD_IMAGES= '" +
                                    (test::DistDir() / "orvane-cdda").string() + "' " + args +
                                    " >out.txt 2>err.txt";
        ToolRun r;
        const int raw = std::system(command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = test::ReadFile(dir_ / "out.txt");
        r.err = test::ReadFile(dir_ / "err.txt");
        return r;
    }
    test::TempDir dir_;
    std::string cue_;
};

// The database's file for the image disc: one pressing with the true tracks' v1 sums.
std::string DatabaseFile(AccurateRipId& id) {
    cdrom::DiscInfo disc;
    std::uint32_t at = 0;
    for (std::uint8_t t = 0; t < 3; ++t) {
        cdrom::TrackInfo info;
        info.number = static_cast<std::uint8_t>(t + 1);
        info.start = at;
        disc.tracks.push_back(info);
        at += kFrames[t];
    }
    disc.firstTrack = 1;
    disc.lastTrack = 3;
    disc.leadOut = at;
    cdrom::FillLengths(disc);
    id = ComputeAccurateRipId(disc);
    std::string file(1, '\3');
    for (std::uint32_t v : {id.id1, id.id2, id.freedbId})
        for (int b = 0; b < 4; ++b)
            file += static_cast<char>(v >> (8 * b));
    for (int t = 0; t < 3; ++t) {
        const std::string pcm =
            test::PatternFrames(disc.tracks[static_cast<std::size_t>(t)].start, kFrames[t]);
        TrackChecksummer sums(t == 0, t == 2, pcm.size() / 4);
        sums.Update(reinterpret_cast<const std::uint8_t*>(pcm.data()), pcm.size());
        const std::uint32_t v1 = sums.Finish().arV1;
        file += static_cast<char>(12);
        for (int b = 0; b < 4; ++b)
            file += static_cast<char>(v1 >> (8 * b));
        file += std::string(4, '\0');
    }
    return file;
}

TEST_F(OffsetTool, FindsTheDrivesOffsetAndStoresIt) {
    AccurateRipId id;
    const std::string file = DatabaseFile(id);
    test::LoopbackServer server([&](const std::string& request) {
        if (request.find("dBAR-" + id.Fingerprint() + ".bin") == std::string::npos)
            return test::LoopbackReply{{"HTTP/1.0 404 Not Found\r\n\r\n"}};
        return test::LoopbackReply{{"HTTP/1.0 200 OK\r\n\r\n" + file}};
    });
    const std::string url = "http://" + server.Address();
    for (int late : {-1200, 0, 667}) {
        Configure("read_offset=" + std::to_string(late));
        const ToolRun r = Start("offset --accuraterip-server " + url + " D:");
        ASSERT_EQ(r.status, 0) << late << r.err << r.out;
        const std::string best = late > 0 ? "+" + std::to_string(late) : std::to_string(late);
        EXPECT_NE(r.out.find("AccurateRip id: " + id.Fingerprint() + "\n"), std::string::npos);
        EXPECT_NE(r.out.find("offset " + best + ": 3 of 3 tracks match (confidence 36)\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("best offset: " + best + "\n"), std::string::npos) << r.out;
    }

    // Stored for the drive's model, a grab without --offset then reads the disc's samples.
    Configure("read_offset=30");
    ToolRun r = Start("offset --store --accuraterip-server " + url + " D:");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("stored +30 for "), std::string::npos) << r.out;
    ASSERT_EQ(Start("grab D: 2 two.wav").status, 0);
    EXPECT_EQ(test::ReadFile(dir_ / "two.wav").substr(44), test::PatternFrames(300, 150));
}

TEST_F(OffsetTool, WithoutTheDiscsEntriesNothingIsFound) {
    test::LoopbackServer server(
        [](const std::string&) { return test::LoopbackReply{{"HTTP/1.0 404 Not Found\r\n\r\n"}}; });
    Configure("read_offset=6");
    ToolRun r = Start("offset --store --accuraterip-server http://" + server.Address() + " D:");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("AccurateRip lookup: the disc is not in the database\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("cannot be found"), std::string::npos) << r.err;
    EXPECT_EQ(Start("offset").status, 2);
}

}  // namespace
}  // namespace orvane::cdda
