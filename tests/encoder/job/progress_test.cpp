#include "encoder/job/progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvane::encoder {
namespace {

std::string Printf(const char* format, long long a, long long b = 0, long long c = 0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

TEST(Progress, TimeAndRateTextsMatchTheirPrintfFormsForEveryValue) {
    // Wide values, one and two digits, and a clock that went backwards (negative elapsed).
    for (long long t : {0LL, 1LL, 9LL, 10LL, 59LL, 60LL, 3599LL, 3600LL, 35999LL, 86399LL, 86400LL,
                        360000LL, 123456789LL, -1LL, -61LL, -3601LL, -86401LL}) {
        EXPECT_EQ(ElapsedText(t),
                  Printf("%02lld:%02lld:%02lld", t / 3600 % 24, t / 60 % 60, t % 60))
            << t;
        EXPECT_EQ(FramesPerSecondText(t * 37, 7),
                  Printf(" [%lld] Frames / second. ", t * 37 / RateSeconds(7)))
            << t;
    }
    EXPECT_EQ(FramesPerSecondText(-5, 1), " [-5] Frames / second. ");
}

TEST(Progress, CompressionTextRoundsLikeItsPrintfFormIncludingExactHalves) {
    auto expected = [](std::int64_t fed, int kbps, bool stereo) {
        auto estimate = static_cast<std::int64_t>(static_cast<double>(fed * (kbps / 8)) /
                                                  (stereo ? 176.4 : 88.2));
        char buf[96];
        std::snprintf(buf, sizeof buf, " %lldMB Compressed to %.1fMB ",
                      static_cast<long long>(fed / 1048576),
                      static_cast<double>(estimate) / 1048576.0);
        return std::string(buf);
    };
    for (std::int64_t fed = 0; fed < 40000000; fed += 997) {
        for (int kbps : {8, 128, 320}) {
            ASSERT_EQ(CompressionText(fed, kbps, true), expected(fed, kbps, true)) << fed;
            ASSERT_EQ(CompressionText(fed, kbps, false), expected(fed, kbps, false)) << fed;
        }
    }
    // Inputs whose estimate is exactly 0.25, 0.75 or 1.25 MB: ties go to the even tenth.
    for (std::int64_t fed = 2890000; fed < 2890300; ++fed) {
        ASSERT_EQ(CompressionText(fed, 128, true), expected(fed, 128, true)) << fed;
    }
    for (std::int64_t fed = 8670300; fed < 8670500; ++fed)
        ASSERT_EQ(CompressionText(fed, 128, true), expected(fed, 128, true)) << fed;
    EXPECT_EQ(CompressionText(2890138, 128, true), " 2MB Compressed to 0.2MB ");  // 0.25
    EXPECT_EQ(CompressionText(8670420, 128, true), " 8MB Compressed to 0.8MB ");  // 0.75
    EXPECT_EQ(CompressionText(-1048576 * 3, 128, true), expected(-1048576 * 3, 128, true));

    EXPECT_EQ(EncoderRemainingText(3600LL * 98 + 609, 1, 0), "98:10:09");
}

TEST(Progress, ElapsedWrapsHoursAtADay) {
    EXPECT_EQ(ElapsedText(0), "00:00:00");
    EXPECT_EQ(ElapsedText(3661), "01:01:01");
    EXPECT_EQ(ElapsedText(25 * 3600), "01:00:00");
}

TEST(Progress, RatesDivideByAtLeastOneSecond) {
    EXPECT_EQ(RateSeconds(0), 1);
    EXPECT_EQ(RateSeconds(86400), 1);
    EXPECT_EQ(RateSeconds(86401), 1);
    EXPECT_EQ(RateSeconds(10), 10);
    EXPECT_EQ(FramesPerSecondText(37, 0), " [37] Frames / second. ");
    EXPECT_EQ(FramesPerSecondText(100, 3), " [33] Frames / second. ");
}

TEST(Progress, RemainingTimeLimits) {
    EXPECT_EQ(EncoderRemainingText(1000, 10, 40), "00:01:00");
    EXPECT_EQ(EncoderRemainingText(120 * 3600, 1, 0), "00:00:00");  // 120 hours
    EXPECT_EQ(EncoderRemainingText(99 * 3600, 1, 0), "00:00:00");   // 99 hours, modulo 99
    EXPECT_EQ(EncoderRemainingText(98 * 3600 + 5, 1, 0), "98:00:05");
    EXPECT_EQ(EncoderRemainingText(1000, 0, 5), "00:00:00");  // no rate yet
    EXPECT_EQ(EncoderRemainingText(10, 10, 50), "00:00:00");  // estimate behind
    EXPECT_EQ(DecoderRemainingText(99 * 3600, 1, 0), "99:00:00");
    EXPECT_EQ(DecoderRemainingText(100 * 3600, 1, 0), "00:00:00");
}

TEST(Progress, CompressionEstimate) {
    EXPECT_EQ(CompressionText(0, 128, true), " 0MB Compressed to 0.0MB ");
    // 10 MiB of stereo PCM at 128 kbit/s: 10485760 * 16 / 176.4 bytes.
    EXPECT_EQ(CompressionText(10485760, 128, true), " 10MB Compressed to 0.9MB ");
    EXPECT_EQ(CompressionText(10485760, 128, false), " 10MB Compressed to 1.8MB ");
}

TEST(Progress, BarDivisorSwitchesAboveOneMillion) {
    EXPECT_EQ(BarDivisor(1000000), 10);
    EXPECT_EQ(BarDivisor(1000001), 1000);
}

}  // namespace
}  // namespace orvane::encoder
