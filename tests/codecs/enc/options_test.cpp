#include <gtest/gtest.h>

#include "codecs/enc/options.h"

namespace orvane::codecs {
namespace {

EncoderArgs Parse(std::vector<std::string> args) {
    EncoderArgs out;
    std::string error;
    EXPECT_TRUE(ParseEncoderArgs(args, &out, &error)) << error;
    return out;
}

std::string ParseError(std::vector<std::string> args) {
    EncoderArgs out;
    std::string error;
    EXPECT_FALSE(ParseEncoderArgs(args, &out, &error));
    return error;
}

TEST(EncoderArgs, FullVectorWithEmptyArgumentsInPlaceOfSwitches) {
    EncoderArgs a = Parse({"-mj", "-b128", "-s44.10", "-p2", "-l3", "-dn", "", "", "", "-t",
                           "/in/a b.wav", "/out/x.mp3"});
    EXPECT_EQ(a.mode, ChannelMode::JointStereo);
    EXPECT_EQ(a.kbps, 128);
    EXPECT_EQ(a.rateHz, 44100);
    EXPECT_EQ(a.model, 2);
    EXPECT_EQ(a.layer, 3);
    EXPECT_EQ(a.emphasis, 0);
    EXPECT_FALSE(a.copyright || a.original || a.crc);
    EXPECT_TRUE(a.fast);
    EXPECT_EQ(a.input, "/in/a b.wav");
    EXPECT_EQ(a.output, "/out/x.mp3");

    EncoderArgs b = Parse({"-md", "-b384", "-s8.00", "-p1", "-l1", "-dc", "-c", "-o", "-e", "",
                           "in.wav", "-odd-name.mp3"});
    EXPECT_EQ(b.mode, ChannelMode::DualChannel);
    EXPECT_EQ(b.emphasis, 3);
    EXPECT_EQ(b.rateHz, 8000);
    EXPECT_TRUE(b.copyright && b.original && b.crc && !b.fast);
    // The last two arguments are always the paths, whatever they look like.
    EXPECT_EQ(b.output, "-odd-name.mp3");
    EXPECT_EQ(Parse({"-mm", "-d5", "i", "o"}).emphasis, 1);
    EXPECT_EQ(Parse({"-mm", "i", "o"}).mode, ChannelMode::Mono);
}

TEST(EncoderArgs, RatesFromTheTwoDecimalFigure) {
    EXPECT_EQ(RateFromKhz(44.10), 44100);
    EXPECT_EQ(RateFromKhz(22.05), 22050);
    EXPECT_EQ(RateFromKhz(11.03), 11025);
    EXPECT_EQ(RateFromKhz(8.00), 8000);
    EXPECT_EQ(RateFromKhz(48.00), 48000);
    EXPECT_EQ(RateFromKhz(37.80), 37800);  // no standard rate: kept
}

TEST(EncoderArgs, MalformedOptionsAreRefusedWithAReason) {
    for (const auto& bad :
         std::vector<std::string>{"-mx", "-b", "-b12x", "-b0", "-s", "-s4a", "-s44.10.1", "-s0.5",
                                  "-l4", "-l", "-dq", "-cc", "-x", "b128", "-p", "-"}) {
        std::string error = ParseError({bad, "in.wav", "out.mp3"});
        EXPECT_NE(error.find("Invalid option"), std::string::npos) << bad;
        EXPECT_LE(error.size(), 100u);
    }
    EXPECT_FALSE(ParseError({"in.wav"}).empty());
    EXPECT_FALSE(ParseError({"-mj", "", ""}).empty());
}

EncodePlan Plan(std::vector<std::string> args, int channels, int rate) {
    args.push_back("in.wav");
    args.push_back("out.mp3");
    EncodePlan plan;
    std::string error;
    EXPECT_TRUE(PlanEncoding(Parse(args), channels, rate, &plan, &error)) << error;
    return plan;
}

TEST(EncodePlan, BitRatesOutsideTheLayerAreMovedToTheNearestAllowedOne) {
    EncodePlan l1 = Plan({"-l1", "-b48", "-ms"}, 2, 44100);
    EXPECT_EQ(l1.kbps, 64);  // 32 and 64 are equally near: the better one
    ASSERT_EQ(l1.notes.size(), 1u);
    EXPECT_NE(l1.notes[0].find("64 kbit/s"), std::string::npos);

    // Layer 2 of MPEG-1: no 32..56 or 80 for two channels, nothing above 192 for one.
    EXPECT_EQ(Plan({"-l2", "-b48", "-ms"}, 2, 44100).kbps, 64);
    EXPECT_EQ(Plan({"-l2", "-b80", "-mj"}, 2, 44100).kbps, 96);
    EXPECT_EQ(Plan({"-l2", "-b80", "-mm"}, 1, 44100).kbps, 80);
    EXPECT_EQ(Plan({"-l2", "-b256", "-mm"}, 1, 44100).kbps, 192);
    EXPECT_EQ(Plan({"-l2", "-b192", "-ms"}, 2, 44100).notes.size(), 0u);
    EXPECT_EQ(Plan({"-l3", "-b500", "-mj"}, 2, 44100).kbps, 320);
    EXPECT_EQ(Plan({"-l3", "-b128", "-mj"}, 2, 44100).notes.size(), 0u);

    // A Layer 1 frame must hold its allocation: 32 kbit/s stereo at 48 kHz cannot.
    EncodePlan tight = Plan({"-l1", "-b32", "-ms", "-e"}, 2, 48000);
    EXPECT_GT(tight.kbps, 32);
}

TEST(EncodePlan, RatesOutsideMpeg1UseTheVersionOrRateThatCarriesThem) {
    EncodePlan l3 = Plan({"-l3", "-b128", "-mj", "-s22.05"}, 2, 22050);
    EXPECT_EQ(l3.version, MpegVersion::Mpeg2);
    EXPECT_EQ(l3.outputRate, 22050);
    EXPECT_EQ(l3.kbps, 128);
    ASSERT_EQ(l3.notes.size(), 1u);
    EXPECT_NE(l3.notes[0].find("MPEG-2"), std::string::npos);

    // The Layer 3 library writes MPEG-2.5 at no more than 64 kbit/s, and the plan says so.
    EncodePlan l3low = Plan({"-l3", "-b128", "-mm", "-s8.00"}, 1, 8000);
    EXPECT_EQ(l3low.version, MpegVersion::Mpeg25);
    EXPECT_EQ(l3low.kbps, 64);
    ASSERT_EQ(l3low.notes.size(), 2u);
    EXPECT_NE(l3low.notes[1].find("using 64 kbit/s"), std::string::npos) << l3low.notes[1];

    EncodePlan l1 = Plan({"-l1", "-b384", "-ms"}, 2, 22050);
    EXPECT_EQ(l1.version, MpegVersion::Mpeg2);
    EXPECT_EQ(l1.kbps, 256);  // the top of MPEG-2 Layer 1

    // Layers 1 and 2 have no 11025 Hz: resampled to the nearest rate they have.
    EncodePlan l2 = Plan({"-l2", "-b64", "-mm", "-s11.03"}, 1, 11025);
    EXPECT_EQ(l2.inputRate, 11025);
    EXPECT_EQ(l2.outputRate, 16000);
    EXPECT_EQ(l2.version, MpegVersion::Mpeg2);
    EXPECT_EQ(Plan({"-l2", "-s37.80"}, 2, 37800).outputRate, 32000);
}

TEST(EncodePlan, ChannelsAndDescriptionLine) {
    EXPECT_EQ(Plan({"-mm"}, 2, 44100).notes.size(), 1u);  // mixed down
    EXPECT_EQ(Plan({"-ms"}, 1, 44100).notes.size(), 1u);  // doubled
    EncodePlan p;
    std::string error;
    EXPECT_FALSE(PlanEncoding(Parse({"in", "out"}), 6, 44100, &p, &error));
    EXPECT_NE(error.find("6 channels"), std::string::npos);

    EncodePlan all = Plan({"-l2", "-mj", "-b160", "-p-1", "-e", "-c", "-o", "-dc", "-t"}, 2, 11025);
    const std::string line = DescribePlan(all);
    EXPECT_LE(line.size(), 100u);
    for (const char* part : {"Layer 2", "16000 Hz", "joint stereo", "160 kbit/s", "high speed",
                             "model -1", "CRC", "(C)", "original", "J.17"}) {
        EXPECT_NE(line.find(part), std::string::npos) << part << " in " << line;
    }
    for (const std::string& note : all.notes)
        EXPECT_LE(note.size(), 100u);
}

}  // namespace
}  // namespace orvane::codecs
