#pragma once
// The WMA job: WAVE files (one, a folder of them, or CD tracks grabbed to WAVE files) become
// WMA files through the encoder objects. RunWmaJob runs on the job's worker thread;
// UpdateWmaStatistics runs every 1000 ms on the window's thread while the job runs.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/window/window_port.h"
#include "platform/wmenc/wmenc.h"

namespace orvane::encoder {
struct EncoderApp;
}

namespace orvane::wma {

// What the wizard chose for the job.
struct WmaJobChoice {
    std::string input, output;  // paths, or folders in batch mode; input "CD-Audio" for tracks
    bool batch = false;
    int profileIndex = 0;
    std::string title, author, copyright, rating, description;
};

// What the job shares with the statistics update: the encoder (while the job holds it), the
// start time of the current file and its duration (the current-file bar's range).
struct WmaJobShared {
    std::mutex mutex;
    std::shared_ptr<wmenc::IWMEncoder> encoder;
    std::int64_t startTime = 0;  // seconds, clock::Time()
    int durationSeconds = 0;
    bool batch = false;
};

// The job's view of the status dialog that hosts it.
class WmaJobHost {
public:
    virtual ~WmaJobHost() = default;
    // The status window's controls, message boxes and timers.
    virtual WindowPort& Window() = 0;
    virtual encoder::EncoderApp& App() = 0;
    virtual bool CancelRequested() = 0;
    // Waits ms while the window's messages are handled; ends early once the job is cancelled
    // or until() answers true (asked again whenever the clock's sleepers are woken).
    virtual void Wait(unsigned ms, const std::function<bool()>& until) = 0;
    // The next file of a folder batch (empty when none is left); sets App().batchCount.
    virtual std::string NextBatchFile() = 0;
    // Grabs the next selected CD track into a WAVE file and returns its path (empty when none
    // is left); trackNumber is then the track's number.
    virtual std::string GrabNextTrack(int& trackNumber) = 0;
    // The job runs (false: it has ended, the dialog's Cancel only closes the window).
    virtual void SetJobRunning(bool running) = 0;
    // Replaces target by the finished file written under temp (the one file-writing helper).
    virtual bool ReplaceFile(const std::string& temp, const std::string& target) = 0;
    virtual WmaJobShared& Shared() = 0;
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

void RunWmaJob(WmaJobHost& host, const WmaJobChoice& choice);
void UpdateWmaStatistics(WmaJobHost& host);

}  // namespace orvane::wma
