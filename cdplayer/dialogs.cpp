#include "cdplayer/dialogs.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "cdplayer/names.h"

namespace orvane::cdplayer {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

std::string Format(const char* pattern, int a, int b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}
}  // namespace

bool DiscLoadedForDialog(const PlayerState& player, Messenger& messenger) {
    if (player.discPresent) return true;
    messenger.MessageBox(kNoDiscLoaded, "", MB_OK);
    return false;
}

void CdDatabaseDialogData::Open(PlayerState& player, Messenger& messenger) {
    std::vector<PendingMessage> messages;
    {
        Lock lock(player.lock);
        db_ = MCDB();
        items_.clear();
        discName_.clear();
        identityText_.assign(1, '0');  // not = "0": GCC 12 misreads that at -O3 (-Wrestrict)
        remembered_ = 0;
        const DbRead read = ReadDatabaseFile(player.databasePath, db_);
        readable_ = read != DbRead::CannotOpen;
        if (!readable_) {
            messages.push_back({kFatalCantOpenDatabase, MB_ICONERROR});
        } else {
            const std::string identity = DiscIdentity(player.device);
            found_ = db_.FindDisc(identity, player.CurrentTrackNames);
            const unsigned n = NumberOfTracks(player.device);
            const std::vector<std::string> numbered = NumberedNames("Track %d", n);
            if (found_) {
                // The disc's own names; tracks beyond them keep numbered names.
                items_ = player.CurrentTrackNames;
                items_.resize(n);
                for (std::size_t i = player.CurrentTrackNames.size(); i < n; ++i)
                    items_[i] = numbered[i];
                discName_ = db_.DiscNames[static_cast<std::size_t>(db_.CurrentDisc)];
            } else {
                items_ = numbered;
                discName_ = "Unknown DiscName";
            }
            identityText_ = identity;
        }
    }
    ShowMessages(messenger, messages);
}

std::string CdDatabaseDialogData::SelectedText() const { return Format("%d", remembered_ + 1); }

void CdDatabaseDialogData::SelectionChanged(const std::string& editText, int newSelection) {
    if (remembered_ >= 0 && static_cast<std::size_t>(remembered_) < items_.size())
        items_[static_cast<std::size_t>(remembered_)] = editText;
    remembered_ = newSelection >= 0 && static_cast<std::size_t>(newSelection) < items_.size()
                      ? newSelection
                      : 0;
}

std::vector<std::string> CdDatabaseDialogData::Ok(PlayerState& player, Messenger& messenger,
                                                  const std::string& editText,
                                                  const std::string& discName) {
    std::vector<PendingMessage> messages;
    std::vector<std::string> list;
    {
        Lock lock(player.lock);
        // Without a record read at opening there is nothing to update.
        if (!readable_) return TrackListItems(player.CurrentTrackNames);
        SelectionChanged(editText, remembered_);
        player.CurrentTrackNames.clear();
        auto& names = db_.TrackNames;
        if (found_) {
            const auto disc = static_cast<std::size_t>(db_.CurrentDisc);
            if (db_.NameCount(disc) == items_.size()) {
                for (std::size_t i = 0; i < items_.size(); ++i)
                    names[db_.FirstTrack[disc] + i] = items_[i];
            } else {
                // The stored range has another size than the disc: the names move to the
                // end, so no other disc's names are touched.
                db_.FirstTrack[disc] = static_cast<std::uint16_t>(names.size());
                names.insert(names.end(), items_.begin(), items_.end());
                db_.LastTrack[disc] = static_cast<std::uint16_t>(names.size() - 1);
            }
            db_.DiscNames[disc] = discName;
        } else {
            db_.FirstTrack.push_back(static_cast<std::uint16_t>(names.size()));
            names.insert(names.end(), items_.begin(), items_.end());
            db_.LastTrack.push_back(static_cast<std::uint16_t>(names.size() - 1));
            db_.DiscIds.push_back(DiscIdentity(player.device));
            db_.DiscNames.push_back(discName);
            db_.CurrentDisc = static_cast<int>(db_.DiscIds.size() - 1);
            found_ = true;
        }
        player.CurrentDiscName = db_.DiscNames[static_cast<std::size_t>(db_.CurrentDisc)];
        if (!WriteDatabaseFile(player.databasePath, db_))
            messages.push_back({kCantOpenDatabase, MB_ICONERROR});
        db_.FindDisc(DiscIdentity(player.device), player.CurrentTrackNames);
        list = TrackListItems(player.CurrentTrackNames);
    }
    ShowMessages(messenger, messages);
    return list;
}

