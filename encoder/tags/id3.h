#pragma once
// ID3 version 1 tags: the 128-byte record appended to an MP3 file, the table of one record per
// CD track, and the genre list.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::encoder {

// The genre byte of a record whose genre is not known (no code of the genre list).
constexpr int kNoGenre = 255;

// The 128-byte ID3 version 1 record. Texts are stored in Windows-1252; the setters take and
// the getters give UTF-8. A text is copied with its terminating NUL; bytes after the NUL are
// left as they were, so a record filled again keeps the tail of a longer earlier text.
class Id3Tag {
public:
    static constexpr int kSize = 128;
    static constexpr int kTitle = 3, kArtist = 33, kAlbum = 63, kYear = 93, kComment = 97,
                         kGenre = 127;
    static constexpr int kTextField = 30;

    Id3Tag() { bytes_.fill(0); }

    void SetMarker();  // "TAG" at offset 0
    // A record that was never filled (a zero-filled table entry) has no marker: it is no tag.
    bool HasMarker() const;
    void SetTitle(const std::string& utf8) { SetText(kTitle, utf8); }
    void SetArtist(const std::string& utf8) { SetText(kArtist, utf8); }
    void SetAlbum(const std::string& utf8) { SetText(kAlbum, utf8); }
    void SetComment(const std::string& utf8) { SetText(kComment, utf8); }
    // Up to 4 characters; a shorter year ends with a NUL inside its field, a full one has none
    // and leaves the comment untouched.
    void SetYear(const std::string& utf8);
    void SetGenre(int code) { bytes_[kGenre] = static_cast<std::uint8_t>(code); }

    std::string Title() const { return Text(kTitle, kTextField); }
    std::string Artist() const { return Text(kArtist, kTextField); }
    std::string Album() const { return Text(kAlbum, kTextField); }
    std::string Comment() const { return Text(kComment, kTextField); }
    std::string Year() const { return Text(kYear, 4); }
    int Genre() const { return bytes_[kGenre]; }

    const std::array<std::uint8_t, kSize>& Bytes() const { return bytes_; }
    std::array<std::uint8_t, kSize>& Bytes() { return bytes_; }

private:
    // Copies at most 29 bytes and the NUL, so a text never runs into the next field.
    void SetText(int offset, const std::string& utf8);
    std::string Text(int offset, int limit) const;

    std::array<std::uint8_t, kSize> bytes_;
};

// One record per CD track, entry n for track n (1..99); the single-file tag is entry 1.
// Zero-filled at start, it lives as long as the application object.
class TagTable {
public:
    static constexpr int kEntries = 100;
    // Out-of-range numbers address a scratch record, never memory outside the table.
    Id3Tag& operator[](int track);
    const Id3Tag& operator[](int track) const;

private:
    std::array<Id3Tag, kEntries> records_{};
    Id3Tag scratch_{};
};

// The 144 genre names; a name's position is its code.
using GenreList = std::vector<std::string>;
void FillGenreList(GenreList& list);
// The code of a genre name (compared without regard to case); kNoGenre for a name the list
// does not hold, or none.
int GenreCodeOf(const std::string& name);

// Appends the 128 bytes of record to the end of the existing file at path; false when it
// does not exist or cannot be written. A record without its marker is no tag: nothing is
// written and the file stays as it is.
bool AppendTag(const std::string& path, const Id3Tag& record);

}  // namespace orvane::encoder
