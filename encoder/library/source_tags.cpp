#include "encoder/library/source_tags.h"
#include "encoder/tags/cover_image.h"

#include <dirent.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/rifffile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

namespace orvane::library {

namespace {

using tags::TagField;

std::string First(const TagLib::PropertyMap& map, const char* key) {
    auto it = map.find(key);
    if (it == map.end() || it->second.isEmpty()) return {};
    return it->second.front().to8Bit(true);
}

// "3/12" into its number and total; a bare number leaves the total alone.
void SplitNumber(const std::string& text, tags::TrackTags& t, TagField number, TagField total) {
    const std::size_t slash = text.find('/');
    std::string n = text.substr(0, slash);
    if (!n.empty() && std::atoi(n.c_str()) > 0) t.Set(number, std::to_string(std::atoi(n.c_str())));
    if (slash != std::string::npos) {
        std::string m = text.substr(slash + 1);
        if (!m.empty() && std::atoi(m.c_str()) > 0)
            t.Set(total, std::to_string(std::atoi(m.c_str())));
    }
}

std::string FromId3v2(TagLib::ID3v2::Tag* tag) {
    if (!tag) return {};
    std::string any;
    for (TagLib::ID3v2::Frame* f : tag->frameListMap()["APIC"]) {
        auto* pic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(f);
        if (!pic) continue;
        std::string bytes(pic->picture().data(), pic->picture().size());
        if (pic->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) return bytes;
        if (any.empty()) any = bytes;
    }
    return any;
}

std::string FromXiph(TagLib::Ogg::XiphComment* tag) {
    if (!tag) return {};
    std::string any;
    for (TagLib::FLAC::Picture* pic : tag->pictureList()) {
        std::string bytes(pic->data().data(), pic->data().size());
        if (pic->type() == TagLib::FLAC::Picture::FrontCover) return bytes;
        if (any.empty()) any = bytes;
    }
    return any;
}

// The image bytes of the source's front picture (else its first picture); empty for none.
std::string PictureBytes(TagLib::File* file) {
    if (auto* f = dynamic_cast<TagLib::FLAC::File*>(file)) {
        std::string any;
        for (TagLib::FLAC::Picture* pic : f->pictureList()) {
            std::string bytes(pic->data().data(), pic->data().size());
            if (pic->type() == TagLib::FLAC::Picture::FrontCover) return bytes;
            if (any.empty()) any = bytes;
        }
        if (!any.empty()) return any;
        return f->hasID3v2Tag() ? FromId3v2(f->ID3v2Tag()) : std::string();
    }
    if (auto* f = dynamic_cast<TagLib::MPEG::File*>(file))
        return f->hasID3v2Tag() ? FromId3v2(f->ID3v2Tag()) : std::string();
    if (auto* f = dynamic_cast<TagLib::RIFF::WAV::File*>(file))
        return f->hasID3v2Tag() ? FromId3v2(f->ID3v2Tag()) : std::string();
    if (auto* f = dynamic_cast<TagLib::RIFF::AIFF::File*>(file))
        return f->hasID3v2Tag() ? FromId3v2(f->tag()) : std::string();
    if (auto* f = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) return FromXiph(f->tag());
    if (auto* f = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) return FromXiph(f->tag());
    if (auto* f = dynamic_cast<TagLib::MP4::File*>(file)) {
        TagLib::MP4::Tag* tag = f->tag();
        if (!tag || !tag->contains("covr")) return {};
        TagLib::MP4::CoverArtList covers = tag->item("covr").toCoverArtList();
        if (covers.isEmpty()) return {};
        return std::string(covers.front().data().data(), covers.front().data().size());
    }
    if (auto* f = dynamic_cast<TagLib::ASF::File*>(file)) {
        TagLib::ASF::Tag* tag = f->tag();
        if (!tag || !tag->contains("WM/Picture")) return {};
        std::string any;
        for (const TagLib::ASF::Attribute& a : tag->attribute("WM/Picture")) {
            TagLib::ASF::Picture pic = a.toPicture();
            if (!pic.isValid()) continue;
            std::string bytes(pic.picture().data(), pic.picture().size());
            if (pic.type() == TagLib::ASF::Picture::FrontCover) return bytes;
            if (any.empty()) any = bytes;
        }
        return any;
    }
    TagLib::APE::Tag* ape = nullptr;
    if (auto* f = dynamic_cast<TagLib::APE::File*>(file)) ape = f->APETag();
    if (auto* f = dynamic_cast<TagLib::WavPack::File*>(file)) ape = f->APETag();
    if (ape) {
        const TagLib::APE::ItemListMap& items = ape->itemListMap();
        auto it = items.find("COVER ART (FRONT)");
        if (it == items.end()) return {};
        // A file name, a NUL, then the image.
        TagLib::ByteVector value = it->second.binaryData();
        const int nul = value.find('\0');
        if (nul < 0) return {};
        return std::string(value.data() + nul + 1, value.size() - static_cast<unsigned>(nul) - 1);
    }
    return {};
}

}  // namespace

std::shared_ptr<const tags::Picture> PictureOf(const std::string& bytes) {
    auto picture = std::make_shared<tags::Picture>();
    std::string why;
    if (!tags::AcceptImage(bytes, *picture, why)) return nullptr;
    return picture;
}

std::shared_ptr<const tags::Picture> FolderPictures::Of(const std::string& folder) {
    std::lock_guard lock(mutex_);
    if (auto it = seen_.find(folder); it != seen_.end()) return it->second;
    std::shared_ptr<const tags::Picture>& found = seen_[folder];
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const char* stem : {"cover", "folder", "front"})
        for (const std::string& name : names) {
            const std::string l = lower(name);
            const std::size_t dot = l.rfind('.');
            if (dot == std::string::npos || l.substr(0, dot) != stem) continue;
            const std::string ext = l.substr(dot + 1);
            if (ext != "jpg" && ext != "jpeg" && ext != "png") continue;
            auto picture = std::make_shared<tags::Picture>();
            std::string why;
            if (tags::ReadImageFile(folder + "/" + name, *picture, why)) return found = picture;
        }
    return found;
}

