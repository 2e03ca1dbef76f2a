#pragma once
// The up-down control: two arrow buttons beside a buddy edit that step the number in it within
// a range, also with the Up and Down keys in the edit; a press held down keeps stepping. It
// draws its own arrows, so it looks the same in every widget style and at any width (a spin box
// narrowed to its buttons shows blank boxes in some styles). Driven through the window port:
// SetRange and SetPos, and Pos reads the value.

#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "platform/window/qt/qt_window_port.h"

namespace orvane {

class UpDownControl : public QWidget, public PortControl {
public:
    explicit UpDownControl(QWidget* parent = nullptr);

    // The edit whose number the arrows step (may be none: the control keeps the value alone).
    void SetBuddy(QLineEdit* buddy);
    void SetRange(int low, int high);
    int Low() const { return low_; }
    int High() const { return high_; }
    // The value: the buddy's number when it holds one, else the last value set.
    int Value() const;
    // Sets the value (kept within the range) and writes it into the buddy; no change call.
    void SetValue(int value);
    // One step up (+1) or down (-1), as the arrows do; calls the change handler.
    void Step(int delta);
    // Called after each step with the new value.
    void OnChanged(std::function<void(int)> changed) { changed_ = std::move(changed); }

    void SetPortRange(int low, int high) override { SetRange(low, high); }
    void SetPortPos(int pos) override { SetValue(pos); }
    int PortPos() const override { return Value(); }

    QSize sizeHint() const override { return {18, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* object, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // -1: no arrow pressed, 0 the upper, 1 the lower.
    int pressed_ = -1;
    int low_ = 0, high_ = 100, value_ = 0;
    QPointer<QLineEdit> buddy_;
    QTimer repeat_;
    std::function<void(int)> changed_;
};

}  // namespace orvane
