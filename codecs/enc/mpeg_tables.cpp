#include "codecs/enc/mpeg_tables.h"

#include <array>
#include <cstdlib>

namespace orvane::codecs {
namespace {

constexpr std::array<int, 14> kMpeg1Layer1 = {32,  64,  96,  128, 160, 192, 224,
                                              256, 288, 320, 352, 384, 416, 448};
constexpr std::array<int, 14> kMpeg1Layer2 = {32,  48,  56,  64,  80,  96,  112,
                                              128, 160, 192, 224, 256, 320, 384};
constexpr std::array<int, 14> kMpeg1Layer3 = {32,  40,  48,  56,  64,  80,  96,
                                              112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 14> kLsfLayer1 = {32,  48,  56,  64,  80,  96,  112,
                                            128, 144, 160, 176, 192, 224, 256};
constexpr std::array<int, 14> kLsfLayer23 = {8,  16, 24, 32,  40,  48,  56,
                                             64, 80, 96, 112, 128, 144, 160};

}  // namespace

bool VersionForRate(int rate, MpegVersion* version) {
    switch (rate) {
        case 44100:
        case 48000:
        case 32000:
            *version = MpegVersion::Mpeg1;
            return true;
        case 22050:
        case 24000:
        case 16000:
            *version = MpegVersion::Mpeg2;
            return true;
        case 11025:
        case 12000:
        case 8000:
            *version = MpegVersion::Mpeg25;
            return true;
        default:
            return false;
    }
}

int RateIndex(int rate) {
    switch (rate) {
        case 44100:
        case 22050:
        case 11025:
            return 0;
        case 48000:
        case 24000:
        case 12000:
            return 1;
        case 32000:
        case 16000:
        case 8000:
            return 2;
        default:
            return -1;
    }
}

std::span<const int> Bitrates(MpegVersion version, int layer) {
    if (version == MpegVersion::Mpeg1) {
        if (layer == 1) return kMpeg1Layer1;
        if (layer == 2) return kMpeg1Layer2;
        return kMpeg1Layer3;
    }
    if (layer == 1) return kLsfLayer1;
    return kLsfLayer23;
}

int BitrateIndex(MpegVersion version, int layer, int kbps) {
    auto table = Bitrates(version, layer);
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i] == kbps) return static_cast<int>(i) + 1;
    }
    return 0;
}

bool BitrateAllowedForMode(MpegVersion version, int layer, int kbps, ChannelMode mode) {
    if (version != MpegVersion::Mpeg1 || layer != 2) return true;
    // One channel cannot use the top rates, two channels not the bottom ones.
    if (mode == ChannelMode::Mono) return kbps <= 192;
    return kbps >= 64 && kbps != 80;
}

int NearestBitrate(MpegVersion version, int layer, int kbps, ChannelMode mode) {
    int best = 0;
    for (int candidate : Bitrates(version, layer)) {
        if (!BitrateAllowedForMode(version, layer, candidate, mode)) continue;
        if (best == 0 || std::abs(candidate - kbps) <= std::abs(best - kbps)) {
            if (best != 0 && std::abs(candidate - kbps) == std::abs(best - kbps) &&
                candidate < best) {
                continue;
            }
            best = candidate;
        }
    }
    return best;
}

