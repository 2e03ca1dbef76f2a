// Writes the demo disc: a cue sheet with five short tracks of generated music, spread over a
// little-endian raw file (tracks 1-3, track 2 with a two-second index 00 stretch), a big-endian
// raw file (track 4) and a WAVE file (track 5, behind a generated two-second pregap).
//
//   demodisc <folder>
//
// Files are written under temporary names and renamed into place, so an interrupted build
// never leaves a half-written disc.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/fs/fs.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

struct TrackPlan {
    const char* title;
    double seconds;
    double bpm;
    int root;  // MIDI note of the key
    bool minor;
    std::uint32_t seed;
};

const TrackPlan kTracks[] = {
    {"Morning Pulse", 32, 112, 57, false, 11},  {"Glass Stairs", 27, 96, 62, true, 23},
    {"Harbour Lights", 38, 124, 55, false, 37}, {"Slow Orbit", 24, 78, 60, true, 41},
    {"Last Tram Home", 30, 104, 52, false, 53},
};

double NoteHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

struct Random {
    std::uint32_t state;
    std::uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    double Unit() { return (Next() & 0xFFFF) / 65535.0; }
};

// One voice: a note with an exponential decay, a few harmonics for colour.
struct Voice {
    double hz = 0, start = 0, length = 0, gain = 0, pan = 0.5, decay = 3;
    int harmonics = 3;
};

std::vector<std::int16_t> Render(const TrackPlan& plan) {
    const std::size_t frames = static_cast<std::size_t>(plan.seconds * kRate);
    std::vector<double> left(frames, 0.0), right(frames, 0.0);
    Random rnd{plan.seed};
    const int major[] = {0, 2, 4, 7, 9};
    const int minor[] = {0, 3, 5, 7, 10};
    const int* scale = plan.minor ? minor : major;
    const int progression[] = {0, 5, 3, 4};  // scale degrees of the chords, one per bar
    const double beat = 60.0 / plan.bpm;
    std::vector<Voice> voices;
    int melody = 2;
    for (double t = 0; t < plan.seconds; t += beat) {
        int bar = static_cast<int>(t / (4 * beat));
        int beatInBar = static_cast<int>(std::lround(t / beat)) % 4;
        int degree = progression[bar % 4];
        int chordRoot = plan.root + scale[degree % 5] + (degree >= 5 ? 12 : 0);
        // Bass on every beat, chord pad at the start of each bar.
        voices.push_back({NoteHz(chordRoot - 24), t, beat * 0.9, 0.30, 0.5, 4, 4});
        if (beatInBar == 0) {
            for (int third : {0, plan.minor ? 3 : 4, 7}) {
                voices.push_back({NoteHz(chordRoot + third), t, beat * 4, 0.07,
                                  0.3 + 0.2 * third / 7.0, 0.8, 3});
            }
        }
        // Melody: a random walk over the pentatonic scale, in eighths with some rests.
        for (int half = 0; half < 2; ++half) {
            if (rnd.Unit() < 0.25) continue;
            melody += static_cast<int>(rnd.Next() % 5) - 2;
            if (melody < 0) melody = 1;
            if (melody > 9) melody = 8;
            int note = plan.root + 12 + scale[melody % 5] + 12 * (melody / 5);
            voices.push_back({NoteHz(note), t + half * beat / 2, beat * 0.5, 0.12,
                              0.25 + 0.5 * rnd.Unit(), 6, 2});
        }
    }
    for (const Voice& v : voices) {
        std::size_t from = static_cast<std::size_t>(v.start * kRate);
        std::size_t to = std::min(frames, static_cast<std::size_t>((v.start + v.length) * kRate));
        double phaseStep = 2 * kPi * v.hz / kRate;
        for (std::size_t i = from; i < to; ++i) {
            double age = static_cast<double>(i - from) / kRate;
            double env = std::exp(-v.decay * age) * std::min(1.0, age * 200.0);
            double tail = static_cast<double>(to - i) / kRate;
            env *= std::min(1.0, tail * 50.0);
            double s = 0;
            for (int h = 1; h <= v.harmonics; ++h)
                s += std::sin(phaseStep * h * (i - from)) / (h * h);
            s *= v.gain * env;
            left[i] += s * (1.0 - v.pan);
            right[i] += s * v.pan;
        }
    }
    // Kick on beats 1 and 3, hi-hat on the off-beats.
    std::uint32_t noise = plan.seed * 7919u;
    for (double t = 0; t < plan.seconds; t += beat / 2) {
        int eighth = static_cast<int>(std::lround(t / (beat / 2))) % 8;
        std::size_t from = static_cast<std::size_t>(t * kRate);
        if (eighth == 0 || eighth == 4) {
            for (std::size_t i = from; i < std::min(frames, from + kRate / 5); ++i) {
                double age = static_cast<double>(i - from) / kRate;
                double hz = 45 + 90 * std::exp(-age * 30);
                double s = 0.45 * std::sin(2 * kPi * hz * age) * std::exp(-age * 18);
                left[i] += s;
                right[i] += s;
            }
        } else if (eighth % 2 == 1) {
            double last = 0;
            for (std::size_t i = from; i < std::min(frames, from + kRate / 20); ++i) {
                noise = noise * 1103515245u + 12345u;
                double white = ((noise >> 9) & 0xFFFF) / 32768.0 - 1.0;
                double s =
                    0.06 * (white - last) * std::exp(-static_cast<double>(i - from) / kRate * 60);
                last = white;
                left[i] += s * 0.7;
                right[i] += s;
            }
        }
    }
    std::vector<std::int16_t> pcm(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / kRate;
        double fade = std::min({1.0, t / 0.5, (plan.seconds - t) / 1.5});
        pcm[2 * i] = static_cast<std::int16_t>(std::lround(std::tanh(left[i] * fade) * 30000));
        pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(std::tanh(right[i] * fade) * 30000));
    }
    return pcm;
}

