#pragma once
// Grabbing audio tracks into 16-bit stereo 44100 Hz WAVE files: the progress window's logic,
// the track read shared by both entry points (over the disc reader's span loop), "&Grab Now!"
// (GrabToFolder) and the grab of the next selected track inside a job (GrabNextTrack).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/tag_fields.h"
#include "encoder/cdda/reading.h"
#include "encoder/cdda/track_list.h"
#include "platform/fs/fs.h"
#include "platform/window/window_port.h"

namespace orvane::cdda {

// The 44-byte PCM WAVE header of a file of fileLength bytes (data from byte 44 on).
std::array<std::uint8_t, 44> WaveHeader(std::uint32_t fileLength, int channels, double sampleRate);
// Writes the header at offset 0 of an open file from the file's length; returns 1.
int WriteWaveHeader(int fd, int channels, double sampleRate);

// The logic of the progress window 108. The window's Cancel button calls OnCancel (from the
// GUI thread); the grab asks CheckCancel after every request.
class GrabProgress {
public:
    explicit GrabProgress(WindowPort* port = nullptr) : port_(port) {}
    void Attach(WindowPort* port) { port_ = port; }

    void OnCancel() { cancel_ = true; }
    // Handles the window messages waiting, then returns and clears the cancel flag; also true
    // once `stopped` says the grab was stopped from elsewhere (the job was cancelled).
    bool CheckCancel();
    std::function<bool()> stopped;
    bool CancelPending() const { return cancel_; }

    void SetFileText(const std::string& path);
    void SetGrabbedText(std::uint32_t frames);
    void SetTrackBar(int range, int pos);
    void SetTotalBar(int range, int pos);
    void SetStatus(const std::string& text);

private:
    WindowPort* port_;
    std::atomic<bool> cancel_{false};
};

// An open progress window; destroying it closes the window (the closing effect when effects
// are on, 100 ms, the main window enabled again).
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual WindowPort& Port() = 0;
    // Gives the window the focus and brings it to the front.
    virtual void Activate() {}
};
// Opens the progress window over the logic given (which then drives it through the port).
using OpenProgressFn = std::function<std::unique_ptr<ProgressWindow>(GrabProgress& logic)>;

// A WAVE file being grabbed, written through the toolkit's atomic file writing: the samples go
// into a hidden file beside the target, and Finish writes the header from the length and puts
// the file in place. The target never holds a header that claims more samples than follow it,
// and an existing file there is only replaced by a complete one. A file never finished goes.
class WaveFileWriter {
public:
    // ops: the writer's system calls (a full disk in tests); nullptr for the system's own.
    bool Create(const std::string& path, std::string& error, fs::FileOps* ops = nullptr);
    bool Write(const std::uint8_t* data, std::size_t size, std::string& error);
    bool Finish(std::string& error);
    void Discard() { file_.Discard(); }
    std::uint64_t DataBytes() const { return dataBytes_; }
    const std::string& Path() const { return path_; }
    // The errno of the first failure since Create (ENOSPC for a full disk), 0 when none.
    int ErrorCode() const { return errorCode_; }

private:
    bool Failed(const fs::Status& status, std::string& error);

    fs::AtomicFile file_;
    std::string path_;
    std::uint64_t dataBytes_ = 0;
    int errorCode_ = 0;
};

enum class ReadOutcome { Done, Cancelled, Failed, WriteFailed };

// Counters of a grab: frames counted in the current track and in the whole grab; both advance
// by the sectors per read after every request, the last shorter one too.
struct GrabCounters {
    std::uint32_t track = 0;
    std::uint32_t total = 0;
};

struct ReadTrackParams {
    const CdDrive* drive = nullptr;
    FrameRange range;
    int sectorsPerRead = 4;
    bool inJob = false;  // 10 attempts for the last request of a track in a job, else 6
    int totalRange = 0;  // total bar range; 0 = the track's range (inside a job)
    // Reads through this reader (offset, secure mode); null: the described reading, each
    // request as it stands.
    SampleReader* reader = nullptr;
    // Sees every block of samples written, in order (checksums).
    std::function<void(const std::uint8_t* data, std::size_t size)> written;
    bool testOnly = false;    // reads without writing (the test of test-and-copy)
    bool reread = false;      // the track was read just before (the copy after the test)
    bool deemphasis = false;  // undo the track's pre-emphasis in what is written
    // What the read window shows for the file; empty: its path.
    std::string shownName;
};

