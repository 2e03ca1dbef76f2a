// Plimo's pictures: the splash window and its outline, the shared control bitmaps, the frame
// counter digits, the status window's background tile, the program icon and the About picture.

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "tools/artwork/artwork.h"

namespace orvane::artwork {

namespace {

constexpr QRgb kKey = qRgb(255, 0, 255);  // transparent colour of the control bitmaps
const char* const kFont = "DejaVu Sans";

// The splash outline: a rounded body with a disc rising over its top edge.
QPainterPath SplashShape(int w, int h) {
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 62, w, h - 62), 26, 26);
    QPainterPath disc;
    disc.addEllipse(QPointF(w / 2.0, 78), 78, 78);
    return body.united(disc);
}

void Disc(QPainter& p, QPointF centre, double radius) {
    QRadialGradient g(centre, radius);
    g.setColorAt(0.0, QColor(235, 235, 245));
    g.setColorAt(0.45, QColor(170, 190, 220));
    g.setColorAt(0.7, QColor(220, 200, 240));
    g.setColorAt(1.0, QColor(140, 160, 200));
    p.setPen(QPen(QColor(60, 70, 110), 1.5));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.setBrush(Qt::NoBrush);
    for (double r = radius * 0.4; r < radius * 0.95; r += radius * 0.11) {
        p.drawEllipse(centre, r, r);
    }
    p.setPen(QPen(QColor(60, 70, 110), 1));
    p.setBrush(QColor(30, 40, 90));
    p.drawEllipse(centre, radius * 0.12, radius * 0.12);
}

