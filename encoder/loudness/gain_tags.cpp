#include "encoder/loudness/gain_tags.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <taglib/asffile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include "platform/fs/fs.h"

namespace orvane::loudness {

namespace {

TagLib::String Utf8(const std::string& text) { return TagLib::String(text, TagLib::String::UTF8); }

bool TagMp3(const std::string& path, const GainTags& tags) {
    TagLib::MPEG::File file(path.c_str(), false);
    // The library takes any file for an MPEG one; only one with an audio frame is.
    if (!file.isValid() || file.firstFrameOffset() < 0) return false;
    TagLib::ID3v2::Tag* id3 = file.ID3v2Tag(true);
    for (const auto& [name, value] : tags) {
        while (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(id3, Utf8(name)))
            id3->removeFrame(old);
        id3->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
            Utf8(name), TagLib::StringList(Utf8(value)), TagLib::String::UTF8));
    }
    // Only the ID3v2 tag is written; a version 1 record at the end stays as it is.
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                     TagLib::File::DoNotDuplicate);
}

bool TagWma(const std::string& path, const GainTags& tags) {
    TagLib::ASF::File file(path.c_str(), false);
    if (!file.isValid() || !file.tag()) return false;
    for (const auto& [name, value] : tags)
        file.tag()->setAttribute(Utf8(name), TagLib::ASF::Attribute(Utf8(value)));
    return file.save();
}

}  // namespace

bool WriteGainTags(const std::string& path, GainContainer container, const GainTags& tags,
                   std::string& error) {
    fs::Status status;
    const int in = fs::OpenForReading(path, status);
    if (in < 0) {
        error = status.message;
        return false;
    }
    fs::AtomicFile out;
    status = out.Open(path);
    if (status.ok()) status = out.CopyFrom(in, path);
    ::close(in);
    if (!status.ok()) {
        error = status.message;
        return false;
    }
    // The copy is tagged under its temporary name and takes the file's name only once whole.
    const bool tagged = container == GainContainer::Mp3 ? TagMp3(out.tempPath(), tags)
                                                        : TagWma(out.tempPath(), tags);
    if (!tagged) {
        out.Discard();
        error = "Cannot write the loudness values into " + path;
        return false;
    }
    if (status = out.Commit(); !status.ok()) {
        error = status.message;
        return false;
    }
    return true;
}

}  // namespace orvane::loudness
