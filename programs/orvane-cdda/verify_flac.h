#pragma once
// A rip whose cue sheet names FLAC files, made readable for `orvane-cdda verify`: each FLAC
// file decoded once into a WAVE file of a scratch folder, and a copy of the sheet that names
// those instead, every other line as it stands. The rip itself is never touched.

#include <string>

namespace orvane::cdda {

// path: the rip's folder (holding one cue sheet) or its cue sheet. Returns false with error
// when a FLAC file it names cannot be decoded or holds no CD audio (16-bit stereo at
// 44100 Hz, lossless). stagedCue is left empty when the sheet names no FLAC file (or no one
// sheet is found: the verify says why), else it is the copy's path inside folder.
bool StageFlacRip(const std::string& path, const std::string& folder, std::string& cueSheet,
                  std::string& stagedCue, std::string& error);

}  // namespace orvane::cdda
