#include "encoder/loudness/gain_tags.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <taglib/asffile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>

#include "platform/fs/fs.h"

namespace orvane::loudness {

namespace {

TagLib::String Utf8(const std::string& text) { return TagLib::String(text, TagLib::String::UTF8); }

// An ID3v2 tag larger than this is not one of ours and not read.
constexpr std::size_t kMaxTagBytes = 16u << 20;

// Whether the four bytes begin an MPEG audio frame: the sync, a version, a layer, a bit rate and
// a sample rate that exist. Every layer counts (the library the tag is read with takes a Layer 1
// frame without CRC, whose second byte is FFh, for none).
bool IsFrameHeader(const unsigned char* b) {
    return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && ((b[1] >> 3) & 3) != 1 &&
           ((b[1] >> 1) & 3) != 0 && (b[2] >> 4) != 15 && ((b[2] >> 2) & 3) != 3;
}

bool ReadAt(int fd, void* data, std::size_t bytes, off_t at) {
    auto* p = static_cast<char*>(data);
    while (bytes > 0) {
        const ssize_t got = ::pread(fd, p, bytes, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got, at += got, bytes -= static_cast<std::size_t>(got);
    }
    return true;
}

// The ID3v2 tag at the start of the MP3 file (header, frames, padding and footer; empty when
// there is none) and where its audio starts. False when no audio frame starts there.
bool ReadMp3Head(int fd, TagLib::ByteVector& tag, off_t& audioStart) {
    unsigned char h[10];
    audioStart = 0;
    tag.clear();
    if (!ReadAt(fd, h, sizeof h, 0)) return false;
    if (std::memcmp(h, "ID3", 3) == 0 && h[3] < 0xFF && h[4] < 0xFF &&
        (h[6] | h[7] | h[8] | h[9]) < 0x80) {
        std::size_t size =
            (std::size_t{h[6]} << 21) | (std::size_t{h[7]} << 14) | (std::size_t{h[8]} << 7) | h[9];
        size += 10 + ((h[5] & 0x10) ? 10 : 0);
        if (size > kMaxTagBytes) return false;
        tag.resize(static_cast<unsigned int>(size));
        if (!ReadAt(fd, tag.data(), size, 0)) return false;
        audioStart = static_cast<off_t>(size);
        if (!ReadAt(fd, h, 4, audioStart)) return false;
    }
    return IsFrameHeader(h);
}

// The file's tag (or a new one) with the values replacing those of their names, rendered as
// version 2.4. Only the tag's own bytes are given to the library, which thus never searches
// the audio for a tag.
TagLib::ByteVector RenderWithGains(const TagLib::ByteVector& old, const GainTags& tags) {
    TagLib::ByteVectorStream stream(old);
    TagLib::MPEG::File holder(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    TagLib::ID3v2::Tag* id3 = holder.ID3v2Tag(true);
    for (const auto& [name, value] : tags) {
        while (auto* frame = TagLib::ID3v2::UserTextIdentificationFrame::find(id3, Utf8(name)))
            id3->removeFrame(frame);
        id3->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
            Utf8(name), TagLib::StringList(Utf8(value)), TagLib::String::UTF8));
    }
    return id3->render(TagLib::ID3v2::v4);
}

// The MP3 file at path anew into out: the tag with the values, then everything after the old
// tag as it was (the audio, a version 1 record at the end).
bool TagMp3(const std::string& path, int in, fs::AtomicFile& out, const GainTags& tags,
            std::string& error) {
    TagLib::ByteVector old;
    off_t audioStart = 0;
    if (!ReadMp3Head(in, old, audioStart)) {
        error = "Cannot write the loudness values into " + path;
        return false;
    }
    const TagLib::ByteVector tag = RenderWithGains(old, tags);
    fs::Status status = out.Open(path);
    if (status.ok()) status = out.Write(tag.data(), tag.size());
    if (status.ok() && ::lseek(in, audioStart, SEEK_SET) != audioStart) {
        const int code = errno;
        status = {fs::Status::Kind::Failed, code,
                  "Cannot read " + path + ": " + std::strerror(code)};
    }
    if (status.ok()) status = out.CopyFrom(in, path);
    if (!status.ok()) {
        error = status.message;
        return false;
    }
    return true;
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
    bool written = false;
    if (container == GainContainer::Mp3) {
        written = TagMp3(path, in, out, tags, error);
    } else {
        // The copy is tagged under its temporary name and takes the file's name only once whole.
        status = out.Open(path);
        if (status.ok()) status = out.CopyFrom(in, path);
        written = status.ok();
        if (!written) error = status.message;
        if (written && !TagWma(out.tempPath(), tags)) {
            written = false;
            error = "Cannot write the loudness values into " + path;
        }
    }
    ::close(in);
    if (!written) {
        out.Discard();
        return false;
    }
    if (status = out.Commit(); !status.ok()) {
        error = status.message;
        return false;
    }
    return true;
}

}  // namespace orvane::loudness
