#pragma once
// The job record of the encoder front-end: what the wizard chose, the encoder's option
// strings, the WAVE input check and the output naming rules.

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::encoder {

enum class JobKind { Decode = 0, EncodeMp3 = 1, EncodeWma = 2, EncodeFlac = 3, EncodeOpus = 4 };

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

// Layer and psychoacoustic model as the job and the summary derive them.
int LayerOf(const EncoderSettings& s);
int PsychoacousticModelOf(const EncoderSettings& s);

// The option strings of the encoder child; empty strings are options that are off.
struct EncoderCommandLine {
    std::string mode, bitrate, sampleRate, psyModel, layer, deEmphasis, copyrighted, original,
        errorProtection, speed;
};

std::string ModeOption(int mode);
std::string DeEmphasisOption(int deEmphasis);
// "-s%4.2f" of the rate in Hz times 0.001.
std::string SampleRateOption(std::uint32_t sampleRateHz);
// Every slot except the per-file sample rate.
EncoderCommandLine BuildEncoderCommandLine(const EncoderSettings& s);

// The child's argument vector: the program, the ten option slots (an option that is off stays
// an empty argument), the input and the output path.
std::vector<std::string> EncoderArguments(const std::string& program, const EncoderCommandLine& c,
                                          const std::string& input, const std::string& output);
std::vector<std::string> DecoderArguments(const std::string& program, const std::string& input,
                                          const std::string& output);
// The same vector written as one Windows-style command line: the program and the two paths in
// double quotes, arguments joined by single blanks (what the log and the tests show).
std::string QuotedCommandLine(const std::vector<std::string>& args);

// The bit rate in kbit/s the encoder child writes into the file for the settings and a WAVE
// input of channels at sampleRate Hz: the chosen one where the layer carries it, else the one
// the child takes instead (the nearest its layer, version and mode allow). A stereo input turns
// a Mono choice into Stereo, as the job does. The chosen one when the child would refuse.
int WrittenBitrate(const EncoderSettings& s, int channels, std::uint32_t sampleRate);

// The summary's bit rate: "%s Kbps" of the chosen one when every file gets it (rates: what the
// files get, one entry per file); else the rates the files get, and that the chosen one is not
// possible or only for some files.
std::string BitrateSummary(const std::string& chosen, const std::vector<int>& rates);

// The child program in the program folder: folder + name, or the plain name without a folder.
std::string ChildProgram(const std::string& appFolder, const std::string& name);

// What the job learns from a WAVE file's first bytes and its chunks.
struct WaveInfo {
    bool isWave = false;  // "R" at byte 0 and "W" at byte 8 of the 44-byte header
    int channels = 0;
    std::uint32_t sampleRate = 0;
    int bitsPerSample = 0;
    // A whole format chunk (16 bytes or more) stands before the data chunk.
    bool formatBeforeData = false;
    // That format chunk names integer PCM (itself or as the extensible format's sub-format).
    bool pcm = false;
    std::int64_t dataStart = 0;  // first byte fed to the encoder
    std::int64_t dataEnd = 0;    // one past the last byte fed
};

constexpr int kWaveFormatPcm = 1;
constexpr int kWaveFormatExtensible = 0xFFFE;
// The sample rates the encoders take from a WAVE file (they resample to what they write).
constexpr std::uint32_t kLowestSampleRate = 1000;
constexpr std::uint32_t kHighestSampleRate = 192000;

// Reads the header of an open file of fileSize bytes (position is left unspecified). Only the
// samples of the "data" chunk are fed, from its first sample (byte 44 of the canonical header)
// to its end, or to the end of the file when the chunk's size is 0 or reaches beyond it.
WaveInfo ReadWaveInfo(int fd, std::int64_t fileSize);

// What keeps the samples of a 16-bit PCM WAVE file from being encoded: channels other than 1
// or 2, or a sample rate outside kLowestSampleRate..kHighestSampleRate; empty when nothing does.
std::string WaveSampleProblem(const WaveInfo& wave);
// The sample rate's part of that on its own.
std::string SampleRateProblem(std::uint32_t rate);

// Final file name of a CD track: folder with trailing '/', the artist, " - " when the artist
// has 2 or more characters, the title; the characters : \ / < > | become '-', * and ? are
// removed, '"' becomes '\'', control characters are removed; cut to 65 characters; ".MP3"
// appended. A name that is empty or only dots becomes "Track<n>".
std::string CdTrackFileName(const std::string& folder, const std::string& artist,
                            const std::string& title, int trackNumber);

// The character replacements of CD track names on their own; with dropControls, control
// characters (C0, DEL and C1) are removed as well.
std::string CleanNameCharacters(const std::string& text, bool dropControls);
// The first limit characters of UTF-8 text (a character counts once, whatever its length).
std::string CutCharacters(const std::string& text, std::size_t limit);

}  // namespace orvane::encoder
