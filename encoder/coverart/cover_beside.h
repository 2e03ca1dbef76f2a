#pragma once
// The front cover beside a rip's tracks: "cover.jpg" or "cover.png" (as its content is) in a
// folder the rip writes into, written whole or not at all and never over a file that is there:
// a cover.* the folder holds already (any extension, any case) is the user's and stays as it is.

#include <string>

#include "common/tag_fields.h"

namespace orvane::coverart {

struct BesideOutcome {
    std::string path;      // the cover file in the folder (written or kept); empty on failure
    bool written = false;  // false: kept (an existing cover) or failed
    std::string why;       // a failure, in words
};

BesideOutcome WriteCoverBeside(const std::string& folder, const tags::Picture& picture);

}  // namespace orvane::coverart
