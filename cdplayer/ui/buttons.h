#pragma once
// The owner-drawn controls of the player window: image buttons with an up and a down picture,
// the power button with its hot-spot, the hold-to-scan buttons, the track list and the
// song-position slider.

#include <QAbstractButton>
#include <QComboBox>
#include <QImage>
#include <QSlider>
#include <QTimer>

#include "cdplayer/player_state.h"

namespace orvane::cdplayer::ui {

class ImageButton : public QAbstractButton {
public:
    ImageButton(QWidget* parent, int id, const QImage& up, const QImage& down);
    int Id() const { return id_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int id_;
    QImage up_;
    QImage down_;
};

// The power button (IDC_POWER): a press or release counts only inside 21 <= x <= 41, 15 <= y <= 21;
// a release outside only lets the mouse go. A full click emits clicked().
class CPowerButton : public ImageButton {
public:
    using ImageButton::ImageButton;
    static bool InHotSpot(const QPoint& p) {
        return p.x() >= 21 && p.x() <= 41 && p.y() >= 15 && p.y() <= 21;
    }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return InHotSpot(pos); }

private:
    bool pressed_ = false;
};

// Skip Forward and Skip Backwards: holding the button moves the target every
// 200 ms; releasing it plays from the target.
class SkipButtonWidget : public ImageButton {
public:
    SkipButtonWidget(QWidget* parent, int id, const QImage& up, const QImage& down,
                     PlayerState& player, CSkipButton& logic);

    // One tick of the 200 ms timer: the target moves only while the button shows pressed.
    void OnTick();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // While held, the button shows pressed only with the pointer over it, as a push button does.
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    PlayerState& player_;
    CSkipButton& logic_;
    QTimer timer_;
};

// The track list: reports when it is dropped down, since the status thread leaves the
// selection alone then.
class TrackList : public QComboBox {
public:
    TrackList(QWidget* parent, PlayerState& player) : QComboBox(parent), player_(player) {}
    void showPopup() override;
    void hidePopup() override;

private:
    PlayerState& player_;
};

// The song-position slider.
class SeekSlider : public QSlider {
public:
    SeekSlider(QWidget* parent, CSeekSlider& logic);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CSeekSlider& logic_;
};

}  // namespace orvane::cdplayer::ui
