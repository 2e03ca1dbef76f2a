#include "encoder/mp3/mp3_options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codecs/enc/options.h"
#include "encoder/tags/paths.h"

namespace orvane::encoder {

int LayerOf(const EncoderSettings& s) { return s.layerIndex + 1; }

int PsychoacousticModelOf(const EncoderSettings& s) { return LayerOf(s) == 3 ? 2 : 1; }

std::string ModeOption(int mode) {
    switch (mode) {
        case 1:
            return "-md";
        case 2:
            return "-mj";
        case 3:
            return "-mm";
        default:
            return "-ms";
    }
}

std::string DeEmphasisOption(int deEmphasis) {
    switch (deEmphasis) {
        case 1:
            return "-d5";
        case 2:
            return "-dc";
        default:
            return "-dn";
    }
}

std::string SampleRateOption(std::uint32_t sampleRateHz) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "-s%4.2f", static_cast<double>(sampleRateHz) * 0.001);
    return buf;
}

EncoderCommandLine BuildEncoderCommandLine(const EncoderSettings& s) {
    EncoderCommandLine c;
    c.mode = ModeOption(s.mode);
    c.bitrate = "-b" + std::to_string(std::atoi(s.bitrate.c_str()));
    c.psyModel = "-p" + std::to_string(PsychoacousticModelOf(s));
    c.layer = "-l" + std::to_string(LayerOf(s));
    c.deEmphasis = DeEmphasisOption(s.deEmphasis);
    c.copyrighted = s.copyrighted ? "-c" : "";
    c.original = s.original ? "-o" : "";
    c.errorProtection = s.errorProtection ? "-e" : "";
    c.speed = s.quality == 1 ? "-t" : "";
    return c;
}

std::vector<std::string> EncoderArguments(const std::string& program, const EncoderCommandLine& c,
                                          const std::string& input, const std::string& output) {
    return {program, c.mode,       c.bitrate,     c.sampleRate, c.psyModel,
            c.layer, c.deEmphasis, c.copyrighted, c.original,   c.errorProtection,
            c.speed, input,        output};
}

int WrittenBitrate(const EncoderSettings& s, int channels, std::uint32_t sampleRate) {
    const int chosen = std::atoi(s.bitrate.c_str());
    EncoderSettings used = s;
    if (channels == 2 && used.mode == 3) used.mode = 0;
    EncoderCommandLine c = BuildEncoderCommandLine(used);
    c.sampleRate = SampleRateOption(sampleRate);
    // The child's own reading of the very arguments the job gives it.
    std::vector<std::string> args = EncoderArguments("enc.dll", c, "in.wav", "out.mp3");
    args.erase(args.begin());
    codecs::EncoderArgs parsed;
    codecs::EncodePlan plan;
    std::string error;
    if (!codecs::ParseEncoderArgs(args, &parsed, &error) ||
        !codecs::PlanEncoding(parsed, channels,
                              parsed.rateHz ? parsed.rateHz : static_cast<int>(sampleRate), &plan,
                              &error))
        return chosen;
    return plan.kbps;
}

std::string BitrateSummary(const std::string& chosen, const std::vector<int>& rates) {
    const int wanted = std::atoi(chosen.c_str());
    std::vector<int> distinct = rates;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    if (distinct.empty() || distinct == std::vector<int>{wanted}) return chosen + " Kbps";
    std::string text;
    for (int rate : distinct)
        text += (text.empty() ? "" : " / ") + std::to_string(rate);
    const bool some = std::find(distinct.begin(), distinct.end(), wanted) != distinct.end();
    return text + " Kbps (" + chosen +
           (some ? " Kbps only for some files)" : " Kbps is not possible)");
}

std::vector<std::string> DecoderArguments(const std::string& program, const std::string& input,
                                          const std::string& output) {
    return {program, input, output};
}

std::string QuotedCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) line += ' ';
        bool quoted = i == 0 || i + 2 >= args.size();
        line += quoted ? "\"" + args[i] + "\"" : args[i];
    }
    return line;
}

std::string ChildProgram(const std::string& appFolder, const std::string& name) {
    if (appFolder.find('/') == std::string::npos) return name;
    return WithTrailingSlash(appFolder) + name;
}

}  // namespace orvane::encoder
