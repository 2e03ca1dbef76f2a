#include "encoder/app/job.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "codecs/enc/options.h"
#include "encoder/app/paths.h"
#include "encoder/loudness/pcm_wave.h"

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

namespace {

std::uint32_t U32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
int U16(const unsigned char* p) { return p[0] | (p[1] << 8); }

}  // namespace

WaveInfo ReadWaveInfo(int fd, std::int64_t fileSize) {
    WaveInfo info;
    unsigned char h[44];
    std::memset(h, 0, sizeof h);
    ssize_t got = ::pread(fd, h, sizeof h, 0);
    if (got <= 0 || h[0] != 'R' || h[8] != 'W') return info;
    info.isWave = true;
    info.channels = U16(h + 22);
    info.sampleRate = U32(h + 24);
    info.bitsPerSample = U16(h + 34);
    // Without a data chunk to be found, whatever follows the header, to the end of the file.
    info.dataStart = 44;
    info.dataEnd = fileSize;

    bool canonical = got == 44 && std::memcmp(h + 12, "fmt ", 4) == 0 && U32(h + 16) == 16 &&
                     std::memcmp(h + 36, "data", 4) == 0;
    if (canonical) {
        info.formatBeforeData = true;
        info.pcm = U16(h + 20) == kWaveFormatPcm;
        // A size of 0 (a recorder that never finished its header) means the rest of the file.
        std::int64_t size = U32(h + 40);
        info.dataEnd = size == 0 ? fileSize : std::min<std::int64_t>(fileSize, 44 + size);
        info.dataStart = std::min(info.dataStart, info.dataEnd);
        return info;
    }
    // Other layouts: walk the chunks for the format and the data chunk.
    bool sawFormat = false, sawData = false;
    loudness::ForEachWaveChunk(fd, fileSize, [&](const loudness::WaveChunk& c) {
        if (c.Is("fmt ") && c.size >= 16 && !sawFormat) {
            // The extensible format names the samples' own format in its sub-format's first
            // two bytes (at 24 of the chunk's 40).
            unsigned char f[40] = {};
            if (loudness::ReadWaveBytes(fd, c.body, f, c.size >= 40 ? 40 : 16)) {
                info.channels = U16(f + 2);
                info.sampleRate = U32(f + 4);
                info.bitsPerSample = U16(f + 14);
                const int tag = U16(f);
                info.pcm = tag == kWaveFormatPcm || (tag == kWaveFormatExtensible && c.size >= 40 &&
                                                     U16(f + 24) == kWaveFormatPcm);
                sawFormat = true;
            }
        } else if (c.Is("data")) {
            info.formatBeforeData = sawFormat;
            info.dataStart = c.body;
            info.dataEnd = c.size == 0 ? fileSize : std::min(fileSize, c.body + c.size);
            sawData = true;
            return false;
        }
        return true;
    });
    if (sawData) return info;
    info.dataStart = std::min(info.dataStart, info.dataEnd);
    return info;
}

std::string WaveSampleProblem(const WaveInfo& wave) {
    if (wave.channels < 1 || wave.channels > 2)
        return "Error: The WAV file has " + std::to_string(wave.channels) +
               " channels; 1 or 2 can be encoded.";
    return SampleRateProblem(wave.sampleRate);
}

std::string SampleRateProblem(std::uint32_t rate) {
    if (rate >= kLowestSampleRate && rate <= kHighestSampleRate) return {};
    return "Error: The WAV file's sample rate of " + std::to_string(rate) +
           " Hz cannot be encoded; " + std::to_string(kLowestSampleRate) + " to " +
           std::to_string(kHighestSampleRate) + " Hz can.";
}

std::string CleanNameCharacters(const std::string& text, bool dropControls) {
    std::string clean;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        // C1 controls in UTF-8 (U+0080 to U+009F) go as C0 controls do.
        if (dropControls && static_cast<unsigned char>(ch) == 0xC2 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            ++i;
            continue;
        }
        switch (ch) {
            case ':':
            case '\\':
            case '/':
            case '<':
            case '>':
            case '|':
                clean += '-';
                break;
            case '*':
            case '?':
                break;
            case '"':
                clean += '\'';
                break;
            default: {
                const auto c = static_cast<unsigned char>(ch);
                if (!dropControls || (c >= 0x20 && c != 0x7F)) clean += ch;
            }
        }
    }
    return clean;
}

std::string CutCharacters(const std::string& text, std::size_t limit) {
    std::size_t chars = 0, cut = 0;
    while (cut < text.size() && chars < limit) {
        ++cut;
        while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            ++cut;
        ++chars;
    }
    return text.substr(0, cut);
}

std::string CdTrackFileName(const std::string& folder, const std::string& artist,
                            const std::string& title, int trackNumber) {
    std::string name = artist;
    if (artist.size() >= 2) name += " - ";
    name += title;
    // Control characters (a database's "\n" escape, tabs) never reach a file name.
    std::string clean = CutCharacters(CleanNameCharacters(name, true), 65);
    if (clean.find_first_not_of('.') == std::string::npos)
        clean = "Track" + std::to_string(trackNumber);
    return WithTrailingSlash(folder) + clean + ".MP3";
}

}  // namespace orvane::encoder
