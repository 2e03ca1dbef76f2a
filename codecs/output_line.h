#pragma once
// The text lines the codec programs print for the front-end that runs them.

#include <string>

namespace orvane::codecs {

// Writes one line to standard output and flushes it at once. The line is cut to 100 characters
// at a character boundary of UTF-8 text. A reader that went away is not an error: the program
// goes on and still finishes its file.
void Say(const std::string& line);

}  // namespace orvane::codecs
