#include "cdplayer/default_player.h"

#include <strings.h>

#include "platform/base/wintypes.h"

namespace orvane::cdplayer {

std::string WantedPlayCommand(const std::string& executablePath) {
    return executablePath + " /play %%1";
}

bool OfferDefaultPlayer(PlayCommandKey& key, Messenger& messenger,
                        const std::string& executablePath) {
    if (!key.Open()) return false;
    const std::string stored = key.Read();
    const std::string wanted = WantedPlayCommand(executablePath);
    bool wrote = false;
    if (::strcasecmp(stored.c_str(), wanted.c_str()) != 0) {
        if (messenger.MessageBox(kDefaultPlayerQuestion, "", MB_YESNO) != IDNO) {
            key.Write(wanted);
            wrote = true;
        }
    }
    key.Close();
    return wrote;
}

}  // namespace orvane::cdplayer
