#pragma once
// A progress bar whose filled part is a colour gradient running across the whole control,
// optionally with the percentage written over it. The standard bar underneath keeps its own
// range and position as well.

#include <QColor>
#include <QProgressBar>

#include "platform/window/qt/qt_window_port.h"

namespace orvane::controls {

class GradientProgressBar : public QProgressBar, public PortControl {
public:
    explicit GradientProgressBar(QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum);
    void SetPos(int position);
    void SetStep(int step);
    void SetShowText(bool on) {
        showText_ = on;
        update();
    }
    void SetColors(QColor start, QColor end) {
        start_ = start;
        end_ = end;
        update();
    }
    void SetBackgroundColor(QColor c) { background_ = c; }
    void SetTextColor(QColor c) { textColor_ = c; }

    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    int Pos() const { return position_; }
    int Step() const { return step_; }
    bool ShowText() const { return showText_; }

    void SetPortRange(int low, int high) override { SetRange(low, high); }
    void SetPortPos(int pos) override { SetPos(pos); }
    int PortPos() const override { return position_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int minimum_ = 0;
    int maximum_ = 100;
    int step_ = 10;
    int position_ = 0;
    QColor start_{0, 0, 255};
    QColor end_{255, 0, 0};
    QColor background_;
    QColor textColor_{255, 255, 255};
    bool showText_ = false;
};

}  // namespace orvane::controls
