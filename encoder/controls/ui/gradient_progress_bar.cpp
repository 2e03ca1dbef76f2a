#include "encoder/controls/ui/gradient_progress_bar.h"

#include <QPainter>
#include <QPixmap>

#include "encoder/controls/gradient_progress.h"

namespace orvane::controls {

namespace {
Rgb ToRgb(const QColor& c) { return {c.red(), c.green(), c.blue()}; }
QColor ToQColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }
}  // namespace

GradientProgressBar::GradientProgressBar(QWidget* parent) : QProgressBar(parent) {
    background_ = palette().color(QPalette::Button);
    setTextVisible(false);
    QProgressBar::setRange(0, 100);
    QProgressBar::setValue(0);
}

void GradientProgressBar::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = minimum;
    // The standard bar takes the range as two 16-bit halves.
    QProgressBar::setRange(static_cast<qint16>(minimum), static_cast<qint16>(maximum));
    QProgressBar::setValue(static_cast<qint16>(minimum));
    update();
}

void GradientProgressBar::SetPos(int position) {
    position_ = position;
    QProgressBar::setValue(position);
    update();
}

void GradientProgressBar::SetStep(int step) { step_ = step; }

void GradientProgressBar::paintEvent(QPaintEvent*) {
    QPainter screen(this);
    const QRect client = rect();
    const GradientPlan plan = PlanGradient(minimum_, maximum_, position_, client.width(),
                                           ToRgb(start_), ToRgb(end_), showText_);
    if (!plan.inRange) {
        screen.fillRect(client, palette().color(QPalette::Button));
        return;
    }
    // Drawn off screen and copied at the end, so the bar never flickers.
    QPixmap off(client.size());
    off.fill(palette().color(QPalette::Button));
    {
        QPainter p(&off);
        for (const GradientBand& band : plan.bands) {
            p.fillRect(QRect(band.left, 0, band.right - band.left, client.height() + 1),
                       ToQColor(band.color));
        }
        if (plan.backgroundFrom >= 0 && plan.backgroundFrom < client.width()) {
            p.fillRect(QRect(plan.backgroundFrom, 0, client.width() - plan.backgroundFrom,
                             client.height() + 1),
                       background_);
        }
        if (!plan.text.empty()) {
            p.setPen(textColor_);
            p.setFont(font());
            p.drawText(client, Qt::AlignCenter | Qt::TextSingleLine,
                       QString::fromStdString(plan.text));
        }
    }
    screen.drawPixmap(0, 0, off);
}

}  // namespace orvane::controls
