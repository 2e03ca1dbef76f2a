#include "encoder/formats/vorbis_tags.h"

namespace orvane::formats {

VorbisComments CommentsOfTag(const encoder::Id3Tag& tag, int trackNumber,
                             const encoder::GenreList& genres) {
    VorbisComments out;
    auto add = [&](const char* name, const std::string& value) {
        if (!value.empty()) out.emplace_back(name, value);
    };
    add("TITLE", tag.Title());
    add("ARTIST", tag.Artist());
    add("ALBUM", tag.Album());
    add("DATE", tag.Year());
    const int genre = tag.Genre();
    // 255 is the record's "no genre"; a tag without its marker was never filled in.
    if (tag.Bytes()[0] == 'T' && genre < static_cast<int>(genres.size()) && genre != 255)
        add("GENRE", genres[static_cast<std::size_t>(genre)]);
    add("COMMENT", tag.Comment());
    if (trackNumber > 0) add("TRACKNUMBER", std::to_string(trackNumber));
    return out;
}

}  // namespace orvane::formats
