#include "encoder/tags/id3.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/cp1252.h"

namespace orvane::encoder {

void Id3Tag::SetMarker() { std::memcpy(bytes_.data(), "TAG", 3); }

bool Id3Tag::HasMarker() const { return std::memcmp(bytes_.data(), "TAG", 3) == 0; }

void Id3Tag::SetText(int offset, const std::string& utf8) {
    std::string bytes = cp1252::FromUtf8(utf8);
    std::size_t n = std::min<std::size_t>(bytes.size(), kTextField - 1);
    n = std::min(n, std::strlen(bytes.c_str()));  // a text ends at its first NUL
    std::memcpy(bytes_.data() + offset, bytes.data(), n);
    bytes_[static_cast<std::size_t>(offset) + n] = 0;
}

void Id3Tag::SetYear(const std::string& utf8) {
    std::string bytes = cp1252::FromUtf8(utf8);
    std::size_t n = std::min<std::size_t>(std::strlen(bytes.c_str()), 4);
    std::memcpy(bytes_.data() + kYear, bytes.data(), n);
    if (n < 4) bytes_[kYear + n] = 0;
}

std::string Id3Tag::Text(int offset, int limit) const {
    std::string bytes;
    for (int i = 0; i < limit && bytes_[static_cast<std::size_t>(offset + i)] != 0; ++i)
        bytes += static_cast<char>(bytes_[static_cast<std::size_t>(offset + i)]);
    return cp1252::ToUtf8(bytes);
}

Id3Tag& TagTable::operator[](int track) {
    if (track < 0 || track >= kEntries) return scratch_;
    return records_[static_cast<std::size_t>(track)];
}

const Id3Tag& TagTable::operator[](int track) const {
    if (track < 0 || track >= kEntries) return scratch_;
    return records_[static_cast<std::size_t>(track)];
}

void FillGenreList(GenreList& list) {
    static const char* const kNames[] = {
        "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
        "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
        "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
        "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical",
        "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
        "Alternative Rock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
        "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic",
        "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
        "Christian Rap", "Pop/Funk", "Jungle", "Native US", "Cabaret", "New Wave", "Psychadelic",
        "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka",
        "Retro", "Musical", "Rock & Roll", "Hard Rock",
        // Extension codes from 80 on.
        "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
        "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
        "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech",
        "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
        "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
        "Power Ballad", "Rhytmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "Acapella",
        "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror",
        "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap",
        "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock",
        "Merengue", "Salsa", "Trash Metal"};
    for (const char* name : kNames)
        list.emplace_back(name);
}

int GenreCodeOf(const std::string& name) {
    static const GenreList kGenres = [] {
        GenreList list;
        FillGenreList(list);
        return list;
    }();
    for (std::size_t i = 0; i < kGenres.size(); ++i)
        if (!name.empty() && ::strcasecmp(kGenres[i].c_str(), name.c_str()) == 0)
            return static_cast<int>(i);
    return kNoGenre;
}

bool AppendTag(const std::string& path, const Id3Tag& record) {
    // Only an existing output gets a tag: a failed encode leaves no file of 128 bytes behind.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    if (!record.HasMarker()) return ::close(fd) == 0;
    bool ok = ::write(fd, record.Bytes().data(), Id3Tag::kSize) == Id3Tag::kSize;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

}  // namespace orvane::encoder
