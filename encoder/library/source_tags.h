#pragma once
// The tag of a library file as the output's writers take it: the fields of the tag table that
// the source names (whatever its format calls them) and its front picture. ReplayGain values
// and fields the table does not know stay behind.

#include <cstddef>
#include <string>

#include "common/tag_fields.h"

namespace orvane::library {

// Pictures larger than this are left behind.
constexpr std::size_t kMaxPictureBytes = 16u << 20;

// The source's tag; an empty one for a file without a tag or one TagLib cannot read.
tags::TrackTags ReadSourceTags(const std::string& path);

// A picture of the image bytes when they are a whole JPEG or PNG image (its size read from its
// header); null otherwise.
std::shared_ptr<const tags::Picture> PictureOf(const std::string& bytes);

}  // namespace orvane::library
