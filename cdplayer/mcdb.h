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

// Reading and writing the database file.
enum class DbRead {
    Ok,          // a record was read
    Empty,       // the file exists and is empty
    CannotOpen,  // missing, unreadable, or not a usable record (then set aside, see below)
};

// Reads the file at path into db. A file that exists but holds no usable record is renamed to
// "<name>.unreadable" (or "<name>.unreadable-2", ... never replacing a file) so that nothing
// overwrites it, and the result is CannotOpen as for a missing file.
DbRead ReadDatabaseFile(const std::string& path, MCDB& db);

// Creates the file empty (or truncates it); false when it cannot be created.
bool CreateDatabaseFile(const std::string& path);

// Writes db as the new content of an existing file: the record goes to a new file beside it that
// then replaces the old one, so a crash leaves the old or the new file. False, and nothing
// written, when the existing file cannot be opened for writing or the record cannot be stored.
bool WriteDatabaseFile(const std::string& path, const MCDB& db);

// Names made with a pattern from the numbers 1 to n ("TRACK %d", "Track %d").
std::vector<std::string> NumberedNames(const char* pattern, unsigned n);

}  // namespace orvane::cdplayer
