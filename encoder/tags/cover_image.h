#pragma once
// What is accepted as a front cover: a whole JPEG or PNG image, recognised by its content (never
// by its name or the server's content type), at most kMaxImageBytes long and kMaxImageSide
// pixels a side, that Qt's image reader decodes. Anything else is refused with a reason a user
// can read.

#include <cstddef>
#include <string>

#include "common/tag_fields.h"

namespace orvane::tags {

constexpr std::size_t kMaxImageBytes = 16u << 20;  // 16 MiB
constexpr int kMaxImageSide = 10000;               // pixels

// True with picture (mime, bytes unchanged, width, height, depth) when bytes are an image
// accepted as a cover; false with why ("the JPEG image is cut short").
bool AcceptImage(std::string bytes, Picture& picture, std::string& why);

// The image file at path, read with the size bound (regular files only), then AcceptImage.
// why names the file.
bool ReadImageFile(const std::string& path, Picture& picture, std::string& why);

// "cover.jpg" or "cover.png", as the picture's content is.
std::string CoverFileName(const Picture& picture);

}  // namespace orvane::tags
