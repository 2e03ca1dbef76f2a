#include "encoder/controls/ui/window_effect_overlay.h"

#include <cstdint>
#include <cstdlib>
#include <list>
#include <memory>
#include <vector>

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QPainter>
#include <QThread>

#include "encoder/controls/window_effect.h"

namespace orvane::controls {

namespace {

// The closed outlines as lines, moved by offset.
void DrawLines(QPainter& p, const std::vector<Outline>& outlines, QPoint offset) {
    for (const Outline& o : outlines) {
        if (o.size() < 2) continue;
        QPoint last = QPoint(o.back().x, o.back().y) + offset;
        for (const Point& pt : o) {
            const QPoint next = QPoint(pt.x, pt.y) + offset;
            p.drawLine(last, next);
            last = next;
        }
    }
}

// A light line one pixel right of and below a dark one, so that an outline shows on light and
// dark screens alike. pass 0 draws the light lines, pass 1 the dark ones; origin is the screen
// position of the painted area's top left corner.
void DrawOutlines(QPainter& p, const std::vector<Outline>& outlines, QPoint origin, int pass) {
    p.setPen(QPen(pass == 0 ? QColor(255, 255, 255) : QColor(0, 0, 0), 1));
    DrawLines(p, outlines, (pass == 0 ? QPoint(1, 1) : QPoint(0, 0)) - origin);
}

// The overlay inside the window (platforms without free windows): a transparent child that
// paints the frames on show.
class InsideOverlay : public QWidget {
public:
    explicit InsideOverlay(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(parent->rect());
        origin_ = parent->mapToGlobal(QPoint(0, 0));
    }
    void Show(int frame, std::vector<Outline> outlines) {
        visible_.emplace_back(frame, std::move(outlines));
        repaint();
    }
    void Hide(int frame) {
        visible_.remove_if([&](const auto& f) { return f.first == frame; });
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int pass = 0; pass < 2; ++pass)
            for (const auto& frame : visible_)
                DrawOutlines(p, frame.second, origin_, pass);
    }

private:
    std::list<std::pair<int, std::vector<Outline>>> visible_;
    QPoint origin_;
};

// The outlines straight on an X11 screen: every pixel under a line is inverted, over all the
// windows, so drawing a frame a second time erases it and the screen is left as it was. Each
// frame goes to the X server at once; nothing waits for the event loop.
class ScreenInverter {
public:
    // Nullptr where the application does not run on X11.
    static std::unique_ptr<ScreenInverter> Open() {
        auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
        if (!connection || xcb_connection_has_error(connection)) return nullptr;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        if (!screen) return nullptr;
        return std::unique_ptr<ScreenInverter>(new ScreenInverter(connection, screen->root));
    }
    ~ScreenInverter() {
        xcb_free_gc(connection_, gc_);
        xcb_flush(connection_);
    }
    ScreenInverter(const ScreenInverter&) = delete;
    ScreenInverter& operator=(const ScreenInverter&) = delete;

    void Invert(const std::vector<Outline>& outlines) {
        std::vector<xcb_point_t> line;
        for (const Outline& o : outlines) {
            if (o.size() < 2) continue;
            line.clear();
            line.push_back(Of(o.back()));
            for (const Point& pt : o)
                line.push_back(Of(pt));
            // One request per outline: X draws each of its pixels once, joins included.
            xcb_poly_line(connection_, XCB_COORD_MODE_ORIGIN, root_, gc_,
                          static_cast<std::uint32_t>(line.size()), line.data());
        }
        xcb_flush(connection_);
    }

private:
    ScreenInverter(xcb_connection_t* connection, xcb_window_t root)
        : connection_(connection), root_(root), gc_(xcb_generate_id(connection)) {
        // Values in the order of their mask bits: function, then subwindow mode.
        const std::uint32_t values[] = {XCB_GX_INVERT, XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS};
        xcb_create_gc(connection_, gc_, root_, XCB_GC_FUNCTION | XCB_GC_SUBWINDOW_MODE, values);
    }
    static xcb_point_t Of(Point p) {
        return {static_cast<std::int16_t>(p.x), static_cast<std::int16_t>(p.y)};
    }

    xcb_connection_t* connection_;
    xcb_window_t root_;
    xcb_gcontext_t gc_;
};

}  // namespace

void PlayWindowEffect(QWidget* window, bool opening, int kind) {
    if (!window) return;
    if (kind < 0 || kind >= kEffectShapes) kind = std::rand() % kEffectShapes;
    const int parameter = EffectParameter(kind);
    const QRect frame = window->isWindow()
                            ? window->frameGeometry()
                            : QRect(window->mapToGlobal(QPoint(0, 0)), window->size());
    const Rect rect{frame.left(), frame.top(), frame.right() + 1, frame.bottom() + 1};
    std::vector<std::vector<Outline>> frames;
    for (int step = 0; step < kEffectSteps; ++step)
        frames.push_back(EffectOutlines(kind, parameter, rect, step));

    std::unique_ptr<ScreenInverter> screen = ScreenInverter::Open();
    std::unique_ptr<InsideOverlay> inside;
    if (!screen) {
        inside = std::make_unique<InsideOverlay>(window);
        inside->show();
        inside->raise();
    }
    for (const EffectAction& a : EffectSchedule(opening)) {
        const auto& outlines = frames[static_cast<std::size_t>(a.frame)];
        switch (a.kind) {
            case EffectAction::Draw:
                if (screen) screen->Invert(outlines);
                if (inside) inside->Show(a.frame, outlines);
                break;
            case EffectAction::Erase:
                if (screen) screen->Invert(outlines);
                if (inside) inside->Hide(a.frame);
                break;
            case EffectAction::Pause:
                QThread::msleep(kEffectDelayMs);
                break;
        }
    }
}

}  // namespace orvane::controls
