#pragma once
// The WMA job (job kind EncodeWma): WAVE files (one, a folder of them, or CD tracks grabbed to
// WAVE files) become WMA files through the encoder objects.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "encoder/job/job_runner.h"
#include "platform/wmenc/wmenc.h"

namespace orvane::wma {

// What the job shares with its statistics update (window thread): the encoder while the job
// holds it, the start time of the current file and its duration (the current-file bar's
// range).
struct WmaJobShared {
    std::mutex mutex;
    std::shared_ptr<wmenc::IWMEncoder> encoder;
    std::int64_t startTime = 0;  // seconds, clock::Time()
    int durationSeconds = 0;
    bool batch = false;
};

// Duration in whole seconds from a WAVE file's first 44 bytes; nothing when the header names
// no channels, no sample rate or fewer than 8 bits per sample.
std::optional<int> WaveDurationSeconds(const unsigned char* header);
// The current-file bar's range when the header gives no duration: the file's length in
// seconds of CD audio (176400 bytes a second), at least 1.
int DurationFromSize(std::int64_t fileSize);

// The output of one file of a folder batch: the output folder, the input's base name, ".WMA".
std::string BatchOutputName(const std::string& outputFolder, const std::string& input);
// The output of a CD track: the output folder, the artist and " - " when the artist has two
// or more characters, the title, cleaned and cut as for MP3 files, ".WMA".
std::string CdTrackOutputName(const std::string& outputFolder, const std::string& artist,
                              const std::string& title, int trackNumber);

// The remaining-time text: "00:00:00" when the duration is 100 hours or more, else the
// duration minus the elapsed seconds (never below 0), hours modulo 99.
std::string RemainingText(int durationSeconds, std::int64_t elapsed);

// The job's worker body, and its statistics update (every 1000 ms on the window's thread).
void RunWmaJob(encoder::JobRunner& runner, WmaJobShared& shared);
void UpdateWmaStatistics(encoder::JobRunner& runner, WmaJobShared& shared);

// Makes EncodeWma a job kind of the program.
void RegisterWmaJob();

}  // namespace orvane::wma
