#include "codecs/enc/options.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace orvane::codecs {
namespace {

constexpr std::array<int, 9> kAllRates = {8000,  11025, 12000, 16000, 22050,
                                          24000, 32000, 44100, 48000};

// Reads a whole decimal integer; false on anything else.
bool ParseInt(const std::string& text, int low, int high, int* value) {
    if (text.empty() || text.size() > 6) return false;
    int result = 0;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-') {
        negative = true;
        i = 1;
        if (text.size() == 1) return false;
    }
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        result = result * 10 + (text[i] - '0');
    }
    if (negative) result = -result;
    if (result < low || result > high) return false;
    *value = result;
    return true;
}

// Reads "44.10", "8", "22.05": digits with at most one decimal point.
bool ParseKhz(const std::string& text, double* khz) {
    if (text.empty() || text.size() > 10) return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    if (dots > 1 || text == ".") return false;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size()) return false;
    if (!(value >= 1.0 && value <= 192.0)) return false;
    *khz = value;
    return true;
}

int NearestOf(const int* rates, size_t count, int rate) {
    int best = rates[0];
    for (size_t i = 1; i < count; ++i) {
        int d = std::abs(rates[i] - rate);
        int bd = std::abs(best - rate);
        if (d < bd || (d == bd && rates[i] > best)) best = rates[i];
    }
    return best;
}

// Bits of a Layer 1 frame that are spent before any sample: header, CRC, allocation.
int Layer1Overhead(ChannelMode mode, bool crc) {
    int channels = mode == ChannelMode::Mono ? 1 : 2;
    int allocation = mode == ChannelMode::JointStereo ? 4 * 4 * 2 + 28 * 4 : 32 * 4 * channels;
    return 32 + (crc ? 16 : 0) + allocation;
}

}  // namespace

int RateFromKhz(double khz) {
    long hz = std::lround(khz * 1000.0);
    for (int rate : kAllRates) {
        // The two decimals of the option lose at most 5 Hz (11025 Hz is written as 11.03).
        if (std::abs(rate - hz) <= 5) return rate;
    }
    return static_cast<int>(hz);
}

bool ParseEncoderArgs(const std::vector<std::string>& args, EncoderArgs* out, std::string* error) {
    if (args.size() < 2) {
        *error = "Usage: enc.dll [options] <input.wav> <output.mp3>";
        return false;
    }
    EncoderArgs result;
    const size_t optionCount = args.size() - 2;
    for (size_t i = 0; i < optionCount; ++i) {
        const std::string& arg = args[i];
        if (arg.empty()) continue;
        auto bad = [&](const char* why) {
            *error = "Invalid option \"" + arg.substr(0, 40) + "\": " + why;
            return false;
        };
        if (arg.size() < 2 || arg[0] != '-') return bad("options start with '-'");
        const std::string value = arg.substr(2);
        switch (arg[1]) {
            case 'm':
                if (value == "s") {
                    result.mode = ChannelMode::Stereo;
                } else if (value == "d") {
                    result.mode = ChannelMode::DualChannel;
                } else if (value == "j") {
                    result.mode = ChannelMode::JointStereo;
                } else if (value == "m") {
                    result.mode = ChannelMode::Mono;
                } else {
                    return bad("mode is -ms, -md, -mj or -mm");
                }
                break;
            case 'b':
                if (!ParseInt(value, 8, 999, &result.kbps))
                    return bad("bit rate is 8 to 999 kbit/s");
                break;
            case 's': {
                double khz = 0;
                if (!ParseKhz(value, &khz)) return bad("sample rate is given in kHz, e.g. -s44.10");
                result.rateHz = RateFromKhz(khz);
                break;
            }
            case 'p':
                if (!ParseInt(value, -1, 9, &result.model)) return bad("model is -1 to 9");
                result.modelGiven = true;
                break;
            case 'l':
                if (!ParseInt(value, 1, 3, &result.layer)) return bad("layer is 1, 2 or 3");
                break;
            case 'd':
                if (value == "n") {
                    result.emphasis = 0;
                } else if (value == "5") {
                    result.emphasis = 1;
                } else if (value == "c") {
                    result.emphasis = 3;
                } else {
                    return bad("de-emphasis is -dn, -d5 or -dc");
                }
                break;
            case 'c':
            case 'o':
            case 'e':
            case 't':
                if (!value.empty()) return bad("this switch takes no value");
                if (arg[1] == 'c') result.copyright = true;
                if (arg[1] == 'o') result.original = true;
                if (arg[1] == 'e') result.crc = true;
                if (arg[1] == 't') result.fast = true;
                break;
            default:
                return bad("unknown option");
        }
    }
    result.input = args[args.size() - 2];
    result.output = args[args.size() - 1];
    if (result.input.empty() || result.output.empty()) {
        *error = "The input and output paths must not be empty";
        return false;
    }
    *out = result;
    return true;
}

