#pragma once
// Frame arithmetic and the legal values of MPEG audio headers.

#include <array>
#include <cstdint>
#include <span>

namespace orvane::codecs {

enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };

enum class ChannelMode { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };

// The version that carries a sample rate, or false when no version does.
bool VersionForRate(int rate, MpegVersion* version);

// Index of a rate within its version's table (0..2), -1 when not carried.
int RateIndex(int rate);

// Bit rates in kbit/s a layer (1..3) allows in a version, ascending, without the free format.
std::span<const int> Bitrates(MpegVersion version, int layer);

// Index of a bit rate within the header table (1..14), 0 when not in it.
int BitrateIndex(MpegVersion version, int layer, int kbps);

// Whether Layer 2 of MPEG-1 may use a bit rate in a mode (other layers: always true).
bool BitrateAllowedForMode(MpegVersion version, int layer, int kbps, ChannelMode mode);

// The allowed bit rate nearest to `kbps`; on a tie the higher one.
int NearestBitrate(MpegVersion version, int layer, int kbps, ChannelMode mode);

// PCM samples per channel in one frame.
int SamplesPerFrame(MpegVersion version, int layer);

// The analysis window of the MPEG-1 audio standard in units of 2^-21: coefficient i of the
// polyphase analysis is kAnalysisWindow[i] / 2^21. Decoders synthesise with 32 times the same
// window, so an encoder that analyses with it gets the aliasing between neighbouring bands
// cancelled in every decoder.
extern const std::array<int32_t, 512> kAnalysisWindow;

const char* VersionName(MpegVersion version);
const char* ModeName(ChannelMode mode);

}  // namespace orvane::codecs
