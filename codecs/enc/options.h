#pragma once
// The argument vector of the encoder and the settings it resolves to.

#include <string>
#include <vector>

#include "codecs/enc/mpeg_tables.h"

namespace orvane::codecs {

struct EncoderArgs {
    ChannelMode mode = ChannelMode::Stereo;
    int kbps = 128;
    int rateHz = 0;  // 0: take the rate of the WAVE header
    int model = 0;
    bool modelGiven = false;  // else the layer's default
    int layer = 3;
    int emphasis = 0;  // header value: 0 none, 1 50/15 us, 3 CCITT J.17
    bool copyright = false;
    bool original = false;
    bool crc = false;
    bool fast = false;
    std::string input;
    std::string output;
};

// Parses argv[1..]: options (an empty argument is skipped), then the input and output paths as
// the last two arguments. Returns false with a one-line reason in `error`.
bool ParseEncoderArgs(const std::vector<std::string>& args, EncoderArgs* out, std::string* error);

// Maps the "-s" kHz figure (two decimals) back to its rate in Hz: 44.10 -> 44100,
// 11.03 -> 11025, 8.00 -> 8000. Figures that are no standard rate keep their own value.
int RateFromKhz(double khz);

// What the encoder actually writes after mapping the request onto what the layer carries.
struct EncodePlan {
    int layer = 3;
    MpegVersion version = MpegVersion::Mpeg1;
    ChannelMode mode = ChannelMode::Stereo;
    int inputRate = 44100;   // rate of the PCM arriving
    int outputRate = 44100;  // rate written into the stream
    int inputChannels = 2;
    int kbps = 128;
    int model = 1;
    int emphasis = 0;
    bool copyright = false;
    bool original = false;
    bool crc = false;
    bool fast = false;
    std::vector<std::string> notes;  // one line for each setting that had to change
};

// Works out the plan for `args` and a WAVE input of `channels` channels at `rate` Hz (rate of
// the "-s" option when given). Returns false with a reason when nothing sensible can be done.
bool PlanEncoding(const EncoderArgs& args, int channels, int rate, EncodePlan* plan,
                  std::string* error);

// The one line that tells what the encoder is about to do.
std::string DescribePlan(const EncodePlan& plan);

}  // namespace orvane::codecs
