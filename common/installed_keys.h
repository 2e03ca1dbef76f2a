#pragma once
// The keys the installation leaves in the machine's registry. Both programs open these keys
// without ever creating them (to store a value there, or to read one), so the start-up of each
// program creates those that are missing before any window can open them.

#include <string>

namespace orvane {

// Paths below HKEY_LOCAL_MACHINE. The WMA encoder's profile folder key is not among them: the
// component installer that Plimo runs at its first start writes it.
inline constexpr const char* kInstalledKeys[] = {
    // "CDAReadBufferSize": read by Plimo at start-up, written by the CDA settings dialog.
    "SOFTWARE\\Orvane Systems\\Orvane Encoder\\3.00",
    // The shell's play command for audio CDs, offered by Tarvo at every start.
    "SOFTWARE\\Classes\\AudioCD\\shell\\play\\command",
    // Where pending file replacements are noted; read after the WMA components are installed.
    "System\\CurrentControlSet\\Control\\Session Manager",
};

// Creates every key of kInstalledKeys that is missing; existing keys and their values stay as
// they are. False when a key could not be created, with one line per failure in `error` (the
// remaining keys are still tried).
bool CreateInstalledKeys(std::string& error);

}  // namespace orvane
