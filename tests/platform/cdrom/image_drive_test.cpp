#include "platform/cdrom/image_drive.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/clock/clock.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::cdrom {
namespace {

using test::PatternByte;
using test::TempDir;

class ImageDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        drive_ = ImageDrive::Open(test::WriteSimpleDisc(dir_, {100, 200}), error);
        ASSERT_TRUE(drive_) << error;
    }
    TempDir dir_;
    std::unique_ptr<ImageDrive> drive_;
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(10 * kFrameBytes);
};

TEST_F(ImageDriveTest, FailingSectorsAnswerMediumErrorOnlyWhereTheyAre) {
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultWord("fail=50-52,120", plan, error)) << error;
    drive_->SetFaults(plan);
    EXPECT_TRUE(drive_->ReadCdda(40, 10, buf_.data()).ok);  // 40..49
    DriveResult r = drive_->ReadCdda(45, 10, buf_.data());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.senseKey, kSenseMediumError);
    EXPECT_EQ(r.asc, 0x11);
    EXPECT_FALSE(drive_->ReadCdda(120, 1, buf_.data()).ok);
    EXPECT_TRUE(drive_->ReadCdda(53, 10, buf_.data()).ok);
    EXPECT_EQ(buf_[9 * kFrameBytes + 3], PatternByte(62, 3));
}

TEST_F(ImageDriveTest, ReadSpeedIsKeptUpToTheFastest) {
    Capabilities caps;
    ASSERT_TRUE(drive_->SetSpeed(1411).ok);
    ASSERT_TRUE(drive_->ReadCapabilities(caps).ok);
    EXPECT_EQ(caps.currentSpeedKBs, 1411);
    ASSERT_TRUE(drive_->SetSpeed(DiscDrive::kMaxSpeed).ok);
    ASSERT_TRUE(drive_->ReadCapabilities(caps).ok);
    EXPECT_EQ(caps.currentSpeedKBs, caps.maxSpeedKBs);
}

TEST_F(ImageDriveTest, NoDiscAndOpenTrayAreNotReady) {
    Toc toc;
    ASSERT_TRUE(drive_->ReadToc(toc).ok);
    EXPECT_EQ(toc.leadOut, 300u);

    FaultPlan plan;
    plan.noDisc = true;
    drive_->SetFaults(plan);
    DriveResult r = drive_->TestUnitReady();
    EXPECT_TRUE(r.NoMedium());
    EXPECT_FALSE(r.TrayOpen());
    EXPECT_FALSE(drive_->ReadToc(toc).ok);

    drive_->SetFaults({});
    ASSERT_TRUE(drive_->SetTray(true).ok);
    EXPECT_TRUE(drive_->TestUnitReady().TrayOpen());
    EXPECT_TRUE(drive_->ReadCdda(0, 1, buf_.data()).TrayOpen());
    ASSERT_TRUE(drive_->SetTray(false).ok);
    EXPECT_TRUE(drive_->TestUnitReady().ok);
}

TEST_F(ImageDriveTest, SlowSectorsTakeTheirTimeOnTheClock) {
    clock::VirtualClock clock;
    clock::Install(&clock);
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultWord("slow=10-19", plan, error));
    ASSERT_TRUE(ParseFaultWord("slow_ms=400", plan, error));
    drive_->SetFaults(plan);
    ASSERT_TRUE(drive_->ReadCdda(0, 10, buf_.data()).ok);  // not slow: no sleep
    std::atomic<bool> done{false};
    std::thread reader([&] {
        EXPECT_TRUE(drive_->ReadCdda(15, 2, buf_.data()).ok);
        done = true;
    });
    ASSERT_TRUE(clock.WaitForSleepers(1));
    EXPECT_FALSE(done);
    clock.Advance(400);
    reader.join();
    EXPECT_TRUE(done);
    clock::Install(nullptr);
}

