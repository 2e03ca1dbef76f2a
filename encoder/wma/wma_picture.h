#pragma once
// The front cover of a WMA file: the WM/Picture attribute (type 3, the image's MIME type and its
// bytes as they are) added to a file the encoder has written.

#include <string>

#include "common/tag_fields.h"

namespace orvane::wma {

// Adds picture to the ASF file at path (rewritten in place: a file of the job's own that takes
// its final name afterwards). False with error saying why.
bool AddWmaPicture(const std::string& path, const tags::Picture& picture, std::string& error);

}  // namespace orvane::wma
