#include "encoder/controls/ui/drawn_button.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QUrl>

namespace orvane::controls {

namespace {

// The bitmap with its transparent-colour pixels cleared: drawn over the background it shows
// the same picture as masking with the derived monochrome mask and painting the bitmap.
QImage Masked(const QImage& bitmap, QColor transparent) {
    if (bitmap.isNull()) return {};
    QImage out = bitmap.convertToFormat(QImage::Format_ARGB32);
    if (!transparent.isValid()) return out;
    const QRgb key = transparent.rgb() & 0xFFFFFF;
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == key) line[x] = 0;
        }
    }
    return out;
}

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

}  // namespace

DrawnButton::DrawnButton(QWidget* parent, unsigned windowStyle) : QAbstractButton(parent) {
    isDefault_ = windowStyle & kStyleDefaultBit;
    isToggle_ = windowStyle & kStyleCheckBit;
    buttonStyle_ = OwnerDrawStyle(windowStyle);
    setCheckable(isToggle_);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    colors_[kColorBackIn] = palette().color(QPalette::Button);
    colors_[kColorForeIn] = palette().color(QPalette::ButtonText);
    colors_[kColorBackOut] = palette().color(QPalette::Button);
    colors_[kColorForeOut] = palette().color(QPalette::ButtonText);
    // After a click a toggle has already flipped (and repaints); other buttons open their link.
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (isToggle_) {
            update();
        } else if (!link_.isEmpty()) {
            QDesktopServices::openUrl(QUrl::fromUserInput(link_));
        }
    });
}

void DrawnButton::SetIcon(int iconId1, int iconId2) {
    SetIcon(QPixmap(QString(":/icons/%1.png").arg(iconId1)),
            iconId2 ? QPixmap(QString(":/icons/%1.png").arg(iconId2)) : QPixmap());
}

void DrawnButton::SetIcon(const QPixmap& icon1, const QPixmap& icon2) {
    icon1_ = icon1;
    icon2_ = icon2;
    bitmap1_ = QImage();
    bitmap2_ = QImage();
    repaint();
}

void DrawnButton::SetBitmaps(int bitmapId1, QColor transparent1, int bitmapId2,
                             QColor transparent2) {
    SetBitmaps(QImage(QString(":/bitmaps/%1.png").arg(bitmapId1)), transparent1,
               bitmapId2 ? QImage(QString(":/bitmaps/%1.png").arg(bitmapId2)) : QImage(),
               transparent2);
}

void DrawnButton::SetBitmaps(const QImage& bitmap1, QColor transparent1, const QImage& bitmap2,
                             QColor transparent2) {
    icon1_ = QPixmap();
    icon2_ = QPixmap();
    bitmap1_ = Masked(bitmap1, transparent1);
    bitmap2_ = Masked(bitmap2, transparent2);
    repaint();
}

void DrawnButton::SetFlat(bool flat) {
    flat_ = flat;
    update();
}

void DrawnButton::SetAlign(int align) {
    if (align < kAlignImageLeft || align > kAlignImageRight) return;
    align_ = align;
    update();
}

int DrawnButton::SetColor(int index, QColor color, bool repaint) {
    if (ColorIndexResult(index) != 0) return ColorIndexResult(index);
    colors_[index] = color;
    if (repaint) update();
    return 0;
}

void DrawnButton::SetTransparent(bool repaint) {
    transparent_ = true;
    background_ = QPixmap();
    if (repaint) update();
}

void DrawnButton::SetTooltipText(const QString& text, bool activate) {
    if (text.isEmpty()) return;
    setToolTip(text);
    setAttribute(Qt::WA_AlwaysShowToolTips, activate);
}

QSize DrawnButton::sizeHint() const {
    const QFontMetrics fm(font());
    QSize image = !icon1_.isNull() ? icon1_.size() : bitmap1_.size();
    QSize text = showCaption_ ? fm.size(Qt::TextShowMnemonic, this->text()) : QSize();
    if (align_ == kAlignImageTop) {
        return {std::max(image.width(), text.width()) + 12, image.height() + text.height() + 10};
    }
    return {image.width() + text.width() + 18, std::max(image.height(), text.height()) + 10};
}

ButtonState DrawnButton::State() const {
    ButtonState s;
    s.flat = flat_;
    s.drawBorder = drawBorder_;
    s.focusOnFlat = focusOnFlat_;
    s.isToggle = isToggle_;
    s.isDefault = isDefault_;
    // A toggle that is on draws as selected, as a pushed-in check button does.
    s.pressed = isDown() || (isToggle_ && isChecked());
    s.focused = hasFocus();
    s.hovering = hovering_;
    return s;
}

