#include "encoder/controls/ui/digit_counter.h"

#include <QPainter>

#include "encoder/controls/digit_counter.h"

namespace orvane::controls {

DigitCounter::DigitCounter(QWidget* parent) : QWidget(parent) {}

bool DigitCounter::LoadGlyphs(int bitmapId, int digits) {
    return LoadGlyphs(QImage(QString(":/bitmaps/%1.png").arg(bitmapId)), digits);
}

bool DigitCounter::LoadGlyphs(const QImage& strip, int digits) {
    glyphs_ = QImage();
    if (strip.isNull()) return false;
    glyphs_ = strip;
    cellWidth_ = strip.width() / kDigitCells;
    cellHeight_ = strip.height();
    SetDigits(digits, true);
    return true;
}

void DigitCounter::SetDigits(int digits, bool resize) {
    if (!ValidDigitCount(digits)) return;
    digits_ = digits;
    if (resize) Resize();
}

void DigitCounter::SetAnchor(int flags, bool resize) {
    anchor_ = flags;
    if (resize) Resize();
}

void DigitCounter::SetValue(qint32 value, bool redraw) {
    value_ = value;
    if (redraw) update();
}

QSize DigitCounter::sizeHint() const {
    return {CounterWidth(digits_, cellWidth_), CounterHeight(cellHeight_)};
}

void DigitCounter::Resize() {
    update();
    const QRect g = geometry();
    const Rect now{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
    const Rect r = ResizeCounter(now, digits_, cellWidth_, cellHeight_, anchor_);
    setGeometry(r.left, r.top, r.Width(), r.Height());
    setFixedSize(r.Width(), r.Height());
    update();
}

void DigitCounter::paintEvent(QPaintEvent*) {
    if (glyphs_.isNull()) return;
    QPainter p(this);
    const std::vector<int> cells = DigitCells(value_, digits_, leadingZeros_);
    for (size_t i = 0; i < cells.size(); ++i) {
        p.drawImage(QPoint(kDigitMargin + static_cast<int>(i) * cellWidth_, kDigitMargin), glyphs_,
                    QRect(cellWidth_ * cells[i], 0, cellWidth_, cellHeight_));
    }
}

}  // namespace orvane::controls