// Sample i (0-based, 4 bytes each) of the disc as the pattern lays it out; zeros outside.
std::vector<std::uint8_t> DiscSamples(std::int64_t first, std::size_t count, std::uint32_t frames) {
    std::vector<std::uint8_t> out(count * 4, 0);
    for (std::size_t k = 0; k < count; ++k) {
        const std::int64_t sample = first + static_cast<std::int64_t>(k);
        if (sample < 0 || sample >= std::int64_t{frames} * 588) continue;
        const auto f = static_cast<std::uint32_t>(sample / 588);
        const auto at = static_cast<std::uint32_t>(sample % 588) * 4;
        for (std::uint32_t b = 0; b < 4; ++b)
            out[k * 4 + b] = PatternByte(f, at + b);
    }
    return out;
}

TEST_F(ImageDriveTest, ReadOffsetDeliversTheDiscsSamplesLateWithZerosOutsideIt) {
    // Negative, positive, more than a sector each way; reads at the disc's start, inside, end.
    for (std::int32_t offset : {-1300, -30, 0, 7, 588, 1000}) {
        FaultPlan plan;
        std::string error;
        ASSERT_TRUE(ParseFaultWord("read_offset=" + std::to_string(offset), plan, error));
        drive_->SetFaults(plan);
        for (std::uint32_t lba : {0u, 150u, 297u}) {
            ASSERT_TRUE(drive_->ReadCdda(lba, 3, buf_.data()).ok);
            std::vector<std::uint8_t> got(buf_.begin(), buf_.begin() + 3 * kFrameBytes);
            EXPECT_EQ(got, DiscSamples(std::int64_t{lba} * 588 - offset, 3 * 588, 300))
                << "offset " << offset << " lba " << lba;
        }
    }
}

TEST_F(ImageDriveTest, FlippedSectorsReadWrongOnceAndC2SectorsAlwaysWithPointers) {
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultWord("flip=11-12", plan, error));
    ASSERT_TRUE(ParseFaultWord("c2=20", plan, error));
    drive_->SetFaults(plan);
    std::vector<std::uint8_t> truth(buf_.size());
    drive_->SetFaults({});
    ASSERT_TRUE(drive_->ReadCdda(10, 4, truth.data()).ok);
    drive_->SetFaults(plan);

    ASSERT_TRUE(drive_->ReadCdda(10, 4, buf_.data()).ok);
    auto frame = [&](const std::vector<std::uint8_t>& b, int k) {
        return std::vector<std::uint8_t>(b.begin() + k * kFrameBytes,
                                         b.begin() + (k + 1) * kFrameBytes);
    };
    EXPECT_EQ(frame(buf_, 0), frame(truth, 0));
    EXPECT_NE(frame(buf_, 1), frame(truth, 1));
    EXPECT_NE(frame(buf_, 2), frame(truth, 2));
    EXPECT_EQ(frame(buf_, 3), frame(truth, 3));
    ASSERT_TRUE(drive_->ReadCdda(10, 4, buf_.data()).ok);
    EXPECT_EQ(std::vector<std::uint8_t>(buf_.begin(), buf_.begin() + 4 * kFrameBytes),
              std::vector<std::uint8_t>(truth.begin(), truth.begin() + 4 * kFrameBytes));

    std::vector<std::uint8_t> c2(3 * DiscDrive::kC2Bytes, 0x55);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(drive_->ReadCddaC2(19, 3, buf_.data(), c2.data()).ok);
        EXPECT_EQ(c2[0], 0);
        EXPECT_EQ(c2[DiscDrive::kC2Bytes], 0xFF);
        EXPECT_EQ(c2[2 * DiscDrive::kC2Bytes + 5], 0);
        EXPECT_EQ(buf_[kFrameBytes + 4], PatternByte(20, 4) ^ 0x01);
    }
}

