#include "cdplayer/ui/drawing.h"

#include "cdplayer/display.h"
#include "common/cp1252.h"

namespace orvane::cdplayer::ui {

void DrawLcdText(QPainter& painter, const QImage& font, int x, int y, const std::string& text) {
    // One cell per character: the text is taken in the single-byte code page first.
    const std::string bytes = cp1252::FromUtf8(text);
    for (unsigned char c : bytes) {
        painter.drawImage(QPoint(x, y), font, QRect(LcdCellX(c), 0, 16, 20));
        x += 16;
    }
}

namespace {

// A rectangle as the player draws it: right and bottom excluded, a one-pixel frame inside.
void FramedRect(QPainter& painter, int left, int top, int right, int bottom, const QColor& fill) {
    if (right <= left || bottom <= top) return;
    const QColor frame(0, 250, 0);
    painter.fillRect(QRect(left, top, right - left, bottom - top), frame);
    if (right - left > 2 && bottom - top > 2)
        painter.fillRect(QRect(left + 1, top + 1, right - left - 2, bottom - top - 2), fill);
}

}  // namespace

void DrawProgressBar(QPainter& painter, unsigned elapsed, unsigned length) {
    FramedRect(painter, 30, 87, 130, 91, QColor(0, 0, 0));
    const int right = ProgressBarRight(elapsed, length);
    if (right > 30) FramedRect(painter, 30, 87, right, 91, QColor(0, 0, 250));
}

QImage Bitmap(int id) {
    QImage image(QString(":/bitmaps/%1.png").arg(id));
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString IconPath(int id) { return QString(":/icons/%1.png").arg(id); }

}  // namespace orvane::cdplayer::ui
