#include "encoder/controls/ui/hyperlink_label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QUrl>

#include "encoder/controls/hyperlink_label.h"
#include "platform/base/wintypes.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::controls {

namespace {

HyperlinkLabel::Opener& CurrentOpener() {
    static HyperlinkLabel::Opener opener;
    return opener;
}

bool OpenWithDesktop(const std::string& target) {
    const QUrl url = QUrl::fromUserInput(QString::fromStdString(target));
    return url.isValid() && QDesktopServices::openUrl(url);
}

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

}  // namespace

HyperlinkLabel::HyperlinkLabel(QWidget* parent, unsigned style) : QLabel(parent), style_(style) {
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    const QColor h = QApplication::palette().color(QPalette::Highlight);
    hover_ = h;
    SetUnderlined(true);
    ApplyColour();
}

void HyperlinkLabel::SetOpener(Opener opener) { CurrentOpener() = std::move(opener); }

QColor HyperlinkLabel::TextColour() const {
    return ToQColor(
        HyperlinkColour(hovering_, visited_, Rgb{hover_.red(), hover_.green(), hover_.blue()}));
}

void HyperlinkLabel::ApplyColour() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, TextColour());
    setPalette(p);
}

void HyperlinkLabel::SetTarget(const std::string& target, bool underline) {
    target_ = target;
    SetUnderlined(underline);
    if (text().isEmpty()) setText(QString::fromStdString(target_));
    FitToText();
    setToolTip(QString::fromStdString(EffectiveTarget(target_, text().toStdString())));
}

void HyperlinkLabel::SetUnderlined(bool underline) {
    underline_ = underline;
    QFont f = font();
    f.setUnderline(underline);
    setFont(f);
    update();
}

void HyperlinkLabel::MarkVisited(bool visited) {
    visited_ = visited;
    ApplyColour();
    update();
}

void HyperlinkLabel::FitToText() {
    const QFontMetrics m(font());
    const QSize size = m.size(Qt::TextSingleLine, text());
    const QRect g = geometry();
    const Rect fitted = controls::FitToText(Rect{g.left(), g.top(), g.right() + 1, g.bottom() + 1},
                                            size.width(), size.height(), style_);
    setGeometry(fitted.left, fitted.top, fitted.Width(), fitted.Height());
}

void HyperlinkLabel::Open() {
    const std::string target = EffectiveTarget(target_, text().toStdString());
    const bool ok = CurrentOpener() ? CurrentOpener()(target) : OpenWithDesktop(target);
    if (ok) {
        MarkVisited(true);
        return;
    }
    QApplication::beep();
    // No handler for the target's kind is the failure the desktop reports.
    RunMessageBox(window(), HyperlinkErrorText(31),
                  QApplication::applicationDisplayName().toStdString(), MB_ICONEXCLAMATION);
}

void HyperlinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    hovering_ = true;
    ApplyColour();
    repaint();
}

void HyperlinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    hovering_ = false;
    ApplyColour();
    repaint();
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Open();
}

void HyperlinkLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        // Keep the state colour when the dialog restyles its children.
        if (palette().color(QPalette::WindowText) != TextColour()) ApplyColour();
    }
}

}  // namespace orvane::controls
