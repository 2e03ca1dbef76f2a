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

namespace {

void PutBe32(std::string& out, std::size_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

std::string FlacPictureStructure(const tags::Picture& picture) {
    std::string out;
    out.reserve(32 + picture.mime.size() + picture.description.size() + picture.bytes.size());
    PutBe32(out, 3);  // front cover
    PutBe32(out, picture.mime.size());
    out += picture.mime;
    PutBe32(out, picture.description.size());
    out += picture.description;
    PutBe32(out, static_cast<std::size_t>(picture.width));
    PutBe32(out, static_cast<std::size_t>(picture.height));
    PutBe32(out, static_cast<std::size_t>(picture.depth));
    PutBe32(out, 0);  // colours of an indexed image: not told
    PutBe32(out, picture.bytes.size());
    out.append(reinterpret_cast<const char*>(picture.bytes.data()), picture.bytes.size());
    return out;
}

std::string MetadataBlockPicture(const tags::Picture& picture) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::string in = FlacPictureStructure(picture);
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(in[i]) << 16 |
                           static_cast<unsigned char>(in[i + 1]) << 8 |
                           static_cast<unsigned char>(in[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < in.size()) {
        const bool two = i + 1 < in.size();
        const unsigned v = static_cast<unsigned char>(in[i]) << 16 |
                           (two ? static_cast<unsigned char>(in[i + 1]) << 8 : 0u);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += two ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
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
