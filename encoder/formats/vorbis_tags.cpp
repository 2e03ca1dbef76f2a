#include "encoder/formats/vorbis_tags.h"

#include "encoder/tags/id3v2.h"

namespace orvane::formats {

VorbisComments CommentsOfTag(const tags::TrackTags& fields) {
    VorbisComments out;
    for (const tags::TagFieldNames& names : tags::kTagFieldNames)
        if (names.vorbis && fields.Has(names.field))
            out.emplace_back(names.vorbis, fields.Get(names.field));
    return out;
}

tags::TrackTags FieldsOfItem(const tags::TrackTags& full, const encoder::Id3Tag& record,
                             int trackNumber) {
    tags::TrackTags fields = encoder::WithId3v1Fallback(full, record);
    if (!fields.Has(tags::TagField::TrackNumber) && trackNumber > 0)
        fields.Set(tags::TagField::TrackNumber, std::to_string(trackNumber));
    return fields;
}

}  // namespace orvane::formats
