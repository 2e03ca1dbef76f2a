#pragma once
// ID3 version 2.4 tags: UTF-8 text frames placed before the audio of an MP3 file, beside the
// version 1 record at its end. The frames are the ID3v2 column of tags::kTagFieldNames, and the
// front picture, when there is one, an APIC frame of type 3 holding its bytes as they are.

#include <string>

#include "common/tag_fields.h"
#include "encoder/tags/id3.h"

namespace orvane::encoder {

// The whole tag (header, frames, padding) for the known fields and the front picture; empty when
// neither is known.
std::string RenderId3v2(const tags::TrackTags& fields);

// Puts the tag before the content of the existing file at path. The file is replaced whole
// (a new file with the tag and the old content, renamed over it), so a failure leaves it as it
// was. False with error saying why.
bool PrependId3v2(const std::string& path, const tags::TrackTags& fields, std::string& error);

// The full texts where they are known, else what the version 1 record holds (its texts, its
// year, its genre code's name), so both tags of a file agree.
tags::TrackTags WithId3v1Fallback(const tags::TrackTags& full, const Id3Tag& record);

}  // namespace orvane::encoder
