#pragma once
// The song database: one MCDB record in the file "Nerop.DB" next to the player, holding a name
// for every stored disc and its tracks, keyed by the disc identity text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::cdplayer {

class MCDB {
public:
    // Texts are UTF-8 in memory and Windows-1252 in the file.
    std::vector<std::string> TrackNames;
    std::vector<std::string> DiscIds;
    std::vector<std::string> DiscNames;
    std::vector<std::uint16_t> FirstTrack;
    std::vector<std::uint16_t> LastTrack;
    int CurrentDisc = -1;  // not stored

    // Empties names; at the first disc whose identity equals id (byte for byte) appends its
    // names, sets CurrentDisc and returns true. Names are taken only from the disc's own range.
    bool FindDisc(const std::string& id, std::vector<std::string>& names);

    // Number of names disc k owns (0 for an empty or reversed range).
    std::size_t NameCount(std::size_t disc) const;

    // The whole file image of this record. False (and nothing produced) when the record cannot
    // be stored: more than 65,536 track names or lists of different lengths.
    bool Serialize(std::string& bytes) const;

    // Reads a record from the start of a file image; bytes after the object are ignored. False,
    // with a reason, when the image is not a usable record: another tag, class or schema, a body
    // that ends early, or lengths and indices beyond the data.
    bool Parse(std::string_view bytes, std::string* why = nullptr);

    // The record a new file gets: one disc with the given identity, named "UNKNOWN DISC", with
    // tracks "TRACK 1" to "TRACK n".
    static MCDB ForSingleDisc(const std::string& identity, unsigned tracks);
};

// The largest file read as a song database. The player's own records stay far below it (65,536
// track names and their discs take a few megabytes); anything larger, or endless, is not a
// database of this player and is treated as unreadable rather than read into memory.
inline constexpr std::uint64_t kMaxDatabaseBytes = 64ull << 20;

// Reading the database file.
enum class DbRead {
    Ok,          // a record was read
    Empty,       // the file exists and is empty
    Missing,     // there is no file
    Unreadable,  // it exists but cannot be read, is not a regular file, is larger than
                 // kMaxDatabaseBytes, or holds no usable record
};

// Reads the record at the start of the file into db (db is unchanged unless Ok). Reads only
// regular files, opened without blocking, and only as far as the record goes. why (optional)
// tells what made the file unreadable.
DbRead ReadDatabaseFile(const std::string& path, MCDB& db, std::string* why = nullptr);

// Renames an unreadable file to "<name>.unreadable" (or "<name>.unreadable-2", ... never
// replacing a file) so that nothing overwrites it. False, with the reason, when it cannot be
// moved (the folder is not writable, for example).
bool SetAsideDatabaseFile(const std::string& path, std::string& keptAs, std::string& why);

// Creates the file empty; false when it cannot be created or a file of that name exists.
bool CreateDatabaseFile(const std::string& path);

// Writes db as the new content of an existing file: the record goes to a new file beside it that
// then replaces the old one, so a crash leaves the old or the new file. False, and nothing
// written, when the existing file cannot be opened for writing or the record cannot be stored.
bool WriteDatabaseFile(const std::string& path, const MCDB& db);

// Names made with a pattern from the numbers 1 to n ("TRACK %d", "Track %d").
std::vector<std::string> NumberedNames(const char* pattern, unsigned n);

}  // namespace orvane::cdplayer
