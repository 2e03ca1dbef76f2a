#pragma once
// The drawing of the player's display: the LCD line from the font bitmap and the progress bar.

#include <QImage>
#include <QPainter>
#include <string>

namespace orvane::cdplayer::ui {

// Copies one 16 x 20 cell of the LCD font (bitmap 184) per character of text (UTF-8; each
// character outside the font shows as a blank), left to right from (x, y).
void DrawLcdText(QPainter& painter, const QImage& font, int x, int y, const std::string& text);

// The progress bar: (30, 87)-(130, 91) framed in RGB(0, 250, 0) and filled black, then the part
// up to ProgressBarRight filled blue RGB(0, 0, 250) in the same frame.
void DrawProgressBar(QPainter& painter, unsigned elapsed, unsigned length);

// Bitmaps and icons of the compiled-in artwork.
QImage Bitmap(int id);
// Resource path of an icon (":/icons/<id>.png").
QString IconPath(int id);

}  // namespace orvane::cdplayer::ui