void PutLe(std::vector<char>& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::vector<char> Bytes(const std::vector<std::int16_t>& pcm, bool bigEndian) {
    std::vector<char> out;
    out.reserve(pcm.size() * 2);
    for (std::int16_t s : pcm) {
        auto u = static_cast<std::uint16_t>(s);
        char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        out.push_back(bigEndian ? hi : lo);
        out.push_back(bigEndian ? lo : hi);
    }
    return out;
}

std::vector<char> Wave(const std::vector<std::int16_t>& pcm) {
    std::vector<char> data = Bytes(pcm, false);
    std::vector<char> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    PutLe(out, static_cast<std::uint32_t>(36 + data.size()), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(out, 16, 4);
    PutLe(out, 1, 2);
    PutLe(out, 2, 2);
    PutLe(out, kRate, 4);
    PutLe(out, kRate * 4, 4);
    PutLe(out, 4, 2);
    PutLe(out, 16, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLe(out, static_cast<std::uint32_t>(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// Pads to whole 2352-byte frames with silence.
void PadToFrames(std::vector<std::int16_t>& pcm) {
    while ((pcm.size() * 2) % 2352 != 0)
        pcm.push_back(0);
}

bool WriteAtomically(const std::filesystem::path& path, const std::vector<char>& bytes) {
    return orvane::fs::WriteFileAtomically(path.string(),
                                           std::string_view(bytes.data(), bytes.size()))
        .ok();
}

std::string Msf(std::size_t frames) {
    char text[80];
    std::snprintf(text, sizeof text, "%02zu:%02zu:%02zu", frames / 75 / 60, frames / 75 % 60,
                  frames % 75);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: demodisc <folder>\n");
        return 2;
    }
    std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "demodisc: cannot create %s: %s\n", argv[1], ec.message().c_str());
        return 1;
    }
    std::vector<std::vector<std::int16_t>> tracks;
    for (const TrackPlan& plan : kTracks) {
        tracks.push_back(Render(plan));
        PadToFrames(tracks.back());
    }
    // Track 2 begins with two seconds of quiet lead-in that belong to its index 00.
    std::vector<std::int16_t> lead(2 * 75 * 588 * 2, 0);
    std::vector<std::int16_t> binary = tracks[0];
    std::size_t track2Index0 = binary.size() / 1176;
    binary.insert(binary.end(), lead.begin(), lead.end());
    std::size_t track2Index1 = binary.size() / 1176;
    binary.insert(binary.end(), tracks[1].begin(), tracks[1].end());
    std::size_t track3Index1 = binary.size() / 1176;
    binary.insert(binary.end(), tracks[2].begin(), tracks[2].end());

    std::string cue;
    cue += "REM GENRE \"Electronic\"\n";
    cue += "REM DATE 2026\n";
    cue += "REM COMMENT \"Orvane demo disc, generated at build time\"\n";
    cue += "PERFORMER \"Orvane Demo Ensemble\"\n";
    cue += "TITLE \"Orvane Demo Disc\"\n";
    cue += "FILE \"demo.bin\" BINARY\n";
    auto track = [&](int n, const char* title) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n", n);
        cue += line;
        cue += std::string("    TITLE \"") + title + "\"\n";
        cue += "    PERFORMER \"Orvane Demo Ensemble\"\n";
    };
    track(1, kTracks[0].title);
    cue += "    INDEX 01 00:00:00\n";
    track(2, kTracks[1].title);
    cue += "    INDEX 00 " + Msf(track2Index0) + "\n";
    cue += "    INDEX 01 " + Msf(track2Index1) + "\n";
    track(3, kTracks[2].title);
    cue += "    INDEX 01 " + Msf(track3Index1) + "\n";
    cue += "FILE \"track04.raw\" MOTOROLA\n";
    track(4, kTracks[3].title);
    cue += "    INDEX 01 00:00:00\n";
    cue += "FILE \"track05.wav\" WAVE\n";
    track(5, kTracks[4].title);
    cue += "    PREGAP 00:02:00\n";
    cue += "    INDEX 01 00:00:00\n";

    bool ok = WriteAtomically(folder / "demo.bin", Bytes(binary, false)) &&
              WriteAtomically(folder / "track04.raw", Bytes(tracks[3], true)) &&
              WriteAtomically(folder / "track05.wav", Wave(tracks[4])) &&
              WriteAtomically(folder / "Demo.cue", std::vector<char>(cue.begin(), cue.end()));
    if (!ok) {
        std::fprintf(stderr, "demodisc: cannot write the demo disc into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