TEST_F(ImageDriveTest, ACachingDriveAnswersItsLastSectorsFromTheCacheFirstInFirstOut) {
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultWord("cache=4", plan, error));
    ASSERT_TRUE(ParseFaultWord("flip=11-12", plan, error));
    drive_->SetFaults({});
    std::vector<std::uint8_t> truth(buf_.size());
    ASSERT_TRUE(drive_->ReadCdda(10, 4, truth.data()).ok);
    Capabilities caps;
    ASSERT_TRUE(drive_->ReadCapabilities(caps).ok);
    EXPECT_EQ(caps.bufferKB, 0);  // no cache, no buffer to tell of
    drive_->SetFaults(plan);
    ASSERT_TRUE(drive_->ReadCapabilities(caps).ok);
    EXPECT_EQ(caps.bufferKB, 10);  // 4 x 2352 bytes, rounded up to a kB
    EXPECT_EQ(CacheSectorsOfBuffer(caps.bufferKB), 5u);
    EXPECT_EQ(CacheSectorsOfBuffer(2048), 892u);

    auto span = [&](const std::vector<std::uint8_t>& b, int from, int n) {
        return std::vector<std::uint8_t>(b.begin() + from * kFrameBytes,
                                         b.begin() + (from + n) * kFrameBytes);
    };
    const std::vector<std::uint8_t> wrong = [&] {
        EXPECT_TRUE(drive_->ReadCdda(10, 4, buf_.data()).ok);
        return span(buf_, 0, 4);
    }();
    EXPECT_NE(wrong, span(truth, 0, 4));
    // Read again at once: the cache answers with the same altered bytes.
    ASSERT_TRUE(drive_->ReadCdda(10, 4, buf_.data()).ok);
    EXPECT_EQ(span(buf_, 0, 4), wrong);
    // Two other sectors push out 10 and 11 only: 12 still comes altered from the cache.
    ASSERT_TRUE(drive_->ReadCdda(100, 2, buf_.data()).ok);
    ASSERT_TRUE(drive_->ReadCdda(12, 1, buf_.data()).ok);
    EXPECT_EQ(span(buf_, 0, 1), span(wrong, 2, 1));
    ASSERT_TRUE(drive_->ReadCdda(10, 2, buf_.data()).ok);
    EXPECT_EQ(span(buf_, 0, 2), span(truth, 0, 2));
    // A read longer than the cache pushes out its own first sectors as it goes.
    ASSERT_TRUE(drive_->ReadCdda(200, 8, buf_.data()).ok);
    ASSERT_TRUE(drive_->ReadCdda(10, 4, buf_.data()).ok);
    EXPECT_EQ(span(buf_, 0, 4), span(truth, 0, 4));
}

TEST_F(ImageDriveTest, SpeedPacesReadsToTheirPlayingTime) {
    clock::VirtualClock clock;
    clock::Install(&clock);
    FaultPlan plan;
    std::string error;
    ASSERT_TRUE(ParseFaultWord("speed=2", plan, error));
    drive_->SetFaults(plan);
    std::atomic<bool> done{false};
    // 75 frames at 2x: half a second.
    std::thread reader([&] {
        std::vector<std::uint8_t> big(75 * kFrameBytes);
        EXPECT_TRUE(drive_->ReadCdda(0, 75, big.data()).ok);
        done = true;
    });
    ASSERT_TRUE(clock.WaitForSleepers(1));
    clock.Advance(499);
    EXPECT_FALSE(done);
    clock.Advance(1);
    reader.join();
    EXPECT_TRUE(done);
    clock::Install(nullptr);
}

TEST(DiscDriveDefaults, ADriveWithoutC2PointersSaysSo) {
    struct Plain : DiscDrive {
        std::string Name() const override { return "plain"; }
        DriveResult Inquiry(InquiryData&) override { return {}; }
        DriveResult TestUnitReady() override { return {}; }
        DriveResult ReadToc(Toc&) override { return {}; }
        DriveResult ReadCdda(std::uint32_t, std::uint32_t, std::uint8_t*) override { return {}; }
        DriveResult ReadCapabilities(Capabilities&) override { return {}; }
        DriveResult SetTray(bool) override { return {}; }
    } plain;
    std::uint8_t frame[kFrameBytes], c2[DiscDrive::kC2Bytes];
    DriveResult r = plain.ReadCddaC2(0, 1, frame, c2);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.senseKey, kSenseIllegalRequest);
}

