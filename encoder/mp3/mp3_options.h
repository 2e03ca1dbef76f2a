#pragma once
// What the MP3 jobs make of the options page: the layer and model, the encoder child's option
// strings and argument vectors, the bit rate a file gets and the summary's text of it.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/job/job.h"

namespace orvane::encoder {

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

}  // namespace orvane::encoder