// Reads a track into the file through the span loop of the disc reader (p.reader, else one of
// the described reading), request by request, with retries. A request whose last attempt
// failed is not written: the file keeps exactly the frames that were read.
ReadOutcome ReadTrack(const ReadTrackParams& p, WaveFileWriter& file, GrabProgress& progress,
                      GrabCounters& counters, std::string& error);

// The file name of a row name inside folder: the naming rule's replacements (':' '\\' '/' '<'
// '>' '|' become '-', '*' and '?' go, '"' becomes '\''), ".WAV" appended; a name that is empty
// or only dots becomes "Track<row + 1>".
std::string RowFileName(const std::string& folder, const std::string& rowName, int row);

// Sectors per read bounded to what one request may carry (1 to 256 frames).
int BoundedSectorsPerRead(int value);

// The grabber's read settings: the read speed as a multiple of the audio rate (0: no speed is
// sent, the drive reads at the one it has) and whether tracks flagged with pre-emphasis are
// de-emphasised.
struct CdReadSettings {
    int speed = 0;
    bool deemphasis = false;
};
// Sends the read speed to the drive when one is set.
void ApplyReadSpeed(const CdDrive& drive, const CdReadSettings& settings);
// Whether the track (zero-based) carries the pre-emphasis bit in the table of contents.
bool TrackHasPreEmphasis(const CdSession& session, int track);

// "&Grab Now!": the checked rows (their track index and name, in list order).
struct GrabRow {
    int track = 0;
    std::string name;
    // The row's tags, for a naming pattern; unused without one.
    tags::TrackTags fields{};
};
struct GrabToFolderRequest {
    std::vector<GrabRow> rows;
    bool introOnly = false;
    int introSeconds = 15;
    fs::FileOps* fileOps = nullptr;  // how the files are written; nullptr: the system
    // Offset, secure or test-and-copy reading; the described reading when Plain().
    ReadSettings read;
    // The drive's read speed and de-emphasis.
    CdReadSettings cdRead;
    // "FileNamePattern" (encoder/tags/name_pattern.h) over each row's fields; empty: the row's
    // name as the file name.
    std::string namePattern{};
};
// Runs the whole grab with its messages through port (the grabber's window). cdaReadBufferSize
// takes the drive's sectors per read.
void GrabToFolder(CdSession& session, const GrabToFolderRequest& request, WindowPort& port,
                  const OpenProgressFn& openProgress, int& cdaReadBufferSize);

enum class GrabResult { Grabbed, NoTrack, Cancelled, Failed };
struct GrabNextTrackResult {
    GrabResult result = GrabResult::NoTrack;
    int track = -1;    // zero-based track index handled
    std::string path;  // the WAVE file written (also after a cancel or a failure)
    std::string error;
    int errorCode = 0;  // errno of a file that could not be written
};
struct NextTrackOptions {
    bool introOnly = false;
    int introSeconds = 15;
    OpenProgressFn openProgress;
    // Shows a message box (the cancel message); may be empty.
    std::function<void(const std::string& text, unsigned flags)> message;
    // True once the job was cancelled elsewhere: the grab then stops without a message.
    std::function<bool()> stopped;
    // The file a track (zero-based) goes to; empty when none can be made (error says why).
    // Without it: folder + "Track%d.WAV".
    std::function<std::string(int track, std::string& error)> wavePath;
    // What the read window shows for a track (zero-based) in place of its file's path, for
    // files whose names mean nothing to the user; may be empty.
    std::function<std::string(int track)> shownName;
    fs::FileOps* fileOps = nullptr;  // how the file is written; nullptr: the system
    // Verified ripping: the reader to read through (null: the described reading), told of the
    // track before it is read and of every block of samples tested and written.
    SampleReader* reader = nullptr;
    std::function<void(int track)> starting;
    std::function<void(const std::uint8_t*data, std::size_t size)> tested, written;
    CdReadSettings cdRead;
};
// Grabs the next checked track from nextTrack on into its WAVE file; nextTrack moves past the
// track handled. cdaReadBufferSize becomes the frames per request used.
GrabNextTrackResult GrabNextTrack(CdSession& session, const std::string& folder, int& nextTrack,
                                  int& cdaReadBufferSize, const NextTrackOptions& options);

}  // namespace orvane::cdda
