#pragma once
// A rip whose cue sheet names FLAC files, made readable for `orvane-cdda verify`: each FLAC
// file decoded once into a WAVE file of a scratch folder, and a copy of the sheet that names
// those instead, every other line as it stands. The rip itself is never touched.

#include <string>
#include <vector>

namespace orvane::cdda {

// A FLAC file of the rip and its decoded copy.
struct StagedFlac {
    std::string flac, wave;
};

// path: the rip's folder (holding one cue sheet) or its cue sheet. Returns false with error
// when a FLAC file it names cannot be decoded or holds no CD audio (16-bit stereo at
// 44100 Hz, lossless). stagedCue is left empty when the sheet names no FLAC file (or no one
// sheet is found: the verify says why), else it is the copy's path inside folder.
// decoded, when given, receives each FLAC file and its copy.
bool StageFlacRip(const std::string& path, const std::string& folder, std::string& cueSheet,
                  std::string& stagedCue, std::string& error,
                  std::vector<StagedFlac>* decoded = nullptr);

// The mended rip of a staged FLAC rip, into outFolder: each copy the repair wrote into
// mendedFolder encoded anew as its FLAC file's name with every metadata block of the file
// (checked by decoding it again to the mended samples), every other file of the sheet and the
// sheet itself copied. Nothing is replaced; written receives the files made. False with error.
bool WriteMendedFlacRip(const std::string& cueSheet, const std::vector<StagedFlac>& staged,
                        const std::string& mendedFolder, const std::string& outFolder,
                        std::vector<std::string>& written, std::string& error);

}  // namespace orvane::cdda
