#pragma once
// The job record's own values: the kinds of job and the MP3 options of the options page, as the
// wizard, the registry and the command lines choose them. What the MP3 jobs make of the options
// is encoder/mp3/mp3_options.h.

#include <string>

namespace orvane::encoder {

enum class JobKind { Decode = 0, EncodeMp3 = 1, EncodeWma = 2, EncodeFlac = 3, EncodeOpus = 4 };
// A music library of any audio format converted into one of the formats above
// (JobRequest::library, encoder/library). A value of its own beside the enumerated formats, so
// the switches that name every output format stay whole without it.
inline constexpr JobKind kConvertLibrary{5};

// The MP3 options of the options page.
struct EncoderSettings {
    int deEmphasis = 0;       // 0 None, 1 50/15 microseconds, 2 CCITT J.17
    int errorProtection = 0;  // CRC
    int layerIndex = 2;       // 0..2 for Layer 1..3
    int original = 0;
    int privateBit = 0;
    int mode = 0;  // 0 Stereo, 1 Dual Channel, 2 Joint Stereo, 3 Mono
    int copyrighted = 0;
    std::string bitrate = "320";  // kbit/s, at most 3 characters
    int quality = 1;              // 0 HI-FI Quality, 1 High Speed
};

}  // namespace orvane::encoder
