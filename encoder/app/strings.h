#pragma once
// The string table of the encoder front-end, addressed by the numbers of resource.h.

#include <string>

namespace orvane::encoder {

// The text of a string resource; empty for an unknown number.
std::string LoadString(int id);

}  // namespace orvane::encoder
