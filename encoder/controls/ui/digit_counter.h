#pragma once
// A static control that shows a whole number in bitmap digits and sizes itself to them.
// Driven through the window port, SetPos sets the value.

#include <QImage>
#include <QWidget>

#include "platform/window/qt/qt_window_port.h"

namespace orvane::controls {

class DigitCounter : public QWidget, public PortControl {
public:
    explicit DigitCounter(QWidget* parent = nullptr);

    // Loads the glyph strip ":/bitmaps/<id>.png" (or an image) and sizes the control to
    // `digits` positions; false when the picture does not load.
    bool LoadGlyphs(int bitmapId, int digits);
    bool LoadGlyphs(const QImage& strip, int digits);
    void SetDigits(int digits, bool resize);
    void SetAnchor(int flags, bool resize);
    void SetValue(qint32 value, bool redraw);
    void SetLeadingZeros(bool on) { leadingZeros_ = on; }

    qint32 Value() const { return value_; }
    int Digits() const { return digits_; }
    int CellWidth() const { return cellWidth_; }
    int CellHeight() const { return cellHeight_; }

    void SetPortPos(int pos) override { SetValue(pos, true); }
    int PortPos() const override { return value_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Resize();

    QImage glyphs_;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    int digits_ = 2;
    qint32 value_ = 0;
    bool leadingZeros_ = false;
    int anchor_ = 12;
};

}  // namespace orvane::controls
