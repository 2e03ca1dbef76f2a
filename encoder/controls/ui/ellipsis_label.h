#pragma once
// A static text for file paths: painted in a light colour over the dialog's background and
// shortened with "..." when it does not fit.

#include <QLabel>

#include "encoder/controls/ellipsis_label.h"

namespace orvane::controls {

class EllipsisLabel : public QLabel {
public:
    explicit EllipsisLabel(QWidget* parent = nullptr, unsigned textFormat = kEllipsisLabelFormat,
                           bool pathStyle = false);

    // The text as it is painted at the current width.
    QString DisplayedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // A shortened text shows whole in the label's tooltip.
    bool event(QEvent* event) override;

private:
    QFont DrawingFont() const;

    unsigned textFormat_;
    bool pathStyle_;
};

}  // namespace orvane::controls