void Wave(QPainter& p, QRectF box, QColor colour, double cycles) {
    QPainterPath path;
    for (int i = 0; i <= 200; ++i) {
        const double t = i / 200.0;
        const double env = std::sin(t * M_PI);
        const double y = box.center().y() - env * box.height() / 2 *
                                                std::sin(t * cycles * 2 * M_PI) *
                                                (0.6 + 0.4 * std::cos(t * 7));
        const QPointF pt(box.left() + t * box.width(), y);
        if (i == 0) {
            path.moveTo(pt);
        } else {
            path.lineTo(pt);
        }
    }
    p.setPen(QPen(colour, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Splash(QImage& image) {
    const int w = image.width(), h = image.height();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient back(0, 0, 0, h);
    back.setColorAt(0, QColor(20, 30, 120));
    back.setColorAt(1, QColor(0, 0, 40));
    p.fillPath(SplashShape(w, h), back);
    p.setPen(QPen(QColor(120, 150, 255), 2));
    p.drawPath(SplashShape(w, h));
    Disc(p, QPointF(w / 2.0, 78), 70);
    p.setPen(QColor(255, 255, 255));
    p.setFont(QFont(kFont, 20, QFont::Bold));
    p.drawText(QRectF(0, 160, w, 34), Qt::AlignCenter, "Orvane Encoder");
    p.setPen(QColor(255, 255, 128));
    p.setFont(QFont(kFont, 14, QFont::Bold));
    p.drawText(QRectF(0, 192, w, 24), Qt::AlignCenter, "2001");
    Wave(p, QRectF(24, 222, w - 48, 50), QColor(90, 200, 255), 9);
    p.setPen(QColor(200, 210, 255));
    p.setFont(QFont(kFont, 9));
    p.drawText(QRectF(0, 280, w, 20), Qt::AlignCenter,
               "WAV  \u2022  MP3  \u2022  WMA  \u2022  CD-Audio");
    p.setPen(QColor(150, 160, 210));
    p.setFont(QFont(kFont, 8));
    p.drawText(QRectF(0, 306, w, 18), Qt::AlignCenter, "Orvane Systems");
}

void SplashMask(QImage& image) {
    image.fill(qRgb(0, 0, 0));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillPath(SplashShape(image.width(), image.height()), QColor(255, 255, 255));
}

// A page with a waveform: the WAVE file source.
void WaveFile(QImage& image) {
    image.fill(kKey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(40, 40, 60));
    p.setBrush(QColor(250, 250, 250));
    p.drawPolygon(QPolygon({{6, 2}, {21, 2}, {27, 8}, {27, 29}, {6, 29}}));
    p.drawPolyline(QPolygon({{21, 2}, {21, 8}, {27, 8}}));
    p.setRenderHint(QPainter::Antialiasing, true);
    Wave(p, QRectF(8, 12, 17, 12), QColor(0, 0, 200), 3);
}

// A compact disc: the CD-Audio source.
void CdDisc(QImage& image) {
    image.fill(kKey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    Disc(p, QPointF(15.5, 15.5), 13.5);
}

// The "X" that marks the chosen source and target.
void Mark(QImage& image) {
    image.fill(kKey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(220, 0, 0), 3, Qt::SolidLine, Qt::SquareCap));
    p.drawLine(3, 3, image.width() - 4, image.height() - 4);
    p.drawLine(image.width() - 4, 3, 3, image.height() - 4);
}

void Icon(QImage& image) {
    const int s = image.width();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient g(0, 0, s, s);
    g.setColorAt(0, QColor(40, 60, 200));
    g.setColorAt(1, QColor(0, 0, 90));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, s - 2, s - 2), s / 6.0, s / 6.0);
    Disc(p, QPointF(s * 0.42, s * 0.42), s * 0.34);
    Wave(p, QRectF(s * 0.12, s * 0.70, s * 0.78, s * 0.22), QColor(255, 255, 128), 4);
}

void About(QImage& image) {
    const int w = image.width(), h = image.height();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient back(0, 0, w, 0);
    back.setColorAt(0, QColor(0, 0, 120));
    back.setColorAt(1, QColor(0, 0, 200));
    p.fillRect(image.rect(), back);
    Disc(p, QPointF(h / 2.0, h / 2.0), h * 0.38);
    p.setPen(QColor(255, 255, 255));
    p.setFont(QFont(kFont, 16, QFont::Bold));
    p.drawText(QRectF(h, 14, w - h - 8, 30), Qt::AlignLeft | Qt::AlignVCenter, "Orvane Encoder");
    p.setPen(QColor(255, 255, 128));
    p.setFont(QFont(kFont, 11, QFont::Bold));
    p.drawText(QRectF(h, 44, w - h - 8, 22), Qt::AlignLeft | Qt::AlignVCenter, "2001");
    Wave(p, QRectF(h, 70, w - h - 16, 36), QColor(90, 200, 255), 6);
}

// The grabber's background: a wide tile whose top and bottom rows match and whose vertical
// lines fall on a pitch that divides its width, so it repeats without seams.
void GrabberTile(QImage& image) {
    const int w = image.width(), h = image.height();
    QPainter p(&image);
    QLinearGradient back(0, 0, 0, h);
    back.setColorAt(0, QColor(24, 36, 104));
    back.setColorAt(0.5, QColor(34, 50, 128));
    back.setColorAt(1, QColor(24, 36, 104));
    p.fillRect(image.rect(), back);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(60, 80, 160, 90), 1));
    for (int x = 0; x < w; x += 40)
        p.drawLine(x, 0, x, h - 1);
}

}  // namespace

std::vector<Picture> PlimoPictures() {
    return {
        {"bitmaps/141.png", 305, 346, Splash},
        {"bitmaps/157.png", 305, 346, SplashMask},
        {"bitmaps/152.png", 32, 32, WaveFile},
        {"bitmaps/153.png", 32, 32, CdDisc},
        {"bitmaps/163.png", 16, 16, Mark},
        {"bitmaps/169.png", 96, 13,
         [](QImage& i) { draw::DigitStrip(i, qRgb(80, 255, 80), qRgb(0, 50, 0), qRgb(0, 0, 0)); }},
        {"bitmaps/184.png", 312, 312,
         [](QImage& i) { draw::Tile(i, qRgb(24, 36, 104), qRgb(44, 60, 140)); }},
        {"bitmaps/100.png", 340, 120, About},
        {"bitmaps/176.png", 640, 178, GrabberTile},
        {"icons/128.png", 64, 64, Icon},
    };
}

}  // namespace orvane::artwork