TEST(FaultWords, RejectsUnknownWordsAndBadRanges) {
    FaultPlan plan;
    std::string error;
    for (const char* word :
         {"fail=9-3", "fail=", "slow=a-b", "slow_ms=x", "explode", "fail=1,,2",
          "read_offset=", "read_offset=+-3", "read_offset=2000000", "flip=5-1", "c2=x", "speed=0",
          "speed=fast", "speed=1000", "cache=", "cache=-1", "cache=9999999"}) {
        EXPECT_FALSE(ParseFaultWord(word, plan, error)) << word;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(ParseFaultWord("tray_open", plan, error));
    EXPECT_TRUE(ParseFaultWord("busy", plan, error));
    EXPECT_TRUE(plan.trayOpen && plan.busy);
}

TEST(DriveAnswers, TocInquiryAndCapabilitiesSurviveTheirByteForms) {
    Toc toc;
    toc.firstTrack = 1;
    toc.lastTrack = 3;
    toc.tracks = {{1, 1, 0, 0}, {2, 1, 0, 15000}, {3, 1, 4, 200000}};
    toc.leadOut = 250000;
    std::vector<std::uint8_t> bytes = EncodeToc(toc);
    ASSERT_EQ(bytes.size(), 4u + 4 * 8);
    EXPECT_EQ((bytes[0] << 8) | bytes[1], 34);  // data length without its own two bytes
    EXPECT_EQ(bytes[4 + 3 * 8 + 2], 0xAA);
    Toc back;
    std::string error;
    ASSERT_TRUE(ParseToc(bytes.data(), bytes.size(), back, &error)) << error;
    EXPECT_EQ(back, toc);

    bytes[4 + 8 + 7] = 0;  // track 2 now starts before track 1's end? no: lba 14848 still ok
    bytes[4 + 8 + 2] = 1;  // but repeating track number 1 is out of order
    EXPECT_FALSE(ParseToc(bytes.data(), bytes.size(), back, &error));
    EXPECT_FALSE(ParseToc(bytes.data(), 3, back, &error));

    InquiryData inquiry{5, "ACME", "CDROM 52X", "1.0", true};
    std::vector<std::uint8_t> inq = EncodeInquiry(inquiry);
    InquiryData parsed;
    ASSERT_TRUE(ParseInquiry(inq.data(), inq.size(), parsed));
    EXPECT_EQ(parsed.vendor, "ACME    ");
    EXPECT_EQ(parsed.product, "CDROM 52X       ");
    EXPECT_EQ(parsed.revision, "1.0 ");
    EXPECT_EQ(parsed.deviceType, 5);

    Capabilities caps;
    caps.cddaSupported = false;
    caps.maxSpeedKBs = 1234;
    std::vector<std::uint8_t> page = EncodeCapabilities(caps);
    ASSERT_EQ(page.size(), 28u);
    EXPECT_EQ(page[13] & 1, 0);  // the CD-DA bit where the grabber looks for it
    Capabilities capsBack;
    ASSERT_TRUE(ParseCapabilities(page.data(), page.size(), capsBack));
    EXPECT_FALSE(capsBack.cddaSupported);
    EXPECT_EQ(capsBack.maxSpeedKBs, 1234);

    std::vector<std::uint8_t> sense = EncodeSense(DriveResult::Sense(kSenseNotReady, 0x3A, 0x02));
    EXPECT_EQ(sense[2], 2);
    EXPECT_EQ(sense[12], 0x3A);
    EXPECT_EQ(sense[13], 2);
}

}  // namespace
}  // namespace orvane::cdrom
