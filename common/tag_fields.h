#pragma once
// The tag fields of one output file, as full UTF-8 texts, and the one table that says what each
// output format calls them. Every tag writer (ID3v2 frames, Vorbis comments, container
// attributes) walks kTagFieldNames, so a field added here reaches every format that names it.
// Plain C++ without dependencies: any writer can include it.

#include <array>
#include <cstddef>
#include <string>

namespace orvane::tags {

enum class TagField {
    Title,
    Artist,  // the track's own artist
    Album,
    AlbumArtist,  // the disc's artist where the tracks have artists of their own
    Year,         // a date: "YYYY" or the longer forms "YYYY-MM-DD"
    TrackNumber,  // decimal, without the total
    TrackTotal,
    DiscNumber,
    DiscTotal,
    Genre,  // free text
    Comment,
    Isrc,
    CddbDiscId,  // eight hex digits
    MusicBrainzReleaseId,
    MusicBrainzRecordingId,
    MusicBrainzDiscId,
    Count
};

constexpr std::size_t kTagFieldCount = static_cast<std::size_t>(TagField::Count);

// What one field is called in each format; nullptr: the format does not carry it.
//   id3v2: a frame id ("TIT2"); "TXXX:<description>" a user text frame; "UFID:<owner>" a unique
//          file identifier; "COMM" a comment with an empty description. A number and its total
//          that share a frame ("TRCK", "TPOS") are written together as "n/N".
//   vorbis: the comment name (FLAC and Opus).
//   wma:    the container attribute.
struct TagFieldNames {
    TagField field;
    const char* id3v2;
    const char* vorbis;
    const char* wma;
};

inline constexpr std::array<TagFieldNames, kTagFieldCount> kTagFieldNames = {{
    {TagField::Title, "TIT2", "TITLE", "Title"},
    {TagField::Artist, "TPE1", "ARTIST", "Author"},
    {TagField::Album, "TALB", "ALBUM", "WM/AlbumTitle"},
    {TagField::AlbumArtist, "TPE2", "ALBUMARTIST", "WM/AlbumArtist"},
    {TagField::Year, "TDRC", "DATE", "WM/Year"},
    {TagField::TrackNumber, "TRCK", "TRACKNUMBER", "WM/TrackNumber"},
    {TagField::TrackTotal, "TRCK", "TRACKTOTAL", nullptr},
    {TagField::DiscNumber, "TPOS", "DISCNUMBER", "WM/PartOfSet"},
    {TagField::DiscTotal, "TPOS", "DISCTOTAL", nullptr},
    {TagField::Genre, "TCON", "GENRE", "WM/Genre"},
    {TagField::Comment, "COMM", "COMMENT", "Description"},
    {TagField::Isrc, "TSRC", "ISRC", "WM/ISRC"},
    {TagField::CddbDiscId, "TXXX:CDDB DiscID", "CDDB_DISCID", nullptr},
    {TagField::MusicBrainzReleaseId, "TXXX:MusicBrainz Album Id", "MUSICBRAINZ_ALBUMID",
     "MusicBrainz/Album Id"},
    {TagField::MusicBrainzRecordingId, "UFID:http://musicbrainz.org", "MUSICBRAINZ_TRACKID",
     "MusicBrainz/Track Id"},
    {TagField::MusicBrainzDiscId, "TXXX:MusicBrainz Disc Id", "MUSICBRAINZ_DISCID",
     "MusicBrainz/Disc Id"},
}};

constexpr bool TableInFieldOrder() {
    for (std::size_t i = 0; i < kTagFieldCount; ++i)
        if (static_cast<std::size_t>(kTagFieldNames[i].field) != i) return false;
    return true;
}
static_assert(TableInFieldOrder(), "kTagFieldNames has one row per field, in enum order");

// The names of field.
constexpr const TagFieldNames& NamesOf(TagField field) {
    return kTagFieldNames[static_cast<std::size_t>(field)];
}

// The texts of one file's tag; an empty text is a field not known.
class TrackTags {
public:
    const std::string& Get(TagField field) const { return values_[Index(field)]; }
    void Set(TagField field, std::string value) { values_[Index(field)] = std::move(value); }
    bool Has(TagField field) const { return !Get(field).empty(); }
    bool Empty() const {
        for (const std::string& v : values_)
            if (!v.empty()) return false;
        return true;
    }
    // "n/N" for a number and its total sharing one text (ID3v2's TRCK and TPOS); "n" without a
    // total; empty without a number.
    static std::string NumberWithTotal(const std::string& number, const std::string& total) {
        if (number.empty()) return {};
        return total.empty() ? number : number + "/" + total;
    }

private:
    static std::size_t Index(TagField field) {
        std::size_t i = static_cast<std::size_t>(field);
        return i < kTagFieldCount ? i : 0;
    }
    std::array<std::string, kTagFieldCount> values_{};
};

}  // namespace orvane::tags
