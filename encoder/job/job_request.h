#pragma once
// What one job is asked to do: a plain value, produced by the wizard's Finish or directly by the
// command-line runner, and handed to the job runner. Everything a job needs travels in it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/tag_fields.h"
#include "encoder/job/job.h"
#include "encoder/job/pcm_feed.h"
#include "encoder/rip/rip_settings.h"
#include "encoder/tags/id3.h"

namespace orvane::encoder {

// The grabber's hand-over for a CD-Audio source: what it stored when the user confirmed it.
struct CdHandOver {
    int driveIndex = -1;                // the selected drive of the drive table
    std::int64_t leadOut = 0;           // the disc's lead-out, in frames
    std::vector<std::uint8_t> checked;  // one flag per track of the list, 1 = grab it
    std::vector<std::string> names;     // the list's track names, one per track
    int trackCount = 0;                 // the number of tracks the job will grab
    bool introOnly = false;             // grab only the first introSeconds of each track
    int introSeconds = 15;
    int readBufferSize = 16;        // frames per read request (the machine-wide setting)
    bool deleteGrabbedWav = false;  // the grabbed WAVE file goes once it is encoded
    // Verified ripping (all off: the tracks are read as they always were).
    rip::RipSettings rip;
    // A log and a cue sheet of the rip beside the files (on whenever any of the above is).
    bool ripLog = false;
    // With the log: audio in the pregap of the first audio track (before track 1) is ripped
    // as track 0, a file of its own, when that track is grabbed and the gap is not silence.
    bool ripLeadingGap = false;
    int readSpeed = 0;        // x the audio rate; 0: the drive keeps its speed
    bool deemphasis = false;  // de-emphasise tracks recorded with pre-emphasis
    // The album's front cover for the file beside the tracks (cover.jpg or cover.png; null:
    // none), and the rip log's words for where it came from (empty: no cover was asked for).
    std::shared_ptr<const tags::Picture> coverFile;
    std::string coverNote;
    // Disc n of an album of several: the log and cue sheet are named "... CD n" (0: one disc).
    int discOfSet = 0;
};

// The choices of the WMA settings page.
struct WmaChoice {
    int profileIndex = 0;
    std::string title, author, copyright, rating, description;
    // A single file also gets every other field of its full tag (fullTags[1]) as attributes,
    // as a CD track does; off, it gets the five texts alone.
    bool fullTag = false;
};

struct SourceItem;

// What the files of such a batch share, made by the batch for its kind (the album's loudness).
class BatchShared {
public:
    virtual ~BatchShared() = default;
};

// One file of a folder batch whose files run as jobs of their own, several at once: the folder
// source yields this file alone, as file number of count.
struct BatchItem {
    std::string file;
    int number = 0, count = 0;
    // Null when the kind shares nothing. Set on a whole batch's request by a caller that follows
    // its files (ParallelBatchKind::share).
    std::shared_ptr<BatchShared> shared;
    // The item as the batch's source gave it (a grabbed CD track); null: the file alone.
    std::shared_ptr<const SourceItem> source;
};

// The options of the FLAC and Opus jobs.
struct FormatChoice {
    int flacLevel = 5;        // compression level 0..8
    bool verify = false;      // decode each FLAC file back and compare it with its input
    int opusKbps = 160;       // 32..512
    bool replayGain = false;  // loudness values of each file and of the whole job
    int trackNumber = 0;      // the single file's track number, 0 for none
    // A CD-Audio job's other formats, each written from the same read of every track into a
    // folder of its own (encoder/cdda/multi_format_job.h); empty: the request's kind alone.
    std::vector<JobKind> cdAlso{};
};

// The choices of a music library conversion (kConvertLibrary): every audio file below
// the input folder, of any format, into the target's files in the same folders below the
// output folder, with the source's tag (encoder/library/library_run.h).
struct LibraryChoice {
    // The format of the outputs: EncodeMp3, EncodeFlac, EncodeOpus, EncodeWma, or Decode for
    // WAVE files.
    JobKind target = JobKind::EncodeMp3;
    bool subfolders = true;     // the files of the folders below the input folder as well
    bool skipConverted = true;  // a file whose output is newer than it is left alone
    // Other files copied as they are, by name ("cover.*"); none when empty.
    std::vector<std::string> copyPatterns;
    bool split = true;  // disc images with their cue sheets become a file per track
    // The MP3 channel mode (settings.mode) was chosen for the conversion: every file gets it.
    // Else a mono source stays mono and any other gets the settings' mode.
    bool modeChosen = false;
};

// The folder pattern of a CD job's formats when Preferences\MultiFormatFolders is not set: a
// folder named by each format ("FLAC/", "MP3/").
constexpr const char* kDefaultFormatFolders = "%F/";

// The input text that names the CD as a job's source.
constexpr const char* kCdAudioInput = "CD-Audio";

struct JobRequest {
    JobKind kind = JobKind::EncodeMp3;
    // A file each, or with batch the input and output folders; for a CD-Audio source the input
    // is kCdAudioInput and batch is on.
    std::string input, output;
    bool batch = false;
    EncoderSettings settings;  // MP3 options (EncodeMp3)
    WmaChoice wma;             // WMA options (EncodeWma)
    FormatChoice formats;      // FLAC and Opus options (EncodeFlac, EncodeOpus)
    // The tag records: entry 1 is the single file's tag (appended when singleFileTag is set),
    // entry n the tag of CD track n.
    TagTable tags;
    bool singleFileTag = false;
    // The full texts of the same tags, by the same numbers; a missing or empty entry leaves
    // the record's texts. With id3v2, every tagged MP3 output also gets an ID3v2 tag of them.
    std::vector<tags::TrackTags> fullTags;
    bool id3v2 = true;
    // The file names of CD tracks (see ExpandNamePattern); empty: "Artist - Title".
    std::string namePattern;
    // The folder of each format of a CD job of several ("MultiFormatFolders").
    std::string formatFolders = kDefaultFormatFolders;
    CdHandOver cd;
    LibraryChoice library;  // kConvertLibrary
    // The program folder holding the child programs, with a trailing '/'.
    std::string appFolder;
    // How many files of a folder batch may run at once (1: one after the other).
    int parallelJobs = 1;
    BatchItem item;  // set on the job of one such file
    // The status window's fixed pauses (JobRunner::Pause) are made: always in Plimo; plimo-job
    // leaves them out unless asked (--paced).
    bool paced = true;
    // Not null: the single file's samples come from it instead of a WAVE file, whose name
    // input then only is (the FLAC and Opus jobs; the FLAC file gets no seek table, its length
    // being known only at its end).
    std::shared_ptr<PcmFeed> feed;

    bool OneItem() const { return batch && !item.file.empty(); }

    bool CdAudio() const { return batch && input == kCdAudioInput; }
    const tags::TrackTags& FullTags(int number) const {
        static const tags::TrackTags kNone;
        return number >= 0 && number < static_cast<int>(fullTags.size())
                   ? fullTags[static_cast<std::size_t>(number)]
                   : kNone;
    }
};

}  // namespace orvane::encoder
