#include "encoder/app/progress.h"

#include <gtest/gtest.h>

namespace orvane::encoder {
namespace {

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
