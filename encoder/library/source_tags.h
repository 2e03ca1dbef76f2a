#pragma once
// The tag of a library file as the output's writers take it: the fields of the tag table that
// the source names (whatever its format calls them) and its front picture. ReplayGain values
// and fields the table does not know stay behind.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "common/tag_fields.h"

namespace orvane::library {

// The source's tag; an empty one for a file without a tag or one TagLib cannot read.
tags::TrackTags ReadSourceTags(const std::string& path);

// A picture of the image bytes when they are accepted as a front cover (tags::AcceptImage: a
// whole JPEG or PNG image within its bounds); null otherwise.
std::shared_ptr<const tags::Picture> PictureOf(const std::string& bytes);

// The front cover kept beside a source that holds none of its own: the first image of its folder
// named cover, folder or front (that order; .jpg, .jpeg or .png, any case) that is accepted.
// Each folder is looked at once per run, however many of its files ask; safe from any thread.
class FolderPictures {
public:
    std::shared_ptr<const tags::Picture> Of(const std::string& folder);

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const tags::Picture>> seen_;
};

}  // namespace orvane::library
