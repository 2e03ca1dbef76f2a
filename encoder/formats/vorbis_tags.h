#pragma once
// The tag of a job's item as Vorbis comments (FLAC and Opus files carry them), named by the
// vorbis column of tags::kTagFieldNames.

#include <string>
#include <utility>
#include <vector>

#include "common/tag_fields.h"
#include "encoder/tags/id3.h"

namespace orvane::formats {

using VorbisComments = std::vector<std::pair<std::string, std::string>>;

// One comment per known field, in the table's order; a number and its total are comments of
// their own.
VorbisComments CommentsOfTag(const tags::TrackTags& fields);

// The FLAC picture structure of a front cover (type 3, its MIME type, description, width, height,
// depth, the image's bytes), as a FLAC PICTURE block's body holds it.
std::string FlacPictureStructure(const tags::Picture& picture);
// The value of the METADATA_BLOCK_PICTURE comment of Ogg files: the structure in base64.
std::string MetadataBlockPicture(const tags::Picture& picture);

// The fields of an item's tag: its full texts, else what its version 1 record holds, with
// trackNumber (when 1 or more) where the full texts name no track.
tags::TrackTags FieldsOfItem(const tags::TrackTags& full, const encoder::Id3Tag& record,
                             int trackNumber);

}  // namespace orvane::formats
