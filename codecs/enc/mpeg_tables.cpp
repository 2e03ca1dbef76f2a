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
