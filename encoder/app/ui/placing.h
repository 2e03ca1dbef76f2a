#pragma once
// Placing controls the way every dialog layout of the encoder front-end does: at a fixed
// position and size in dialog pixels, registered in the window's port under their control id.

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include "encoder/controls/ui/drawn_button.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::encoder::ui {

template <typename W>
W* Place(QWidget* parent, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setGeometry(x, y, w, h);
    return widget;
}

inline QLabel* Label(QWidget* parent, const QString& text, int x, int y, int w, int h) {
    auto* label = Place<QLabel>(parent, x, y, w, h);
    label->setText(text);
    return label;
}

// A one-line edit 22 pixels high taking at most limit characters.
inline QLineEdit* Edit(QtWindowPort& port, int id, QWidget* parent, int x, int y, int w,
                       int limit) {
    auto* edit = Place<QLineEdit>(parent, x, y, w, 22);
    edit->setMaxLength(limit);
    port.Bind(id, edit);
    return edit;
}

// style: the drawn button's style bits (1 makes it the default button, 2 a toggle).
inline controls::DrawnButton* PlaceDrawnButton(QtWindowPort& port, int id, QWidget* parent,
                                               const QString& text, int x, int y, int w, int h,
                                               unsigned style = 0) {
    auto* b = new controls::DrawnButton(parent, style);
    b->setGeometry(x, y, w, h);
    b->setText(text);
    port.Bind(id, b);
    return b;
}

}  // namespace orvane::encoder::ui
