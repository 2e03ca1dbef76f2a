#pragma once
// Signals, WAVE files, measurements and child-process runs for the codec program tests.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane::test {

struct Pcm {
    int rate = 44100;
    int channels = 2;
    std::vector<int16_t> samples;  // interleaved
    size_t frames() const { return channels ? samples.size() / channels : 0; }
    std::vector<double> Channel(int ch) const;
};

// Sines of `hz[ch]` at `amplitude` (0..1) per channel, with a short fade in and out.
Pcm Tones(int rate, const std::vector<double>& hz, double seconds, double amplitude = 0.3);
// Several partials per channel: a richer test signal than a single sine.
Pcm Chord(int rate, int channels, double seconds);

std::string WaveBytes(const Pcm& pcm);
// Parses a canonical or chunked 16-bit WAVE; false when it is none.
bool ParseWave(const std::string& bytes, Pcm* pcm, uint32_t* headerDataSize = nullptr);

// Power of one frequency in a signal (Goertzel), relative to a full-scale sine = 1.
double TonePower(const std::vector<double>& x, int rate, double hz);
// Lag of `y` behind `x` (0..maxLag) where they correlate best.
int BestLag(const std::vector<double>& x, const std::vector<double>& y, int maxLag);
// Signal-to-noise ratio in dB of `y` (delayed by `lag`) against `x`, away from the ends, after
// matching the level of `y` to `x`; `gain` receives the level of `y` relative to `x`.
double SnrDb(const std::vector<double>& x, const std::vector<double>& y, int lag,
             double* gain = nullptr);

// Runs a program. `input` goes to its standard input (a file path, or empty for /dev/null);
// its standard output and error are returned in `output`. Returns the exit status (-signal when
// killed).
int RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& input,
               std::string* output);

// A child with pipes on both standard input and output, driven step by step.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    bool Write(const std::string& bytes);  // false when the child no longer reads
    void CloseInput();
    void CloseOutput();      // the child's later lines go nowhere
    std::string ReadLine();  // empty at end of output
    std::string ReadAll();
    int Wait();  // exit status, -signal when killed
    void Kill(int sig);

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string pending_;
};

// Full path of a program of the build, or of a system tool found on PATH ("" when absent).
std::string DistProgram(const std::string& name);
std::string SystemTool(const std::string& name);

}  // namespace orvane::test
