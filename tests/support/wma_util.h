#pragma once
// Helpers of the WMA tests: sine WAVE files, the registered profile folder, what ffprobe
// reports of a file, decoding a file back and measuring a tone in it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/registry/winreg.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {

// A 16-bit PCM WAVE file: channel c carries a sine of freqs[c] Hz at amplitude 0.5.
inline std::string SineWave(int channels, int rate, double seconds,
                            const std::vector<double>& freqs) {
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    std::string data;
    data.reserve(std::size_t{frames} * static_cast<std::size_t>(channels) * 2);
    for (std::uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            double f = freqs[static_cast<std::size_t>(c) % freqs.size()];
            auto v =
                static_cast<std::int16_t>(std::lround(16383.0 * std::sin(2 * M_PI * f * i / rate)));
            PutLe(data, static_cast<std::uint16_t>(v), 2);
        }
    return WaveWithData(channels, static_cast<std::uint32_t>(rate), 16, data);
}

// Registers folder as the encoder's profile folder (as the component installer does).
inline void RegisterProfileFolder(const std::string& folder) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CLASSES_ROOT,
                    "Software\\Microsoft\\Windows Media Tools\\Encoder\\ProfileMgr\\Directory", 0,
                    nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
}

inline void UnregisterProfileFolder() {
    RegDeleteKeyA(HKEY_CLASSES_ROOT,
                  "Software\\Microsoft\\Windows Media Tools\\Encoder\\ProfileMgr\\Directory");
}

// Copies the two shipped profiles into folder.
inline void CopyShippedProfiles(const std::filesystem::path& folder) {
    std::filesystem::path src = std::filesystem::path(ORVANE_SOURCE_DIR) / "encoder/wma/profiles";
    for (const auto& e : std::filesystem::directory_iterator(src))
        std::filesystem::copy_file(e.path(), folder / e.path().filename(),
                                   std::filesystem::copy_options::overwrite_existing);
}

inline std::string Quote(const std::string& s) { return ShellQuote(s); }

inline std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

// "key=value" lines of ffprobe for the format, the first stream and the format's tags
// (tags as "TAG:name").
inline std::map<std::string, std::string> Probe(const std::filesystem::path& file) {
    std::string text = RunCommand("ffprobe -v error -show_format -show_streams " +
                                  Quote(file.string()) + " 2>/dev/null");
    std::map<std::string, std::string> values;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        std::size_t eq = line.find('=');
        if (eq != std::string::npos && !values.count(line.substr(0, eq)))
            values[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return values;
}

// The decoded samples of a file, interleaved, as floats in -1 .. 1.
inline std::vector<float> Decode(const std::filesystem::path& file) {
    std::string raw = RunCommand("ffmpeg -v error -i " + Quote(file.string()) +
                                 " -f f32le -c:a pcm_f32le - 2>/dev/null");
    std::vector<float> samples(raw.size() / 4);
    std::memcpy(samples.data(), raw.data(), samples.size() * 4);
    return samples;
}

struct ToneFit {
    double amplitude = 0;  // of the fitted sine
    double snrDb = 0;      // fitted sine against everything else
};

// Fits a sine of freq Hz to channel c of interleaved samples, leaving out the first and last
// 0.2 s (the codec's start-up and end).
inline ToneFit FitTone(const std::vector<float>& samples, int channels, int c, int rate,
                       double freq) {
    std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
    std::size_t skip = static_cast<std::size_t>(rate / 5);
    ToneFit fit;
    if (frames <= 2 * skip) return fit;
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (std::size_t i = skip; i < frames - skip; ++i) {
        double w = 2 * M_PI * freq * static_cast<double>(i) / rate;
        double s = std::sin(w), co = std::cos(w);
        double y = samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
        ss += s * s, sc += s * co, cc += co * co, ys += y * s, yc += y * co;
    }
    double det = ss * cc - sc * sc;
    double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double signal = 0, noise = 0;
    for (std::size_t i = skip; i < frames - skip; ++i) {
        double w = 2 * M_PI * freq * static_cast<double>(i) / rate;
        double model = a * std::sin(w) + b * std::cos(w);
        double y = samples[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)];
        signal += model * model;
        noise += (y - model) * (y - model);
    }
    fit.amplitude = std::sqrt(a * a + b * b);
    fit.snrDb = 10 * std::log10(signal / std::max(noise, 1e-12));
    return fit;
}

}  // namespace orvane::test
