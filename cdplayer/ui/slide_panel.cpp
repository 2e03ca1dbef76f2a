#include "cdplayer/ui/slide_panel.h"

#include <QPainter>

#include "cdplayer/resource.h"
#include "cdplayer/ui/drawing.h"
#include "cdplayer/ui/regions.h"

namespace orvane::cdplayer::ui {

CSlidePanel::CSlidePanel(std::function<void(unsigned)> wait)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      wait_(std::move(wait)),
      panel_(Bitmap(IDB_LOWER_PANEL)) {
    setWindowTitle("NerodControl");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setGeometry(0, 0, 400, 132);
}

void CSlidePanel::showEvent(QShowEvent* event) {
    if (!shaped_) {
        setMask(SlidePanelRegion());
        shaped_ = true;
    }
    QWidget::showEvent(event);
}

void CSlidePanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 31, panel_);
}

void CSlidePanel::Slide(int x, int y, int steps, int delta, unsigned ms) {
    setEnabled(false);
    setGeometry(x, y, 402, 100);
    show();
    steps_ = 0;
    for (int i = 0; i < steps; ++i) {
        y += delta;
        move(x, y);
        ++steps_;
        wait_(ms);
    }
    setEnabled(true);
    hide();
}

void CSlidePanel::SlideOut(int left, int top) { Slide(left + 2, top + 32, 69, 1, 10); }

void CSlidePanel::SlideIn(int left, int top) { Slide(left + 2, top + 102, 70, -1, 30); }

}  // namespace orvane::cdplayer::ui
