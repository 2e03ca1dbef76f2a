#include "cdplayer/names.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cdplayer/mcdb.h"
#include "platform/shell/sysinfo.h"

namespace orvane::cdplayer {

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string DefaultDatabasePath() { return DatabasePathFor(shell::ModuleFolder()); }

std::string DatabasePathFor(const std::string& programFolder) {
    if (!Exists(programFolder + kInstalledMarker) &&
        !Exists(programFolder + "../" + kInstalledMarker))
        return programFolder + "Nerop.DB";
    const char* data = std::getenv("XDG_DATA_HOME");
    const std::string base =
        data && *data == '/' ? std::string(data) : shell::HomeFolder() + "/.local/share";
    const std::string folder = base + "/orvane/";
    // A folder that cannot be made shows up as the database's own "cannot create" message.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder + "Nerop.DB";
}

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

bool IsAudioTrack(CMciCdAudio& device, unsigned n) {
    return device.Status(MCI_TRACK, MCI_CDA_STATUS_TYPE_TRACK, n) == MCI_CDA_TRACK_AUDIO;
}

unsigned AudioTrackFrom(CMciCdAudio& device, int from, int step) {
    const int n = static_cast<int>(NumberOfTracks(device));
    for (int t = from; t >= 1 && t <= n; t += step)
        if (IsAudioTrack(device, static_cast<unsigned>(t))) return static_cast<unsigned>(t);
    return 0;
}

unsigned AudioTrackCount(CMciCdAudio& device) {
    const unsigned n = NumberOfTracks(device);
    unsigned audio = 0;
    for (unsigned t = 1; t <= n; ++t)
        audio += IsAudioTrack(device, t) ? 1 : 0;
    return audio;
}

NamesLoad ReadNamesForDisc(const std::string& path, const std::string& identity, unsigned tracks) {
    NamesLoad load;
    load.identity = identity;
    load.tracks = tracks;
    auto& messages = load.messages;
    std::string why;
    DbRead read = ReadDatabaseFile(path, load.db, &why);
    std::string keptNote;
    if (read == DbRead::Unreadable) {
        std::string keptAs, asideWhy;
        if (!SetAsideDatabaseFile(path, keptAs, asideWhy)) {
            // Neither read nor moved: the file stays as it is and nothing is written.
            load.notSaved = true;
            load.notSavedText = "Names will not be saved: " + path + " cannot be read (" + why +
                                ") and cannot be set aside (" + asideWhy +
                                "). The player keeps the names in memory until it is closed.";
            return load;
        }
        keptNote = "\n\nThe old database could not be read (" + why + "); its names were kept in " +
                   keptAs + ".";
        read = DbRead::Missing;
    }
    if (read == DbRead::Missing) {
        messages.push_back({kCantOpenDatabase, MB_ICONERROR});
        if (!CreateDatabaseFile(path)) {
            messages.push_back({kCantCreateDatabase + keptNote, MB_ICONERROR});
            return load;
        }
        messages.push_back({kDatabaseCreated + keptNote, MB_ICONINFORMATION});
        read = DbRead::Empty;
    }
    if (read == DbRead::Empty) {
        load.db = MCDB::ForSingleDisc(identity, tracks);
        WriteDatabaseFile(path, load.db);
    }
    load.haveRecord = true;
    return load;
}

void ApplyNames(PlayerState& player, const NamesLoad& load, std::vector<PendingMessage>& messages) {
    messages.insert(messages.end(), load.messages.begin(), load.messages.end());
    MCDB record;
    if (load.notSaved) {
        if (!player.namesNotSaved) player.memoryDb = MCDB();
        player.namesNotSaved = true;
        if (!player.notSavedSaid) {
            messages.push_back({load.notSavedText, MB_ICONWARNING});
            player.notSavedSaid = true;
        }
        record = player.memoryDb;
    } else if (load.haveRecord) {
        player.namesNotSaved = false;
        record = load.db;
    } else {
        return;  // no file and none could be made: the names stay as they were
    }
    if (record.FindDisc(load.identity, player.CurrentTrackNames)) {
        player.CurrentDiscName = record.DiscNames[static_cast<std::size_t>(record.CurrentDisc)];
    } else {
        player.CurrentTrackNames = NumberedNames("TRACK %d", load.tracks);
        player.CurrentDiscName = "UNKNOWN DISC NAME";
    }
    if (load.tracks > 0 && load.audioTracks == 0)
        messages.push_back({kNoAudioTracks, MB_ICONINFORMATION});
}

void LoadNamesAtDetection(PlayerState& player, std::vector<PendingMessage>& messages) {
    NamesLoad load = ReadNamesForDisc(player.databasePath, DiscIdentity(player.device),
                                      NumberOfTracks(player.device));
    load.audioTracks = AudioTrackCount(player.device);
    ApplyNames(player, load, messages);
}

}  // namespace orvane::cdplayer
