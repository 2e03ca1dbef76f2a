#include "tools/artwork/artwork.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QTextStream>

#include "platform/fs/fs.h"

namespace orvane::artwork {
namespace {

bool WriteWhole(const QString& file, const QByteArray& bytes) {
    return orvane::fs::WriteFileAtomically(
               file.toStdString(),
               std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))
        .ok();
}

}  // namespace

std::vector<Picture> PictureSet(const std::string& name) {
    if (name == "plimo") return PlimoPictures();
    if (name == "tarvo") return TarvoPictures();
    return {};
}

QImage Render(const Picture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    if (picture.draw) picture.draw(image);
    return image;
}

bool WriteSet(const std::vector<Picture>& pictures, const std::string& folder,
              const std::string& qrcName, std::string& error) {
    const QDir root(QString::fromStdString(folder));
    if (!root.mkpath(".")) {
        error = "cannot create " + folder;
        return false;
    }
    QString list = "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const Picture& p : pictures) {
        const QString rel = QString::fromStdString(p.path);
        const QString file = root.filePath(rel);
        if (!QDir().mkpath(QFileInfo(file).path())) {
            error = "cannot create the folder of " + file.toStdString();
            return false;
        }
        // Written whole or not at all, so a failed run never leaves half a picture.
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !Render(p).save(&buffer, "PNG") ||
            !WriteWhole(file, png)) {
            error = "cannot write " + file.toStdString();
            return false;
        }
        list += QString("  <file>%1</file>\n").arg(rel);
    }
    list += "</qresource>\n</RCC>\n";
    const QString qrc = root.filePath(QString::fromStdString(qrcName) + ".qrc");
    if (!WriteWhole(qrc, list.toUtf8())) {
        error = "cannot write " + qrc.toStdString();
        return false;
    }
    return true;
}

bool WriteThemeIcons(const std::vector<Picture>& pictures, const std::string& folder,
                     const std::string& name, std::string& error) {
    const Picture* icon = nullptr;
    for (const Picture& p : pictures)
        if (p.path == "icons/128.png") icon = &p;
    if (!icon) {
        error = "the set has no program icon";
        return false;
    }
    for (int size : kThemeIconSizes) {
        Picture scaled = *icon;
        scaled.width = scaled.height = size;
        const QString dir =
            QDir(QString::fromStdString(folder)).filePath(QString("%1x%1/apps").arg(size));
        const QString file = dir + "/" + QString::fromStdString(name) + ".png";
        QByteArray png;
        QBuffer buffer(&png);
        if (!QDir().mkpath(dir) || !buffer.open(QIODevice::WriteOnly) ||
            !Render(scaled).save(&buffer, "PNG") || !WriteWhole(file, png)) {
            error = "cannot write " + file.toStdString();
            return false;
        }
    }
    return true;
}

namespace draw {

void DigitStrip(QImage& image, QRgb on, QRgb off, QRgb back) {
    const int cw = image.width() / 12;
    const int ch = image.height();
    image.fill(back);
    // Seven segments a-g: top, upper right, lower right, bottom, lower left, upper left, middle.
    static const unsigned char kSegments[12] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D,
                                                0x7D, 0x07, 0x7F, 0x6F, 0x00, 0x40};
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int cell = 0; cell < 12; ++cell) {
        const int x0 = cell * cw + 1, x1 = cell * cw + cw - 2;
        const int y0 = 1, ym = ch / 2, y1 = ch - 2;
        const QLine seg[7] = {{x0 + 1, y0, x1 - 1, y0}, {x1, y0 + 1, x1, ym - 1},
                              {x1, ym + 1, x1, y1 - 1}, {x0 + 1, y1, x1 - 1, y1},
                              {x0, ym + 1, x0, y1 - 1}, {x0, y0 + 1, x0, ym - 1},
                              {x0 + 1, ym, x1 - 1, ym}};
        for (int s = 0; s < 7; ++s) {
            const bool lit = kSegments[cell] & (1 << s);
            // The blank cell shows no unlit segments either, so blank positions vanish.
            if (!lit && cell == 10) continue;
            p.setPen(QColor::fromRgba(lit ? on : off));
            p.drawLine(seg[s]);
        }
    }
}

void Tile(QImage& image, QRgb base, QRgb line) {
    image.fill(base);
    QPainter p(&image);
    // Hard pixels: an antialiased line clipped at the tile's edge would leave a seam.
    p.setRenderHint(QPainter::Antialiasing, false);
    const int w = image.width(), h = image.height();
    const QColor c = QColor::fromRgba(line);
    // Diagonal lines at a pitch that divides the tile, so the pattern repeats without seams.
    p.setPen(QPen(c, 1));
    const int pitch = 24;
    for (int x = -h; x < w + h; x += pitch) {
        p.drawLine(x, 0, x + h, h);
    }
    QColor faint = c;
    faint.setAlpha(60);
    p.setPen(QPen(faint, 1));
    for (int x = 0; x < w + h; x += pitch) {
        p.drawLine(x, 0, x - h, h);
    }
}

}  // namespace draw

}  // namespace orvane::artwork
