#pragma once
// Texts of the CD grabbing windows by their string numbers (120-128, 113).

#include <string>

namespace orvane::cdda {

// The text of a string resource of the grabbing windows; other numbers are looked up in the
// encoder front-end's table.
std::string CdString(int id);

}  // namespace orvane::cdda
