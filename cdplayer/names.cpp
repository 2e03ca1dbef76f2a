#include "cdplayer/names.h"

#include <cstdio>

#include "cdplayer/mcdb.h"
#include "platform/shell/sysinfo.h"

namespace orvane::cdplayer {

std::string DefaultDatabasePath() { return shell::ModuleFolder() + "Nerop.DB"; }

std::vector<std::string> TrackListItems(const std::vector<std::string>& names) {
    std::vector<std::string> items;
    items.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d - ", static_cast<int>(i + 1));
        items.push_back(number + names[i]);
    }
    return items;
}

void ShowMessages(Messenger& messenger, const std::vector<PendingMessage>& messages) {
    for (const auto& m : messages)
        messenger.MessageBox(m.text, "", m.flags);
}

std::string DiscIdentity(CMciCdAudio& device) {
    const char* text = device.Info(MCI_INFO_MEDIA_IDENTITY);
    return text ? std::string(text) : std::string();
}

unsigned NumberOfTracks(CMciCdAudio& device) {
    const DWORD n = device.Status(0, MCI_STATUS_NUMBER_OF_TRACKS, 0);
    return n > 99 ? 0 : n;
}

void LoadNamesAtDetection(PlayerState& player, std::vector<PendingMessage>& messages) {
    const std::string& path = player.databasePath;
    MCDB db;
    DbRead read = ReadDatabaseFile(path, db);
    if (read == DbRead::CannotOpen) {
        messages.push_back({kCantOpenDatabase, MB_ICONERROR});
        if (!CreateDatabaseFile(path)) {
            messages.push_back({kCantCreateDatabase, MB_ICONERROR});
            return;
        }
        messages.push_back({kDatabaseCreated, MB_ICONINFORMATION});
        read = DbRead::Empty;
    }
    const std::string identity = DiscIdentity(player.device);
    const unsigned tracks = NumberOfTracks(player.device);
    if (read == DbRead::Empty) {
        db = MCDB::ForSingleDisc(identity, tracks);
        WriteDatabaseFile(path, db);
    }
    if (db.FindDisc(identity, player.CurrentTrackNames)) {
        player.CurrentDiscName = db.DiscNames[static_cast<std::size_t>(db.CurrentDisc)];
    } else {
        player.CurrentTrackNames = NumberedNames("TRACK %d", tracks);
        player.CurrentDiscName = "UNKNOWN DISC NAME";
    }
}

}  // namespace orvane::cdplayer