tags::TrackTags ReadSourceTags(const std::string& path) {
    tags::TrackTags t;
    TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull() || !ref.file()) return t;
    const TagLib::PropertyMap map = ref.file()->properties();
    static const std::pair<TagField, const char*> kPlain[] = {
        {TagField::Title, "TITLE"},
        {TagField::Artist, "ARTIST"},
        {TagField::Album, "ALBUM"},
        {TagField::AlbumArtist, "ALBUMARTIST"},
        {TagField::Year, "DATE"},
        {TagField::Genre, "GENRE"},
        {TagField::Comment, "COMMENT"},
        {TagField::Composer, "COMPOSER"},
        {TagField::Isrc, "ISRC"},
        {TagField::MusicBrainzReleaseId, "MUSICBRAINZ_ALBUMID"},
        {TagField::MusicBrainzRecordingId, "MUSICBRAINZ_TRACKID"},
        {TagField::MusicBrainzDiscId, "MUSICBRAINZ_DISCID"},
    };
    for (const auto& [field, key] : kPlain)
        t.Set(field, First(map, key));
    SplitNumber(First(map, "TRACKNUMBER"), t, TagField::TrackNumber, TagField::TrackTotal);
    SplitNumber(First(map, "DISCNUMBER"), t, TagField::DiscNumber, TagField::DiscTotal);
    for (const char* key : {"TRACKTOTAL", "TOTALTRACKS"})
        if (!t.Has(TagField::TrackTotal))
            SplitNumber(First(map, key), t, TagField::TrackTotal, TagField::TrackTotal);
    for (const char* key : {"DISCTOTAL", "TOTALDISCS"})
        if (!t.Has(TagField::DiscTotal))
            SplitNumber(First(map, key), t, TagField::DiscTotal, TagField::DiscTotal);
    const std::string bytes = PictureBytes(ref.file());
    if (!bytes.empty()) t.SetFrontPicture(PictureOf(bytes));
    return t;
}

}  // namespace orvane::library
