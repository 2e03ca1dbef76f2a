#pragma once
// The command-line registry tool:
//
//   orvane-reg query   KEY [/v NAME | /ve] [/s]
//   orvane-reg add     KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]
//   orvane-reg delete  KEY [/v NAME | /ve | /va] /f
//   orvane-reg export  KEY FILE [/y]
//   orvane-reg import  FILE
//   orvane-reg save    KEY FILE [/y]
//   orvane-reg restore KEY FILE
//
// KEY is ROOT\path, ROOT one of HKCU, HKLM, HKCR, HKU, HKCC or their full names, optionally
// preceded by \\MACHINE\. TYPE is REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,
// REG_BINARY or REG_NONE.

#include <ostream>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"

namespace orvane::regtool {

// Runs one command; 0 on success, 1 on failure (the reason written to err).
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The text of a Win32 error number as the tool prints it.
std::string ErrorText(LONG code);

}  // namespace orvane::regtool
