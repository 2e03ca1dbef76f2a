#include <gtest/gtest.h>

#include "platform/audio/audio_sink.h"
#include "platform/clock/clock.h"

namespace orvane::audio {
namespace {

TEST(NullSink, IsHeardInStepWithTheClockFromItsLastFlush) {
    clock::VirtualClock clock;
    clock.Advance(5000);
    clock::Install(&clock);
    NullSink sink;
    EXPECT_EQ(sink.PlayedUs(), 0u);
    clock.Advance(400);
    EXPECT_EQ(sink.PlayedUs(), 400000u);  // a late writer does not hold the stream back
    std::vector<char> block(588);
    ASSERT_TRUE(sink.Write(block.data(), block.size()));
    EXPECT_EQ(sink.BytesWritten(), 588u);
    sink.Flush();
    EXPECT_EQ(sink.PlayedUs(), 0u);
    clock.Advance(1);
    EXPECT_EQ(sink.PlayedUs(), 1000u);
    EXPECT_EQ(BytesToUs(kBytesPerSecond * 3), 3000000u);
    clock::Install(nullptr);
}

TEST(Sinks, OpenSinkHonoursTheFactoryAndTheNullChoice) {
    InstallSinkFactory([] { return std::make_unique<NullSink>(); });
    EXPECT_EQ(OpenSink("test")->Name(), "null");
    InstallSinkFactory({});
    setenv("ORVANE_AUDIO", "null", 1);
    EXPECT_EQ(OpenSink("test")->Name(), "null");
    unsetenv("ORVANE_AUDIO");
}

}  // namespace
}  // namespace orvane::audio
