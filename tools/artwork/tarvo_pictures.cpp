// Tarvo's pictures: the bands and panels of the player window, the LCD font, the button images
// (each with an up and a down form), the play-state marks, the dialog tile, the About picture
// and the program icon. Dark brushed bodies, a dark green display with lit green dots.

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>
#include <cstdint>
#include <string>

#include "tools/artwork/artwork.h"

namespace orvane::artwork {

namespace {

const QColor kBodyTop(74, 79, 90);
const QColor kBodyBottom(34, 36, 43);
const QColor kLcdBack(6, 20, 9);
const QColor kLcdLit(70, 255, 100);
const QColor kLcdUnlit(16, 42, 20);
const QColor kPanel(10, 26, 13);
const QColor kPicto(225, 230, 238);

// A 5 x 7 dot-matrix font for the characters 32 to 95; each row holds five dots, the leftmost
// in bit 4.
constexpr std::array<std::array<std::uint8_t, 7>, 64> kDots = {{
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04},
    {0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00}, {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A},
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04}, {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}, {0x0C, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00},
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}, {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08},
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}, {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}, {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}, {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00},
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}, {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08},
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02}, {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00},
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}, {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04},
    {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E}, {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11},
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}, {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}, {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}, {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}, {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}, {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}, {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}, {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}, {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}, {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}, {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}, {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E},
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00}, {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E},
    {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F},
}};

// One character of the dot font at (x, y): dots of size x size on a pitch of pitch pixels;
// unlit dots in off when it is valid.
void DotChar(QPainter& p, int x, int y, char c, int size, int pitch, const QColor& on,
             const QColor& off) {
    const int index = c - 32;
    if (index < 0 || index >= 64) return;
    for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 5; ++col) {
            const bool lit = kDots[index][row] & (0x10 >> col);
            if (!lit && !off.isValid()) continue;
            p.fillRect(x + col * pitch, y + row * pitch, size, size, lit ? on : off);
        }
    }
}

// A label in the small dot font, centred in the image.
void DotLabel(QPainter& p, const QRect& area, const std::string& text, const QColor& colour) {
    const int width = static_cast<int>(text.size()) * 6 - 1;
    const int x = area.x() + (area.width() - width) / 2;
    const int y = area.y() + (area.height() - 7) / 2;
    for (std::size_t i = 0; i < text.size(); ++i)
        DotChar(p, x + static_cast<int>(i) * 6, y, text[i], 1, 1, colour, QColor());
}

void Body(QImage& image) {
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, image.height());
    g.setColorAt(0, kBodyTop);
    g.setColorAt(1, kBodyBottom);
    p.fillRect(image.rect(), g);
    // Fine horizontal brushing.
    for (int y = 0; y < image.height(); y += 2)
        p.fillRect(0, y, image.width(), 1, QColor(255, 255, 255, (y * 7) % 9 + 3));
}

// The top band: the body with the recessed LCD window the status line is drawn into.
void TopBand(QImage& image) {
    Body(image);
    QPainter p(&image);
    p.fillRect(QRect(60, 16, 340, 24), kLcdBack);
    p.fillRect(QRect(60, 15, 340, 1), QColor(12, 12, 16));
    p.fillRect(QRect(59, 15, 1, 25), QColor(12, 12, 16));
    // A small emblem left of the display: three stacked arcs.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 210, 140), 2));
    for (int r = 4; r <= 12; r += 4)
        p.drawArc(QRectF(30 - r, 26 - r, 2 * r, 2 * r), 30 * 16, 120 * 16);
}

void MiddleBand(QImage& image) {
    Body(image);
    QPainter p(&image);
    // The LCD window continues two rows into this band, then a highlight edge.
    p.fillRect(QRect(60, 0, 340, 2), kLcdBack);
    p.fillRect(QRect(59, 2, 341, 1), QColor(110, 116, 128));
    p.fillRect(QRect(0, 59, 400, 1), QColor(16, 16, 20));
}

void DisplayPanel(QImage& image) {
    image.fill(kPanel);
    QPainter p(&image);
    p.setPen(QColor(44, 70, 50));
    p.drawRect(0, 0, image.width() - 1, image.height() - 1);
}