void ProgramDialogData::Open(PlayerState& player, Messenger& messenger) {
    std::vector<PendingMessage> messages;
    {
        Lock lock(player.lock);
        MCDB db;
        if (ReadDatabaseFile(player.databasePath, db) == DbRead::CannotOpen)
            messages.push_back({kCantOpenDatabase, MB_ICONERROR});
        const bool found = db.FindDisc(DiscIdentity(player.device), player.CurrentTrackNames);
        const unsigned n = NumberOfTracks(player.device);
        const auto& names = player.CurrentTrackNames;
        tracks_.clear();
        for (unsigned i = 1; i <= n; ++i) {
            if (found && i <= names.size()) {
                tracks_.push_back(names[i - 1]);
            } else {
                tracks_.push_back(
                    Format("%02d - Track %d", static_cast<int>(i), static_cast<int>(i)));
            }
        }
        entries_.clear();
        const auto& modes = player.modes;
        for (DWORD i = 0; i < modes.ProgramCount && i < PlayModes::kSlots; ++i) {
            const int track = modes.ProgramOrder[i];
            const std::string name = track >= 1 && static_cast<std::size_t>(track) <= names.size()
                                         ? names[static_cast<std::size_t>(track) - 1]
                                         : Format("Track %d", track);
            entries_.push_back({Format("%02d - ", static_cast<int>(i + 1)) + name, track});
        }
        addEnabled_ = entries_.size() < PlayModes::kMaxEntries;
        discName_ = player.CurrentDiscName;
    }
    ShowMessages(messenger, messages);
}

void ProgramDialogData::Add(int trackIndex) {
    if (trackIndex < 0 || static_cast<std::size_t>(trackIndex) >= tracks_.size()) return;
    if (entries_.size() >= PlayModes::kMaxEntries) return;
    entries_.push_back({tracks_[static_cast<std::size_t>(trackIndex)], trackIndex + 1});
    if (entries_.size() > 35) addEnabled_ = false;
}

void ProgramDialogData::Remove(int entryIndex) {
    if (entryIndex < 0 || static_cast<std::size_t>(entryIndex) >= entries_.size()) return;
    entries_.erase(entries_.begin() + entryIndex);
    if (entries_.size() <= 35) addEnabled_ = true;
}

void ProgramDialogData::Reset() {
    entries_.clear();
    addEnabled_ = true;
}

void ProgramDialogData::Move(int from, int to) {
    const int n = static_cast<int>(entries_.size());
    if (from < 0 || from >= n || to < 0 || to >= n || from == to) return;
    Entry moved = entries_[static_cast<std::size_t>(from)];
    entries_.erase(entries_.begin() + from);
    entries_.insert(entries_.begin() + to, std::move(moved));
}

void ProgramDialogData::Ok(PlayerState& player) {
    Lock lock(player.lock);
    auto& modes = player.modes;
    const std::size_t count = std::min<std::size_t>(entries_.size(), PlayModes::kMaxEntries);
    for (std::size_t i = 0; i < count; ++i)
        modes.ProgramOrder[i] = static_cast<WORD>(entries_[i].track >= 1 ? entries_[i].track : 1);
    modes.ProgramCount = static_cast<DWORD>(count);
    modes.ProgramPosition = 1;
    modes.IntroScanOn = modes.RandomOn = modes.RepeatState = 0;
    if (count == 0) {
        modes.ProgramPosition = 0;
        return;
    }
    player.device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_TMSF);
    player.device.Play(modes.ProgramOrder[0], kToEnd);
    player.device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
}

}  // namespace orvane::cdplayer
