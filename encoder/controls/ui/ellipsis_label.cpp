#include "encoder/controls/ui/ellipsis_label.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace orvane::controls {

EllipsisLabel::EllipsisLabel(QWidget* parent, unsigned textFormat, bool pathStyle)
    : QLabel(parent), textFormat_(textFormat), pathStyle_(pathStyle) {
    // QLabel repaints on every new text, which is what a changed path needs.
    setTextFormat(Qt::PlainText);
}

QFont EllipsisLabel::DrawingFont() const {
    // The parent window's font, as the dialog's own texts use it.
    return parentWidget() ? parentWidget()->font() : font();
}

QString EllipsisLabel::DisplayedText() const {
    const QFontMetrics metrics(DrawingFont());
    const std::string shown = Elide(
        text().toStdString(), contentsRect().width(), pathStyle_,
        [&](const std::string& s) { return metrics.horizontalAdvance(QString::fromStdString(s)); });
    return QString::fromStdString(shown);
}

void EllipsisLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(DrawingFont());
    p.setPen(QColor(255, 255, 128));
    const unsigned flags = EllipsisFlags(textFormat_, pathStyle_);
    // Vertical centring applies to single-line drawing only; otherwise the text starts at the
    // top. No prefix: '&' is drawn as it stands.
    int align = Qt::AlignLeft;
    align |= (flags & kDtSingleLine) && (flags & kDtVCenter) ? Qt::AlignVCenter : Qt::AlignTop;
    p.drawText(contentsRect(), align | Qt::TextSingleLine, DisplayedText());
}

bool EllipsisLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (DisplayedText() != text())
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}

}  // namespace orvane::controls
