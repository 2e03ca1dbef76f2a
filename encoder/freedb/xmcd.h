#pragma once
// xmcd entries, the text form of one disc in the CDDB database: "#" comment lines (the xmcd
// marker, the track frame offsets, the disc length, the revision, the submitting program)
// followed by KEYWORD=value lines (DISCID, DTITLE, DYEAR, DGENRE, TTITLEn, EXTD, EXTTn,
// PLAYORDER; other keywords of newer entries are passed over). A long value may be split over
// several lines of the same keyword; such lines are joined.

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::freedb {

struct FreeDBDiscInfo {
    std::vector<int> trackOffsets;
    int discLength = 0;  // seconds
    int revision = 0;
    std::string program;
    std::string version;
    std::string comment;
    std::uint32_t discId = 0;
    std::string artist;
    std::string title;
    std::string year;   // DYEAR, as the entry gives it
    std::string genre;  // DGENRE: free text, unlike the category
    std::vector<std::string> trackTitles;
    std::vector<std::string> extendedDisc;   // the EXTD text, one element per line
    std::vector<std::string> extendedTrack;  // EXTT values, joined per key
    std::vector<int> playOrder;
};

// Text as it arrives from a server or a file: valid UTF-8 stays as it is, anything else is
// read as Windows-1252. The result is UTF-8.
std::string DecodeText(const std::string& bytes);

// Parses a reply body (a "210 ..." status line, then the entry) or, with statusLine false, a
// bare entry as stored in a file (a leading status line and a final "." line are accepted
// too). The entry's text is UTF-8 when all of it is, else Windows-1252; the
// choice is made once for the whole entry, never line by line. On failure returns false with error
// set to 10043 (0 for a body whose code is outside 210..219) and a short reason; fields filled
// before the failure keep their values.
bool ParseXmcdEntry(const std::string& body, FreeDBDiscInfo& info, int* error = nullptr,
                    std::string* reason = nullptr, bool statusLine = true);

// Reads an entry file's text: strips an optional leading status line and final "." line.
bool ParseXmcdFile(const std::string& text, FreeDBDiscInfo& info, std::string* reason = nullptr);

// An entry's text in UTF-8, its encoding decided as ParseXmcdEntry decides it; lines and line
// ends are kept.
std::string EntryTextToUtf8(const std::string& text);

// Writes an entry in the xmcd format (UTF-8, values escaped, long values split over several
// lines of their keyword). extraLines ("DYEAR=2001", ...) follow the DTITLE line.
std::string FormatXmcdEntry(const FreeDBDiscInfo& info,
                            const std::vector<std::string>& extraLines = {});

// The track titles of an entry with the artists of a compilation taken out of them. An entry is
// a compilation when its disc artist is "Various" ("Various Artists", any case) or every track
// title has the form "Artist / Title"; then each title of that form is split at its first
// " / " into the track's artist and title. Artists are empty for tracks without one of their
// own (and for every track of an entry that is no compilation, whose titles stay whole).
struct TrackNames {
    std::vector<std::string> titles, artists;
    bool compilation = false;
};
TrackNames SplitTrackArtists(const FreeDBDiscInfo& info);

// One JSON object with the keys artist, title, year, genre, tracks, track_artists (one per
// track, see SplitTrackArtists; tracks keep the titles as the entry has them), extd, extt,
// playorder, offsets, length, revision, program, version, comment, discid (eight lower-case
// hexadecimal digits).
std::string ToJson(const FreeDBDiscInfo& info);

// Escapes a value for a keyword line: newline as \n, tab as \t, backslash as \\.
std::string EscapeValue(const std::string& value);
// The reverse, in one pass.
std::string UnescapeValue(const std::string& value);

}  // namespace orvane::freedb