bool PlanEncoding(const EncoderArgs& args, int channels, int rate, EncodePlan* plan,
                  std::string* error) {
    if (channels != 1 && channels != 2) {
        *error = "The input has " + std::to_string(channels) + " channels; 1 or 2 are supported";
        return false;
    }
    if (rate < 1000 || rate > 192000) {
        *error = "The sample rate " + std::to_string(rate) + " Hz is not supported";
        return false;
    }
    EncodePlan p;
    p.layer = args.layer;
    p.inputRate = rate;
    p.inputChannels = channels;
    p.emphasis = args.emphasis;
    p.copyright = args.copyright;
    p.original = args.original;
    p.crc = args.crc;
    p.fast = args.fast;

    // Layer 3 carries all nine rates; our Layer 1 and the Layer 2 library MPEG-1 and MPEG-2.
    const int* rates = args.layer == 3 ? kAllRates.data() : kAllRates.data() + 3;
    size_t rateCount = args.layer == 3 ? kAllRates.size() : kAllRates.size() - 3;
    p.outputRate = NearestOf(rates, rateCount, rate);
    VersionForRate(p.outputRate, &p.version);
    if (p.outputRate != rate) {
        p.notes.push_back("Layer " + std::to_string(p.layer) + " cannot carry " +
                          std::to_string(rate) + " Hz: resampling to " +
                          std::to_string(p.outputRate) + " Hz");
    }
    if (p.version != MpegVersion::Mpeg1) {
        p.notes.push_back(std::to_string(p.outputRate) + " Hz is not part of MPEG-1: writing " +
                          VersionName(p.version));
    }

    p.mode = args.mode;
    if (channels == 2 && p.mode == ChannelMode::Mono) {
        p.notes.push_back("Stereo input: both channels are mixed into the mono stream");
    } else if (channels == 1 && p.mode != ChannelMode::Mono) {
        p.notes.push_back("Mono input: both channels of the stream carry the same signal");
    }

    p.kbps = NearestBitrate(p.version, p.layer, args.kbps, p.mode);
    // The Layer 3 library's table of the MPEG-2.5 rates ends at 64 kbit/s: it writes no more.
    if (p.layer == 3 && p.version == MpegVersion::Mpeg25) p.kbps = std::min(p.kbps, 64);
    if (p.layer == 1) {
        // Every frame must at least hold its header, CRC and allocation.
        auto table = Bitrates(p.version, 1);
        for (int candidate : table) {
            if (candidate < p.kbps) continue;
            long bits = 384L * candidate * 1000 / p.outputRate / 32 * 32;
            if (bits >= Layer1Overhead(p.mode, p.crc) + 32) {
                p.kbps = candidate;
                break;
            }
        }
    }
    if (p.kbps != args.kbps) {
        p.notes.push_back(std::to_string(args.kbps) + " kbit/s is not possible in Layer " +
                          std::to_string(p.layer) + " " + VersionName(p.version) + " " +
                          ModeName(p.mode) + ": using " + std::to_string(p.kbps) + " kbit/s");
    }

    if (p.layer == 2) {
        p.model = args.modelGiven ? args.model : 3;
        if (p.model > 4) {
            p.notes.push_back("Layer 2 has psychoacoustic models -1 to 4: using model 3");
            p.model = 3;
        }
    } else {
        p.model = args.modelGiven ? args.model : (p.layer == 3 ? 2 : 1);
    }
    *plan = p;
    return true;
}

std::string DescribePlan(const EncodePlan& plan) {
    std::string line = "Layer " + std::to_string(plan.layer) + " " + VersionName(plan.version) +
                       " " + std::to_string(plan.outputRate) + " Hz " + ModeName(plan.mode) + " " +
                       std::to_string(plan.kbps) + " kbit/s";
    line += plan.fast ? " high speed" : " high quality";
    if (plan.layer == 2) line += " model " + std::to_string(plan.model);
    if (plan.crc) line += " CRC";
    if (plan.copyright) line += " (C)";
    if (plan.original) line += " original";
    if (plan.emphasis == 1) line += " emphasis 50/15";
    if (plan.emphasis == 3) line += " emphasis J.17";
    return line;
}

}  // namespace orvane::codecs
