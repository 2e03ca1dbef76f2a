#pragma once
// Small images for the cover-art tests, made by Qt's writers: a JPEG and a PNG of a given size
// with a pattern, so their bytes are those of real encoders.

#include <string>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

namespace orvane::test {

inline std::string TestImage(int width, int height, const char* format) {
    QImage image(width, height, format[0] == 'p' ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor((x * 7) % 256, (y * 5) % 256, (x + y) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

inline std::string TestJpeg(int width = 40, int height = 30) {
    return TestImage(width, height, "jpeg");
}
inline std::string TestPng(int width = 20, int height = 10) {
    return TestImage(width, height, "png");
}

}  // namespace orvane::test
