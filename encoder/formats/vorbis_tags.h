#pragma once
// The tag of a job's item as Vorbis comments (FLAC and Opus files carry them).

#include <string>
#include <utility>
#include <vector>

#include "encoder/app/id3.h"

namespace orvane::formats {

using VorbisComments = std::vector<std::pair<std::string, std::string>>;

// The fields of tag that hold a text, in UTF-8, and the track number when it is 1 or more.
// The genre is named from genres when its code is one of them.
VorbisComments CommentsOfTag(const encoder::Id3Tag& tag, int trackNumber,
                             const encoder::GenreList& genres);

}  // namespace orvane::formats
