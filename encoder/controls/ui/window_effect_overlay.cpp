#include "encoder/controls/ui/window_effect_overlay.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <cstdlib>
#include <list>

#include "encoder/controls/window_effect.h"

namespace orvane::controls {

namespace {

class EffectOverlay : public QWidget {
public:
    EffectOverlay(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    // Frames on show, in the order they were drawn.
    std::list<std::pair<int, std::vector<Outline>>> visible;
    QPoint origin;  // screen position of the overlay's top left corner

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int pass = 0; pass < 2; ++pass) {
            // A light line under a dark one shows on light and dark windows alike.
            p.setPen(QPen(pass == 0 ? QColor(255, 255, 255, 200) : QColor(0, 0, 0), 1));
            QPoint shift = pass == 0 ? QPoint(1, 1) : QPoint(0, 0);
            for (const auto& frame : visible) {
                for (const Outline& o : frame.second) {
                    if (o.size() < 2) continue;
                    QPoint last = QPoint(o.back().x, o.back().y) - origin + shift;
                    for (const Point& pt : o) {
                        QPoint next = QPoint(pt.x, pt.y) - origin + shift;
                        p.drawLine(last, next);
                        last = next;
                    }
                }
            }
        }
    }
};

}  // namespace

void PlayWindowEffect(QWidget* window, bool opening, int kind) {
    if (!window) return;
    if (kind < 0 || kind >= kEffectShapes) kind = std::rand() % kEffectShapes;
    const int parameter = EffectParameter(kind);
    QRect frame = window->frameGeometry();
    Rect rect{frame.left(), frame.top(), frame.right() + 1, frame.bottom() + 1};

    const QString platform = QGuiApplication::platformName();
    bool inside =
        platform == "offscreen" || platform == "minimal" || platform.startsWith("wayland");
    std::unique_ptr<EffectOverlay> overlay;
    if (inside) {
        overlay = std::make_unique<EffectOverlay>(window, Qt::Widget);
        overlay->setGeometry(window->rect());
        overlay->origin = window->mapToGlobal(QPoint(0, 0));
    } else {
        overlay = std::make_unique<EffectOverlay>(
            nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                         Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        QRect area = screen ? screen->geometry() : frame.adjusted(-400, -400, 400, 400);
        overlay->setGeometry(area);
        overlay->origin = area.topLeft();
    }
    overlay->show();
    overlay->raise();
    for (const EffectAction& a : EffectSchedule(opening)) {
        switch (a.kind) {
            case EffectAction::Draw:
                overlay->visible.emplace_back(a.frame,
                                              EffectOutlines(kind, parameter, rect, a.frame));
                overlay->repaint();
                break;
            case EffectAction::Erase:
                overlay->visible.remove_if([&](const auto& f) { return f.first == a.frame; });
                overlay->repaint();
                break;
            case EffectAction::Pause:
                QThread::msleep(kEffectDelayMs);
                break;
        }
    }
    overlay->hide();
}

}  // namespace orvane::controls
