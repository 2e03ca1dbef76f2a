#pragma once
// Makes the compiled-in pictures of a program available under ":/bitmaps/<n>.png" and
// ":/icons/<n>.png". Call once after the application object exists.

namespace orvane::artwork {

void InitPlimoResources();
void InitTarvoResources();

}  // namespace orvane::artwork
