#pragma once
// A music library converted into one output format: the tree's plan (library_tree.h), its audio
// files decoded through FFmpeg (pcm_stream.h) and written by the format's own job with the
// source's tag, several files at once, each output taking its name only once it is whole; the
// progress as it goes and a summary at the end.
//
// The conversion is the job kind kConvertLibrary (JobRequest::library): its files run through
// the parallel batch (encoder/job/parallel_batch.h), one job per file, as the wizard and
// plimo-job --library start it alike. With ReplayGain (formats.replayGain) the files converted
// into one output folder are an album (library_album.h), its values written as the folder's
// last file ends.

#include <ostream>
#include <string>
#include <vector>

#include "encoder/job/job_request.h"
#include "encoder/job/job_runner.h"

namespace orvane::library {

enum class Target { Mp3, Flac, Opus, Wma, Wav };

struct LibraryOptions {
    Target target = Target::Mp3;
    // The format's settings as its job takes them (MP3, WMA, FLAC and Opus options, the
    // program folder); kind, input and output are set per file.
    encoder::JobRequest base;
    // The MP3 channel mode (base.settings.mode) was chosen: every file gets it. Else a mono
    // source stays mono and any other gets the settings' mode.
    bool modeChosen = false;
    std::string in, out;
    int jobs = 1;
    std::vector<std::string> copyPatterns;
    bool dryRun = false;
    bool force = false;
    // A folder's one audio file that its cue sheet names, with tracks, is a disc image: a file
    // per track. False: images are converted whole.
    bool split = true;
    bool subfolders = true;  // false: the input folder's own files alone
};

struct LibraryReport {
    int converted = 0, skipped = 0, copied = 0;
    // By their paths below the input folder; an album's values that could not be written, by
    // the output's path below the output folder.
    std::vector<encoder::FileFailure> failed;
};

// The extension of the target's files (".opus").
std::string TargetExtension(Target target);

// The library job kind made known (its job and its batch); again: nothing changes.
void RegisterLibraryJob();
// The options a library request asks for, and the request of the options (kConvertLibrary,
// input and output folders, the choices in JobRequest::library).
LibraryOptions LibraryOptionsOf(const encoder::JobRequest& request);
encoder::JobRequest LibraryRequest(const LibraryOptions& options);

// Runs the conversion; the progress goes to out as one line rewritten in place on a terminal,
// else a line per file. Ends with the summary.
LibraryReport ConvertLibrary(const LibraryOptions& options, std::ostream& out, bool terminal);

}  // namespace orvane::library