// Bitmap 184: 64 cells of 16 x 20 on a dark background, lit dots of 2 x 2 on a pitch of 3.
void LcdFont(QImage& image) {
    image.fill(kLcdBack);
    QPainter p(&image);
    for (int i = 0; i < 64; ++i)
        DotChar(p, i * 16 + 1, 0, static_cast<char>(32 + i), 2, 3, kLcdLit, kLcdUnlit);
}

void LowerPanel(QImage& image) {
    Body(image);
    QPainter p(&image);
    p.fillRect(QRect(0, 0, image.width(), 1), QColor(16, 16, 20));
    p.fillRect(QRect(0, 1, image.width(), 1), QColor(110, 116, 128));
    // Recessed strip behind the track list and the slider.
    p.fillRect(QRect(36, 20, 328, 44), QColor(24, 26, 31));
    p.setPen(QColor(90, 96, 108));
    p.drawLine(36, 64, 364, 64);
}

void DialogTile(QImage& image) { draw::Tile(image, qRgb(38, 44, 58), qRgb(58, 68, 88)); }

void Disc(QPainter& p, QPointF centre, double radius) {
    QRadialGradient g(centre, radius);
    g.setColorAt(0.0, QColor(230, 235, 240));
    g.setColorAt(0.5, QColor(150, 200, 170));
    g.setColorAt(0.75, QColor(200, 210, 240));
    g.setColorAt(1.0, QColor(120, 150, 140));
    p.setPen(QPen(QColor(30, 50, 40), 1.2));
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(30, 36, 44));
    p.drawEllipse(centre, radius * 0.22, radius * 0.22);
}

void AboutImage(QImage& image) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Disc(p, QPointF(28, 23), 21);
    p.setPen(QPen(kLcdLit, 2));
    p.drawLine(QPointF(40, 38), QPointF(52, 30));
}

void Icon(QImage& image) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = image.width();
    p.setPen(Qt::NoPen);
    p.setBrush(kBodyBottom);
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.2, s * 0.92, s * 0.6), s * 0.12, s * 0.12);
    Disc(p, QPointF(s * 0.5, s * 0.5), s * 0.36);
    p.setBrush(kLcdLit);
    QPolygonF tri;
    tri << QPointF(s * 0.44, s * 0.4) << QPointF(s * 0.6, s * 0.5) << QPointF(s * 0.44, s * 0.6);
    p.drawPolygon(tri);
}

// The pictograms of the transport buttons.
enum class Picto { Power, Previous, Backwards, PlayPause, Forward, Next, Stop, Eject };

void Triangle(QPainter& p, double x, double cy, double w, double h, bool right) {
    QPolygonF t;
    if (right)
        t << QPointF(x, cy - h / 2) << QPointF(x + w, cy) << QPointF(x, cy + h / 2);
    else
        t << QPointF(x + w, cy - h / 2) << QPointF(x, cy) << QPointF(x + w, cy + h / 2);
    p.drawPolygon(t);
}

void DrawPicto(QPainter& p, Picto picto, QRectF r, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const double cx = r.center().x(), cy = r.center().y();
    switch (picto) {
        case Picto::Power:
            break;
        case Picto::Previous:
            p.drawRect(QRectF(cx - 8, cy - 5, 2, 10));
            Triangle(p, cx - 6, cy, 7, 10, false);
            Triangle(p, cx + 1, cy, 7, 10, false);
            break;
        case Picto::Backwards:
            Triangle(p, cx - 7, cy, 7, 10, false);
            Triangle(p, cx, cy, 7, 10, false);
            break;
        case Picto::PlayPause:
            Triangle(p, cx - 9, cy, 8, 10, true);
            p.drawRect(QRectF(cx + 2, cy - 5, 2.5, 10));
            p.drawRect(QRectF(cx + 6, cy - 5, 2.5, 10));
            break;
        case Picto::Forward:
            Triangle(p, cx - 7, cy, 7, 10, true);
            Triangle(p, cx, cy, 7, 10, true);
            break;
        case Picto::Next:
            Triangle(p, cx - 8, cy, 7, 10, true);
            Triangle(p, cx - 1, cy, 7, 10, true);
            p.drawRect(QRectF(cx + 6, cy - 5, 2, 10));
            break;
        case Picto::Stop:
            p.drawRect(QRectF(cx - 5, cy - 5, 10, 10));
            break;
        case Picto::Eject: {
            QPolygonF t;
            t << QPointF(cx - 6, cy + 1) << QPointF(cx, cy - 6) << QPointF(cx + 6, cy + 1);
            p.drawPolygon(t);
        }
            p.drawRect(QRectF(cx - 6, cy + 3, 12, 2.5));
            break;
    }
}

