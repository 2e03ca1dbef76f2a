#pragma once
// The walk through a music library: every audio file below the input folder (symbolic links to
// folders not followed, hidden files and folders left out) planned into the same relative
// folder below the output folder with the target's extension, skipped when its output is newer
// than it; the other files that match the patterns to copy; outputs two sources would share.
// A folder's audio file that a cue sheet beside it names as a disc of several tracks is split:
// its outputs are "NN - Title" of each track in the same folder.

#include <memory>
#include <string>
#include <vector>

#include "encoder/library/image_cue.h"

namespace orvane::library {

struct LibraryEntry {
    enum class Action {
        Convert,  // the audio file into its output
        Skip,     // its output is newer than it
        Copy,     // a file that matches the patterns to copy
        Fail,     // it cannot be converted (reason says why)
    };
    Action action = Action::Convert;
    std::string source;    // its path
    std::string relative;  // below the input folder
    std::string output;    // its path below the output folder
    std::string reason;
    // A disc image its cue sheet splits: the tracks, and the output of each (output is then
    // the first's).
    std::shared_ptr<const ImageCue> image;
    std::vector<std::string> trackOutputs;
};

struct TreeOptions {
    std::string extension;                  // of the outputs: ".opus"
    std::vector<std::string> copyPatterns;  // of the files to copy ("cover.*"), by name
    bool force = false;                     // convert and copy even what is up to date
    bool split = true;                      // disc images with their cue sheets split by track
    bool subfolders = true;                 // false: the input folder's own files alone
};

// The names (by extension, without regard to case) taken as audio files.
bool IsAudioName(const std::string& name);
// "cover.*,folder.*" as its patterns; "default" as the usual companions of an album.
std::vector<std::string> SplitPatterns(const std::string& list);

// Why the input folder cannot be a library ("Error: ... is not a folder"); empty when it can.
std::string LibraryFolderProblem(const std::string& in);

// The plan, in the tree's order (names sorted within a folder); false with error when the
// input folder cannot be read.
bool PlanLibrary(const std::string& in, const std::string& out, const TreeOptions& options,
                 std::vector<LibraryEntry>& plan, std::string& error);

}  // namespace orvane::library
