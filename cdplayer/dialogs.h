#pragma once
// The data side of the CD database dialog (198) and of the programmed-order dialog (212). The
// dialogs of the window show what these objects hold and report the user's actions to them.

#include <string>
#include <vector>

#include "cdplayer/mcdb.h"
#include "cdplayer/player_state.h"

namespace orvane::cdplayer {

// Both dialogs open only while the status thread reports a disc; otherwise this shows string
// 61205 (plain box) and returns false.
bool DiscLoadedForDialog(const PlayerState& player, Messenger& messenger);

class CdDatabaseDialogData {
public:
    // Opening: reads the database and lists the disc's names. Messages are shown through
    // messenger (never while holding the player lock).
    void Open(PlayerState& player, Messenger& messenger);

    // List 1002, disc name 1006, selected number 1003, identity 1004.
    const std::vector<std::string>& Items() const { return items_; }
    const std::string& DiscName() const { return discName_; }
    int Remembered() const { return remembered_; }
    std::string SelectedText() const;  // 1003: the remembered item's number, from 1
    const std::string& IdentityText() const { return identityText_; }
    bool Readable() const { return readable_; }

    // Selection change: the edit field's text replaces the remembered item; the new selection
    // (-1 for none) becomes the remembered item.
    void SelectionChanged(const std::string& editText, int newSelection);

    // OK: stores the names (adding the disc when it is new), writes the file and reloads the
    // current names. Returns the new items of the track list (IDC_TRACK_LIST); messages as on Open.
    std::vector<std::string> Ok(PlayerState& player, Messenger& messenger,
                                const std::string& editText, const std::string& discName);

private:
    MCDB db_;
    bool readable_ = false;
    bool inMemory_ = false;  // the names cannot be saved: the record is the player's in memory
    bool found_ = false;
    std::vector<std::string> items_;
    std::string discName_;
    std::string identityText_ = "0";
    int remembered_ = 0;
};

class ProgramDialogData {
public:
    struct Entry {
        std::string text;
        int track = 1;
    };

    // Opening: the disc's tracks (list 1011) and the programmed entries (list 1012).
    void Open(PlayerState& player, Messenger& messenger);

    const std::vector<std::string>& Tracks() const { return tracks_; }
    const std::vector<Entry>& Entries() const { return entries_; }
    const std::string& DiscName() const { return discName_; }
    bool AddEnabled() const { return addEnabled_; }

    // Add the selected track of 1011 (-1: none); remove the selected entry of 1012; reset;
    // move an entry (drag) to another place.
    void Add(int trackIndex);
    void Remove(int entryIndex);
    void Reset();
    void Move(int from, int to);

    // OK: stores the order and starts the first entry. Cancel changes nothing.
    void Ok(PlayerState& player);

private:
    std::vector<std::string> tracks_;
    std::vector<Entry> entries_;
    std::string discName_;
    bool addEnabled_ = true;
};

}  // namespace orvane::cdplayer
