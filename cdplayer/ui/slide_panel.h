#pragma once
// The slide panel: a picture of the lower panel that slides out of the main window (or back in)
// while the player switches between its compact and full size.

#include <QImage>
#include <QWidget>
#include <functional>

namespace orvane::cdplayer::ui {

class CSlidePanel : public QWidget {
public:
    // wait: handles pending window messages and waits the given milliseconds.
    explicit CSlidePanel(std::function<void(unsigned)> wait);

    // From (left + 2, top + 32) 69 pixels down, 10 ms a step; then hidden again.
    void SlideOut(int left, int top);
    // From (left + 2, top + 102) 70 pixels up, 30 ms a step.
    void SlideIn(int left, int top);

    // Steps of the last slide (for tests).
    int Steps() const { return steps_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Slide(int x, int y, int steps, int delta, unsigned ms);

    std::function<void(unsigned)> wait_;
    QImage panel_;
    bool shaped_ = false;
    int steps_ = 0;
};

}  // namespace orvane::cdplayer::ui