void DrawnButton::DrawImage(QPainter& p, const ButtonLayout& layout, const ButtonState& s) {
    const QPixmap* icon = nullptr;
    if (!icon1_.isNull()) icon = ChooseImage(s, !icon2_.isNull()) == 2 ? &icon2_ : &icon1_;
    if (icon) {
        if (isEnabled()) {
            p.drawPixmap(ToQRect(layout.image).topLeft(), *icon);
        } else {
            QStyleOption option;
            option.initFrom(this);
            p.drawPixmap(ToQRect(layout.image).topLeft(),
                         style()->generatedIconPixmap(QIcon::Disabled, *icon, &option));
        }
    }
    if (!bitmap1_.isNull()) {
        const QImage& bitmap = ChooseImage(s, !bitmap2_.isNull()) == 2 ? bitmap2_ : bitmap1_;
        p.drawImage(ToQRect(layout.image).topLeft(), bitmap);
    }
}

void DrawnButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const ButtonState s = State();
    QRect r = rect();
    if (HasBlackFrame(s)) {
        p.setPen(Qt::black);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    // Background.
    if (transparent_ && parentWidget()) {
        if (background_.isNull()) {
            // Only the parent's own painting (no child controls, so not this button either).
            background_ = QPixmap(size());
            background_.fill(palette().color(QPalette::Window));
            parentWidget()->render(&background_, QPoint(), QRegion(geometry()),
                                   QWidget::DrawWindowBackground);
        }
        p.drawPixmap(r, background_, r);
    } else {
        p.fillRect(r, colors_[BackgroundSlot(s)]);
    }
    // Border.
    const QPalette& pal = palette();
    const QColor highlight = pal.color(QPalette::Light);
    const QColor light = pal.color(QPalette::Midlight);
    const QColor dkShadow = pal.color(QPalette::Shadow);
    const QColor shadow = pal.color(QPalette::Dark);
    const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
    switch (ChooseBorder(s)) {
        case Border::ThreeD:
            p.setPen(highlight);
            p.drawLine(l, t, rr - 1, t);
            p.drawLine(l, t, l, b - 1);
            p.setPen(light);
            p.drawLine(l + 1, t + 1, rr - 2, t + 1);
            p.drawLine(l + 1, t + 1, l + 1, b - 2);
            p.setPen(dkShadow);
            p.drawLine(l, b, rr, b);
            p.drawLine(rr, t, rr, b);
            p.setPen(shadow);
            p.drawLine(l + 1, b - 1, rr - 1, b - 1);
            p.drawLine(rr - 1, t + 1, rr - 1, b - 1);
            break;
        case Border::RaisedEdge:
        case Border::SunkenEdge: {
            const bool raised = ChooseBorder(s) == Border::RaisedEdge;
            p.setPen(raised ? highlight : shadow);
            p.drawLine(l, t, rr, t);
            p.drawLine(l, t, l, b);
            p.setPen(raised ? shadow : highlight);
            p.drawLine(l, b, rr, b);
            p.drawLine(rr, t, rr, b);
            break;
        }
        case Border::PressedFrame:
            p.setPen(shadow);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            break;
        case Border::None:
            break;
    }
    // Image and caption.
    const QString caption = showCaption_ ? text() : QString();
    QSize image = !icon1_.isNull() ? icon1_.size() : bitmap1_.size();
    const Rect client{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    const ButtonLayout layout = LayoutButton(client, image.width(), image.height(), align_,
                                             !caption.isEmpty(), imageOffset_, s);
    DrawImage(p, layout, s);
    if (!caption.isEmpty()) {
        const QRect box = ToQRect(CaptionRect(layout.caption, s));
        const int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        const QRect text = p.fontMetrics().boundingRect(box, flags, caption);
        QRect place = text;
        place.moveCenter(box.center());
        if (!isEnabled()) {
            p.setPen(highlight);
            p.drawText(place.translated(1, 1), flags, caption);
            p.setPen(shadow);
            p.drawText(place, flags, caption);
        } else {
            p.setPen(colors_[CaptionSlot(s)]);
            p.drawText(place, flags, caption);
        }
    }
    if (HasFocusRect(s)) {
        QPen dotted(pal.color(QPalette::WindowText), 1, Qt::DotLine);
        p.setPen(dotted);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}

void DrawnButton::mouseMoveEvent(QMouseEvent* event) {
    QAbstractButton::mouseMoveEvent(event);
    const bool inside = rect().contains(event->position().toPoint());
    if (inside && flat_ && !hovering_ && !(event->buttons() & Qt::LeftButton) &&
        QApplication::activeWindow() && parentWidget()) {
        hovering_ = true;
        update();
    } else if (!inside && hovering_) {
        // Qt keeps the mouse grabbed while the left button is held, as the capture was.
        hovering_ = false;
        update();
    }
}

void DrawnButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    if (flat_ && !hovering_ && !isDown() && QApplication::activeWindow() && parentWidget()) {
        hovering_ = true;
        update();
    }
}

void DrawnButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    StopHovering();
}

void DrawnButton::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    StopHovering();
}

void DrawnButton::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    switch (event->type()) {
        case QEvent::EnabledChange:
            if (!isEnabled()) StopHovering();
            break;
        case QEvent::ActivationChange:
            if (!isActiveWindow()) StopHovering();
            break;
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
            background_ = QPixmap();
            break;
        default:
            break;
    }
}

void DrawnButton::StopHovering() {
    if (!hovering_) return;
    hovering_ = false;
    update();
}

}  // namespace orvane::controls