// A key of the button row: a rounded cap on the body; the down form is darker and its
// pictogram sits one pixel lower and to the right.
void Key(QImage& image, bool down, const std::function<void(QPainter&, QRectF)>& face) {
    Body(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF cap(1.5, 2.5, image.width() - 3, image.height() - 5);
    QLinearGradient g(0, cap.top(), 0, cap.bottom());
    g.setColorAt(0, down ? QColor(36, 38, 46) : QColor(98, 104, 118));
    g.setColorAt(1, down ? QColor(58, 62, 72) : QColor(44, 46, 56));
    p.setPen(QPen(QColor(14, 14, 18), 1));
    p.setBrush(g);
    p.drawRoundedRect(cap, 4, 4);
    face(p, down ? cap.translated(1, 1) : cap);
}

Picture TransportKey(int id, int width, Picto picto, bool down) {
    return {"bitmaps/" + std::to_string(id) + ".png", width, 30, [picto, down](QImage& image) {
                Key(image, down, [picto, down](QPainter& p, QRectF r) {
                    DrawPicto(p, picto, r, down ? kLcdLit : kPicto);
                });
            }};
}

// The power button: a pill at the hot-spot (21..41, 15..21) with a red lamp beside it.
void PowerKey(QImage& image, bool down) {
    Body(image);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(14, 14, 18), 1));
    p.setBrush(down ? QColor(40, 42, 50) : QColor(110, 116, 130));
    p.drawRoundedRect(QRectF(21, 15, 21, 7), 3.5, 3.5);
    p.setPen(Qt::NoPen);
    p.setBrush(down ? QColor(255, 60, 50) : QColor(120, 20, 20));
    p.drawEllipse(QPointF(13, 18.5), 3, 3);
    p.setPen(QPen(kPicto, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(28.5 + (down ? 1 : 0), 8, 6, 6), 120 * 16, 300 * 16);
    p.drawLine(QPointF(31.5 + (down ? 1 : 0), 7), QPointF(31.5 + (down ? 1 : 0), 11));
}

// Flat label buttons of the lower panel.
Picture LabelKey(int id, int width, int height, const std::string& text, bool down) {
    return {"bitmaps/" + std::to_string(id) + ".png", width, height, [text, down](QImage& image) {
                Key(image, down, [text, down](QPainter& p, QRectF r) {
                    DotLabel(p, r.toAlignedRect(), text, down ? kLcdLit : kPicto);
                });
            }};
}

Picture DatabaseKey(int id, bool down) {
    return {"bitmaps/" + std::to_string(id) + ".png", 26, 17, [down](QImage& image) {
                Key(image, down, [down](QPainter& p, QRectF r) {
                    Disc(p, QPointF(r.left() + 7, r.center().y()), 5);
                    p.setPen(QPen(down ? kLcdLit : kPicto, 1));
                    for (int i = -1; i <= 1; ++i)
                        p.drawLine(QPointF(r.left() + 14, r.center().y() + i * 3),
                                   QPointF(r.right() - 2, r.center().y() + i * 3));
                });
            }};
}

