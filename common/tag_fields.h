#pragma once
// The tag fields of one output file, as full UTF-8 texts, and the one table that says what each
// output format calls them. Every tag writer (ID3v2 frames, Vorbis comments, container
// attributes) walks kTagFieldNames, so a field added here reaches every format that names it.
// Plain C++ without dependencies: any writer can include it.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

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
    Composer,
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
    {TagField::Composer, "TCOM", "COMPOSER", "WM/Composer"},
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

// A front cover carried with a file's tag: the image file's bytes, unchanged, and what its
// content says it is. Only whole JPEG and PNG images are made into one (the cover-art room checks
// them); the writers take the bytes as they are.
struct Picture {
    std::string mime;  // "image/jpeg" or "image/png"
    std::vector<unsigned char> bytes;
    int width = 0;            // pixels
    int height = 0;           // pixels
    int depth = 0;            // bits per pixel
    std::string description;  // usually empty
};

// The texts of one file's tag; an empty text is a field not known. The front picture, when there
// is one, is shared: every track of an album points at the same bytes.
class TrackTags {
public:
    const std::string& Get(TagField field) const { return values_[Index(field)]; }
    void Set(TagField field, std::string value) { values_[Index(field)] = std::move(value); }
    bool Has(TagField field) const { return !Get(field).empty(); }
    // No text is known. A picture alone does not make a tag worth writing for the text writers;
    // the picture writers ask FrontPicture() themselves.
    bool Empty() const {
        for (const std::string& v : values_)
            if (!v.empty()) return false;
        return true;
    }
    // The front cover, or nullptr.
    const Picture* FrontPicture() const { return front_.get(); }
    void SetFrontPicture(std::shared_ptr<const Picture> picture) { front_ = std::move(picture); }
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
    std::shared_ptr<const Picture> front_;
};

}  // namespace orvane::tags
