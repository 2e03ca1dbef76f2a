#pragma once
// Reading .reg files for import: the REGEDIT4 form (ours and other editors', CR LF or LF line
// ends) and the "Windows Registry Editor Version 5.00" form (UTF-16LE with a byte-order mark, or
// 8-bit). Sections name keys ("[HKEY_CURRENT_USER\Software\x]", "[-KEY]" deletes the key with
// everything below it); values are "name"=..., @=... for the default value and "name"=- to
// delete one; hex lists may go on over lines ending in a backslash; lines starting with ';' are
// comments, except the ";!class", ";!time" and ";!security" lines of our own exports, which give
// the key's data back.

#include <string>
#include <vector>

#include "platform/registry/changes.h"

namespace orvane::registry {

struct RegImport {
    std::vector<KeyChange> changes;  // in the order of the file
    int errorLine = 0;               // 0 when the file was read
    std::string error;
};

// Reads a whole .reg file; nothing is changed yet. A file that cannot be read whole gives no
// changes and the first line at fault.
RegImport ReadRegFile(const std::string& bytes);

// The predefined root key a name stands for ("HKEY_CURRENT_USER" or "HKCU", in any case), with
// its full name in `fullName`; nullptr when it names none.
HKEY RootByName(const std::string& name, std::string* fullName = nullptr);

}  // namespace orvane::registry