// clang-format off
const std::array<int32_t, 512> kAnalysisWindow = {
    0, -1, -1, -1, -1, -1, -1, -2, -2, -2,
    -2, -3, -3, -4, -4, -5, -5, -6, -7, -7,
    -8, -9, -10, -11, -13, -14, -16, -17, -19, -21,
    -24, -26, -29, -31, -35, -38, -41, -45, -49, -53,
    -58, -63, -68, -73, -79, -85, -91, -97, -104, -111,
    -117, -125, -132, -139, -147, -154, -161, -169, -176, -183,
    -190, -196, -202, -208, 213, 218, 222, 225, 227, 228,
    228, 227, 224, 221, 215, 208, 200, 189, 177, 163,
    146, 127, 106, 83, 57, 29, -2, -36, -72, -111,
    -153, -197, -244, -294, -347, -401, -459, -519, -581, -645,
    -711, -779, -848, -919, -991, -1064, -1137, -1210, -1283, -1356,
    -1428, -1498, -1567, -1634, -1698, -1759, -1817, -1870, -1919, -1962,
    -2001, -2032, -2057, -2075, -2085, -2087, -2080, -2063, 2037, 2000,
    1952, 1893, 1822, 1739, 1644, 1535, 1414, 1280, 1131, 970,
    794, 605, 402, 185, -45, -288, -545, -814, -1095, -1388,
    -1692, -2006, -2330, -2663, -3004, -3351, -3705, -4063, -4425, -4788,
    -5153, -5517, -5879, -6237, -6589, -6935, -7271, -7597, -7910, -8209,
    -8491, -8755, -8998, -9219, -9416, -9585, -9727, -9838, -9916, -9959,
    -9966, -9935, -9863, -9750, -9592, -9389, -9139, -8840, -8492, -8092,
    -7640, -7134, 6574, 5959, 5288, 4561, 3776, 2935, 2037, 1082,
    70, -998, -2122, -3300, -4533, -5818, -7154, -8540, -9975, -11455,
    -12980, -14548, -16155, -17799, -19478, -21189, -22929, -24694, -26482, -28289,
    -30112, -31947, -33791, -35640, -37489, -39336, -41176, -43006, -44821, -46617,
    -48390, -50137, -51853, -53534, -55178, -56778, -58333, -59838, -61289, -62684,
    -64019, -65290, -66494, -67629, -68692, -69679, -70590, -71420, -72169, -72835,
    -73415, -73908, -74313, -74630, -74856, -74992, 75038, 74992, 74856, 74630,
    74313, 73908, 73415, 72835, 72169, 71420, 70590, 69679, 68692, 67629,
    66494, 65290, 64019, 62684, 61289, 59838, 58333, 56778, 55178, 53534,
    51853, 50137, 48390, 46617, 44821, 43006, 41176, 39336, 37489, 35640,
    33791, 31947, 30112, 28289, 26482, 24694, 22929, 21189, 19478, 17799,
    16155, 14548, 12980, 11455, 9975, 8540, 7154, 5818, 4533, 3300,
    2122, 998, -70, -1082, -2037, -2935, -3776, -4561, -5288, -5959,
    6574, 7134, 7640, 8092, 8492, 8840, 9139, 9389, 9592, 9750,
    9863, 9935, 9966, 9959, 9916, 9838, 9727, 9585, 9416, 9219,
    8998, 8755, 8491, 8209, 7910, 7597, 7271, 6935, 6589, 6237,
    5879, 5517, 5153, 4788, 4425, 4063, 3705, 3351, 3004, 2663,
    2330, 2006, 1692, 1388, 1095, 814, 545, 288, 45, -185,
    -402, -605, -794, -970, -1131, -1280, -1414, -1535, -1644, -1739,
    -1822, -1893, -1952, -2000, 2037, 2063, 2080, 2087, 2085, 2075,
    2057, 2032, 2001, 1962, 1919, 1870, 1817, 1759, 1698, 1634,
    1567, 1498, 1428, 1356, 1283, 1210, 1137, 1064, 991, 919,
    848, 779, 711, 645, 581, 519, 459, 401, 347, 294,
    244, 197, 153, 111, 72, 36, 2, -29, -57, -83,
    -106, -127, -146, -163, -177, -189, -200, -208, -215, -221,
    -224, -227, -228, -228, -227, -225, -222, -218, 213, 208,
    202, 196, 190, 183, 176, 169, 161, 154, 147, 139,
    132, 125, 117, 111, 104, 97, 91, 85, 79, 73,
    68, 63, 58, 53, 49, 45, 41, 38, 35, 31,
    29, 26, 24, 21, 19, 17, 16, 14, 13, 11,
    10, 9, 8, 7, 7, 6, 5, 5, 4, 4,
    3, 3, 2, 2, 2, 2, 1, 1, 1, 1,
    1, 1,
};
// clang-format on

int SamplesPerFrame(MpegVersion version, int layer) {
    if (layer == 1) return 384;
    if (layer == 3 && version != MpegVersion::Mpeg1) return 576;
    return 1152;
}

const char* VersionName(MpegVersion version) {
    switch (version) {
        case MpegVersion::Mpeg1:
            return "MPEG-1";
        case MpegVersion::Mpeg2:
            return "MPEG-2";
        case MpegVersion::Mpeg25:
            return "MPEG-2.5";
    }
    return "MPEG";
}

const char* ModeName(ChannelMode mode) {
    switch (mode) {
        case ChannelMode::Stereo:
            return "stereo";
        case ChannelMode::JointStereo:
            return "joint stereo";
        case ChannelMode::DualChannel:
            return "dual channel";
        case ChannelMode::Mono:
            return "mono";
    }
    return "?";
}

}  // namespace orvane::codecs
