#include "encoder/tags/id3v2.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>

#include "platform/fs/fs.h"

namespace orvane::encoder {

namespace {

using tags::TagField;

TagLib::String Utf8(const std::string& text) { return TagLib::String(text, TagLib::String::UTF8); }

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The text a field's frame carries: a number shares its frame with its total.
std::string FrameText(const tags::TrackTags& fields, TagField field) {
    switch (field) {
        case TagField::TrackTotal:
        case TagField::DiscTotal:
            return {};  // written with the number
        case TagField::TrackNumber:
            return tags::TrackTags::NumberWithTotal(fields.Get(TagField::TrackNumber),
                                                    fields.Get(TagField::TrackTotal));
        case TagField::DiscNumber:
            return tags::TrackTags::NumberWithTotal(fields.Get(TagField::DiscNumber),
                                                    fields.Get(TagField::DiscTotal));
        default:
            return fields.Get(field);
    }
}

}  // namespace

std::string RenderId3v2(const tags::TrackTags& fields) {
    TagLib::ID3v2::Tag tag;
    bool any = false;
    for (const tags::TagFieldNames& names : tags::kTagFieldNames) {
        if (!names.id3v2) continue;
        const std::string text = FrameText(fields, names.field);
        if (text.empty()) continue;
        const std::string_view id = names.id3v2;
        if (StartsWith(id, "TXXX:")) {
            tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
                Utf8(std::string(id.substr(5))), TagLib::StringList(Utf8(text)),
                TagLib::String::UTF8));
        } else if (StartsWith(id, "UFID:")) {
            tag.addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame(
                Utf8(std::string(id.substr(5))),
                TagLib::ByteVector(text.data(), static_cast<unsigned>(text.size()))));
        } else if (id == "COMM") {
            auto* frame = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
            frame->setLanguage("eng");
            frame->setText(Utf8(text));
            tag.addFrame(frame);
        } else {
            auto* frame = new TagLib::ID3v2::TextIdentificationFrame(
                TagLib::ByteVector(id.data(), 4), TagLib::String::UTF8);
            frame->setText(Utf8(text));
            tag.addFrame(frame);
        }
        any = true;
    }
    if (const tags::Picture* picture = fields.FrontPicture()) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setTextEncoding(TagLib::String::UTF8);
        frame->setMimeType(Utf8(picture->mime));
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setDescription(Utf8(picture->description));
        frame->setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(picture->bytes.data()),
                                             static_cast<unsigned>(picture->bytes.size())));
        tag.addFrame(frame);
        any = true;
    }
    if (!any) return {};
    TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return std::string(bytes.data(), bytes.size());
}

bool PrependId3v2(const std::string& path, const tags::TrackTags& fields, std::string& error) {
    const std::string tag = RenderId3v2(fields);
    if (tag.empty()) return true;
    fs::Status status;
    int in = fs::OpenForReading(path, status);
    if (in < 0) {
        error = status.message;
        return false;
    }
    fs::AtomicFile out;
    status = out.Open(path);
    if (status.ok()) status = out.Write(tag.data(), tag.size());
    if (status.ok()) status = out.CopyFrom(in, path);
    ::close(in);
    if (status.ok()) status = out.Commit();
    if (!status.ok()) {
        error = status.message;
        return false;
    }
    return true;
}

tags::TrackTags WithId3v1Fallback(const tags::TrackTags& full, const Id3Tag& record) {
    tags::TrackTags t = full;
    // A record nobody filled knows nothing (its genre byte 0 is no genre).
    if (!record.HasMarker()) return t;
    auto fill = [&t](TagField field, const std::string& text) {
        if (!t.Has(field)) t.Set(field, text);
    };
    fill(TagField::Title, record.Title());
    fill(TagField::Artist, record.Artist());
    fill(TagField::Album, record.Album());
    fill(TagField::Year, record.Year());
    fill(TagField::Comment, record.Comment());
    static const GenreList kGenres = [] {
        GenreList list;
        FillGenreList(list);
        return list;
    }();
    if (record.Genre() < static_cast<int>(kGenres.size()))
        fill(TagField::Genre, kGenres[static_cast<std::size_t>(record.Genre())]);
    return t;
}

}  // namespace orvane::encoder