Picture SettingsKey(int id, bool down) {
    return {"bitmaps/" + std::to_string(id) + ".png", 32, 32, [down](QImage& image) {
                Key(image, down, [down](QPainter& p, QRectF r) {
                    // Three sliders of a mixing desk.
                    const QColor c = down ? kLcdLit : kPicto;
                    const double knobs[3] = {0.3, 0.65, 0.45};
                    for (int i = 0; i < 3; ++i) {
                        const double x = r.left() + 8 + i * 7.5;
                        p.setPen(QPen(QColor(20, 20, 24), 2));
                        p.drawLine(QPointF(x, r.top() + 5), QPointF(x, r.bottom() - 5));
                        p.setPen(Qt::NoPen);
                        p.setBrush(c);
                        const double y = r.top() + 5 + knobs[i] * (r.height() - 10);
                        p.drawRect(QRectF(x - 3, y - 1.5, 6, 3));
                    }
                });
            }};
}

void Decoration(QImage& image) {
    Body(image);
    QPainter p(&image);
    // A speaker grille of small dark holes.
    for (int y = 8; y < 24; y += 4)
        for (int x = 10 + (y % 8 ? 2 : 0); x < 52; x += 4)
            p.fillRect(x, y, 2, 2, QColor(14, 14, 18));
}

Picture Mark(int id, int width, int kind) {
    return {"bitmaps/" + std::to_string(id) + ".png", width, 7, [kind](QImage& image) {
                image.fill(kPanel);
                QPainter p(&image);
                if (kind == 0) {
                    // Play: a right-pointing triangle.
                    for (int x = 0; x < 4; ++x)
                        p.fillRect(x, x, 1, 7 - 2 * x, kLcdLit);
                } else if (kind == 2) {
                    p.fillRect(0, 0, 2, 7, kLcdLit);
                    p.fillRect(3, 0, 2, 7, kLcdLit);
                }
            }};
}

}  // namespace

std::vector<Picture> TarvoPictures() {
    std::vector<Picture> set = {
        {"bitmaps/132.png", 400, 40, TopBand},
        {"bitmaps/134.png", 400, 60, MiddleBand},
        {"bitmaps/183.png", 380, 40, DisplayPanel},
        {"bitmaps/184.png", 1024, 20, LcdFont},
        {"bitmaps/185.png", 399, 69, LowerPanel},
        {"bitmaps/186.png", 128, 128, DialogTile},
        {"bitmaps/189.png", 56, 46, AboutImage},
        Mark(190, 4, 0),
        Mark(191, 6, 1),
        Mark(192, 5, 2),
        {"bitmaps/182.png", 55, 30, [](QImage& i) { PowerKey(i, false); }},
        {"bitmaps/213.png", 55, 30, [](QImage& i) { PowerKey(i, true); }},
        TransportKey(147, 40, Picto::Previous, false),
        TransportKey(146, 40, Picto::Previous, true),
        TransportKey(145, 40, Picto::Backwards, false),
        TransportKey(144, 40, Picto::Backwards, true),
        TransportKey(143, 50, Picto::PlayPause, false),
        TransportKey(142, 50, Picto::PlayPause, true),
        TransportKey(139, 40, Picto::Forward, false),
        TransportKey(138, 40, Picto::Forward, true),
        TransportKey(141, 40, Picto::Next, false),
        TransportKey(140, 40, Picto::Next, true),
        TransportKey(149, 40, Picto::Stop, false),
        TransportKey(148, 40, Picto::Stop, true),
        TransportKey(137, 40, Picto::Eject, false),
        TransportKey(136, 40, Picto::Eject, true),
        {"bitmaps/181.png", 60, 30, Decoration},
        DatabaseKey(196, false),
        DatabaseKey(197, true),
        SettingsKey(201, false),
        SettingsKey(202, true),
        LabelKey(203, 92, 16, "INTRO SCAN", false),
        LabelKey(204, 92, 16, "INTRO SCAN", true),
        LabelKey(205, 73, 16, "PROGRAM", false),
        LabelKey(206, 73, 16, "PROGRAM", true),
        LabelKey(207, 60, 16, "REPEAT", false),
        LabelKey(208, 60, 16, "REPEAT", true),
        LabelKey(209, 70, 16, "RANDOM", false),
        LabelKey(210, 70, 16, "RANDOM", true),
        {"icons/128.png", 64, 64, Icon},
    };
    return set;
}

}  // namespace orvane::artwork
