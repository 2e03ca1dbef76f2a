#pragma once
// The offer at every start to make the player the system's default player for audio CDs, by
// writing the shell's play command of the "AudioCD" class.

#include <memory>
#include <string>

#include "cdplayer/messenger.h"

namespace orvane::cdplayer {

// The key HKEY_LOCAL_MACHINE\SOFTWARE\Classes\AudioCD\shell\play\command.
class PlayCommandKey {
public:
    virtual ~PlayCommandKey() = default;
    // Connects to the machine's registry and opens the key with all access.
    virtual bool Open() = 0;
    // The key's default value; empty when it cannot be read.
    virtual std::string Read() = 0;
    // Writes the key's default value (REG_SZ); a failure is not reported.
    virtual void Write(const std::string& command) = 0;
    virtual void Close() = 0;
};

inline constexpr const char* kPlayCommandSubkey =
    "SOFTWARE\\Classes\\AudioCD\\shell\\play\\command";
inline constexpr const char* kDefaultPlayerQuestion =
    "Do you want to make Orvane CD Player the default CD Player?";

// The key in the machine's registry through CRegistry (Connect, Open with all access, the
// default value as a string, Close when destroyed).
std::unique_ptr<PlayCommandKey> RegistryPlayCommandKey();

// The command the player wants: its full path, a blank, "/play", a blank and "%%1".
std::string WantedPlayCommand(const std::string& executablePath);

// Runs the offer: asks only when the stored command differs (ignoring case) and writes the
// wanted command unless the answer is No. Returns true when it wrote the command.
bool OfferDefaultPlayer(PlayCommandKey& key, Messenger& messenger,
                        const std::string& executablePath);

}  // namespace orvane::cdplayer
