#include "platform/window/qt/up_down.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace orvane {

namespace {
constexpr int kFirstRepeatMs = 400;
constexpr int kRepeatMs = 60;
}  // namespace

UpDownControl::UpDownControl(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);  // the keyboard steps it through its buddy
    repeat_.setInterval(kFirstRepeatMs);
    QObject::connect(&repeat_, &QTimer::timeout, this, [this] {
        repeat_.setInterval(kRepeatMs);
        if (pressed_ >= 0) Step(pressed_ == 0 ? 1 : -1);
    });
}

void UpDownControl::SetBuddy(QLineEdit* buddy) {
    if (buddy_) buddy_->removeEventFilter(this);
    buddy_ = buddy;
    if (buddy_) buddy_->installEventFilter(this);
}

void UpDownControl::SetRange(int low, int high) {
    low_ = std::min(low, high);
    high_ = std::max(low, high);
    value_ = std::clamp(value_, low_, high_);
    update();
}

int UpDownControl::Value() const {
    if (buddy_) {
        bool ok = false;
        const int v = buddy_->text().trimmed().toInt(&ok);
        if (ok) return v;
    }
    return value_;
}

void UpDownControl::SetValue(int value) {
    value_ = std::clamp(value, low_, high_);
    // The plain number, without a thousands separator.
    if (buddy_) buddy_->setText(QString::number(value_));
}

void UpDownControl::Step(int delta) {
    if (!isEnabled()) return;
    bool ok = false;
    int v = buddy_ ? buddy_->text().trimmed().toInt(&ok) : value_;
    if (buddy_ && !ok) v = low_ - delta;  // an empty or foreign text starts at the range's end
    SetValue(v + delta);
    if (changed_) changed_(value_);
}

void UpDownControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    const QColor arrow =
        pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    const int half = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
        const QRect r = halves[i];
        const bool down = pressed_ == i;
        p.fillRect(r, down ? face.darker(115) : face);
        // A raised edge, sunken while pressed.
        p.setPen(down ? dark : light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(down ? light : dark);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        // The arrow: a triangle centred in its half, pointing up or down.
        const int w = std::max(3, std::min(r.width() - 6, 2 * (r.height() - 4)) / 2 * 2 + 1);
        const int h = (w + 1) / 2;
        const QPoint c = r.center() + (down ? QPoint(1, 1) : QPoint(0, 0));
        const int left = c.x() - w / 2, top = c.y() - h / 2;
        QPainterPath tri;
        if (i == 0) {
            tri.moveTo(left, top + h);
            tri.lineTo(left + w, top + h);
            tri.lineTo(c.x() + 0.5, top);
        } else {
            tri.moveTo(left, top);
            tri.lineTo(left + w, top);
            tri.lineTo(c.x() + 0.5, top + h);
        }
        tri.closeSubpath();
        p.fillPath(tri, arrow);
    }
}

void UpDownControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) return;
    pressed_ = event->position().y() < height() / 2 ? 0 : 1;
    if (buddy_) buddy_->setFocus(Qt::MouseFocusReason);
    Step(pressed_ == 0 ? 1 : -1);
    repeat_.setInterval(kFirstRepeatMs);
    repeat_.start();
    update();
}

void UpDownControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = -1;
    repeat_.stop();
    update();
}

bool UpDownControl::eventFilter(QObject* object, QEvent* event) {
    if (object == buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(object, event);
}

void UpDownControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        pressed_ = -1;
        repeat_.stop();
    }
    QWidget::changeEvent(event);
}

}  // namespace orvane
