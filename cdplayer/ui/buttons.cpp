#include "cdplayer/ui/buttons.h"

#include <QMouseEvent>
#include <QPainter>

namespace orvane::cdplayer::ui {

ImageButton::ImageButton(QWidget* parent, int id, const QImage& up, const QImage& down)
    : QAbstractButton(parent), id_(id), up_(up), down_(down) {
    setObjectName(QString("id%1").arg(id));
    // Reached with Tab (a click leaves the focus where it is); Space presses the button.
    setFocusPolicy(Qt::TabFocus);
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QImage& image = isDown() && !down_.isNull() ? down_ : up_;
    p.drawImage(0, 0, image);
    if (hasFocus()) {
        // A dotted frame in the display's green, inside the picture.
        p.setPen(QPen(QColor(0, 255, 0), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void CPowerButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // A press outside the hot-spot does not count.
    if (!InHotSpot(event->position().toPoint())) {
        event->accept();
        return;
    }
    pressed_ = true;
    setDown(true);
    event->accept();
}

void CPowerButton::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_) setDown(InHotSpot(event->position().toPoint()));
    event->accept();
}

void CPowerButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const bool wasPressed = pressed_;
    pressed_ = false;
    setDown(false);
    if (wasPressed && InHotSpot(event->position().toPoint())) emit clicked();
    event->accept();
}

SkipButtonWidget::SkipButtonWidget(QWidget* parent, int id, const QImage& up, const QImage& down,
                                   PlayerState& player, CSkipButton& logic)
    : ImageButton(parent, id, up, down), player_(player), logic_(logic) {
    timer_.setInterval(static_cast<int>(CSkipButton::kTimerPeriodMs));
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { OnTick(); });
}

void SkipButtonWidget::OnTick() {
    if (logic_.Held() && isDown()) logic_.OnTimer();
}

void SkipButtonWidget::mouseMoveEvent(QMouseEvent* event) {
    if (logic_.Held()) setDown(rect().contains(event->position().toPoint()));
    event->accept();
}

void SkipButtonWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (logic_.OnButtonDown(player_)) timer_.start();
    setDown(true);
    event->accept();
}

void SkipButtonWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (logic_.OnButtonUp(player_)) timer_.stop();
    setDown(false);
    event->accept();
}

void TrackList::showPopup() {
    player_.trackListDropped = true;
    QComboBox::showPopup();
}

void TrackList::hidePopup() {
    QComboBox::hidePopup();
    player_.trackListDropped = false;
}

SeekSlider::SeekSlider(QWidget* parent, CSeekSlider& logic)
    : QSlider(Qt::Horizontal, parent), logic_(logic) {
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(30);
    QObject::connect(this, &QSlider::sliderMoved, this,
                     [this](int value) { logic_.SetPosition(value); });
    QObject::connect(this, &QSlider::actionTriggered, this,
                     [this](int) { logic_.SetPosition(sliderPosition()); });
}

void SeekSlider::mousePressEvent(QMouseEvent* event) {
    logic_.OnButtonDown();
    QSlider::mousePressEvent(event);
    logic_.SetPosition(sliderPosition());
}

void SeekSlider::mouseReleaseEvent(QMouseEvent* event) {
    QSlider::mouseReleaseEvent(event);
    logic_.SetPosition(sliderPosition());
    logic_.OnButtonUp();
}

}  // namespace orvane::cdplayer::ui
