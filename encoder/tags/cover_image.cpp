#include "encoder/tags/cover_image.h"

#include <cstdint>
#include <string_view>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include "platform/fs/fs.h"

namespace orvane::tags {

namespace {

struct Shape {
    int width = 0, height = 0, depth = 0;
};

unsigned Byte(std::string_view b, std::size_t at) { return static_cast<unsigned char>(b[at]); }
unsigned Be16(std::string_view b, std::size_t at) { return Byte(b, at) << 8 | Byte(b, at + 1); }
std::uint32_t Be32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(Be16(b, at)) << 16 | Be16(b, at + 2);
}

bool IsJpeg(std::string_view b) {
    return b.size() >= 3 && Byte(b, 0) == 0xFF && Byte(b, 1) == 0xD8;
}
bool IsPng(std::string_view b) {
    return b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8);
}

// Walks the marker segments and the entropy-coded data up to the end-of-image marker: a file cut
// short has none, though a decoder fills the missing rows with grey and calls it read.
std::string WalkJpeg(std::string_view b, Shape& shape) {
    bool frame = false;
    std::size_t at = 2;
    for (;;) {
        if (at >= b.size()) return "the JPEG image is cut short";
        if (Byte(b, at) != 0xFF) return "the JPEG image is damaged (a marker is missing)";
        while (at < b.size() && Byte(b, at) == 0xFF)
            ++at;
        if (at >= b.size()) return "the JPEG image is cut short";
        const unsigned marker = Byte(b, at++);
        if (marker == 0xD9) return frame ? std::string() : "the JPEG image holds no picture";
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (at + 2 > b.size()) return "the JPEG image is cut short";
        const std::size_t length = Be16(b, at);
        if (length < 2 || at + length > b.size()) return "the JPEG image is cut short";
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (length < 8) return "the JPEG image is damaged (a short frame header)";
            shape.height = static_cast<int>(Be16(b, at + 3));
            shape.width = static_cast<int>(Be16(b, at + 5));
            shape.depth = static_cast<int>(Byte(b, at + 2) * Byte(b, at + 7));
            frame = true;
        }
        at += length;
        if (marker != 0xDA) continue;
        if (!frame) return "the JPEG image is damaged (a scan before its frame)";
        // The scan's data ends at the first marker that is neither a stuffed zero nor a restart.
        for (;;) {
            const std::size_t ff = b.find('\xFF', at);
            if (ff == std::string_view::npos || ff + 1 >= b.size())
                return "the JPEG image is cut short";
            const unsigned next = Byte(b, ff + 1);
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                at = ff + 2;
                continue;
            }
            at = ff;
            break;
        }
    }
}

// Walks the chunks up to IEND.
std::string WalkPng(std::string_view b, Shape& shape) {
    std::size_t at = 8;
    bool header = false;
    for (;;) {
        if (at + 12 > b.size()) return "the PNG image is cut short";
        const std::uint32_t length = Be32(b, at);
        const std::string_view type = b.substr(at + 4, 4);
        if (length > b.size() - at - 12) return "the PNG image is cut short";
        if (!header) {
            if (type != "IHDR" || length < 13) return "the PNG image is damaged (no header)";
            const std::size_t d = at + 8;
            shape.width = static_cast<int>(Be32(b, d) & 0x7FFFFFFF);
            shape.height = static_cast<int>(Be32(b, d + 4) & 0x7FFFFFFF);
            const unsigned bits = Byte(b, d + 8), colour = Byte(b, d + 9);
            const unsigned channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
            shape.depth = static_cast<int>(bits * channels);
            header = true;
        }
        at += 12 + length;
        if (type == "IEND") return {};
    }
}

}  // namespace

bool AcceptImage(std::string bytes, Picture& picture, std::string& why) {
    if (bytes.empty()) {
        why = "the image is empty";
        return false;
    }
    if (bytes.size() > kMaxImageBytes) {
        why = "the image is larger than 16 MiB";
        return false;
    }
    const bool jpeg = IsJpeg(bytes);
    if (!jpeg && !IsPng(bytes)) {
        const std::string_view start(bytes.data(), std::min<std::size_t>(bytes.size(), 16));
        const bool text = start.find_first_of(std::string_view("\0\x80", 2)) == std::string::npos &&
                          (start.find('<') != std::string::npos);
        why = text ? "not a JPEG or PNG image (it is a web page or other text)"
                   : "not a JPEG or PNG image";
        return false;
    }
    Shape shape;
    why = jpeg ? WalkJpeg(bytes, shape) : WalkPng(bytes, shape);
    if (!why.empty()) return false;
    if (shape.width <= 0 || shape.height <= 0) {
        why = "the image has no size";
        return false;
    }
    if (shape.width > kMaxImageSide || shape.height > kMaxImageSide) {
        why = "the image is " + std::to_string(shape.width) + " x " + std::to_string(shape.height) +
              " pixels, more than 10000 x 10000";
        return false;
    }
    {
        QByteArray data =
            QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, jpeg ? "jpeg" : "png");
        reader.setAutoTransform(false);
        // 10000 x 10000 at four bytes a pixel; raised once, before any reader of this room runs.
        static const bool raised = [] {
            if (QImageReader::allocationLimit() < 400) QImageReader::setAllocationLimit(400);
            return true;
        }();
        (void)raised;
        const QImage image = reader.read();
        if (image.isNull()) {
            why = std::string(jpeg ? "the JPEG" : "the PNG") +
                  " image does not decode: " + reader.errorString().toStdString();
            return false;
        }
    }
    picture.mime = jpeg ? "image/jpeg" : "image/png";
    picture.width = shape.width;
    picture.height = shape.height;
    picture.depth = shape.depth;
    picture.bytes.assign(bytes.begin(), bytes.end());
    why.clear();
    return true;
}

bool ReadImageFile(const std::string& path, Picture& picture, std::string& why) {
    std::string bytes;
    const fs::Status status = fs::ReadFile(path, kMaxImageBytes, bytes);
    if (!status.ok()) {
        why = path + ": " + status.message;
        return false;
    }
    if (AcceptImage(std::move(bytes), picture, why)) return true;
    why = path + ": " + why;
    return false;
}

std::string CoverFileName(const Picture& picture) {
    return picture.mime == "image/png" ? "cover.png" : "cover.jpg";
}

}  // namespace orvane::tags
