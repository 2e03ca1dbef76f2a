// The window effects on a real X server: a virtual one (Xvfb) started by this program on a
// display number it picks itself. A second connection records the screen while an effect runs,
// frame after frame, and looks for the outlines of the effect's frames in the recording.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "encoder/controls/ui/window_effect_overlay.h"
#include "encoder/controls/window_effect.h"

extern char** environ;

namespace {

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

// Why the X server is missing; empty when it runs.
std::string& NoServer() {
    static std::string why;
    return why;
}

// Xvfb on the first free display (it picks the number and writes it once it accepts clients).
class VirtualServer {
public:
    VirtualServer() {
        int fds[2];
        if (::pipe(fds) != 0) {
            NoServer() = "no pipe";
            return;
        }
        const std::string fd = std::to_string(fds[1]);
        const std::string screen =
            std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24";
        const char* argv[] = {"Xvfb", "-displayfd",   fd.c_str(),  "-screen",
                              "0",    screen.c_str(), "-nolisten", "tcp",
                              "-br",  "-noreset",     nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr,
                                           const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (spawned != 0) {
            pid_ = -1;
            ::close(fds[0]);
            NoServer() = std::string("Xvfb cannot be started: ") + std::strerror(spawned);
            return;
        }
        // The number arrives when the server is ready; end of file means it gave up. The
        // limit only ends a server that hangs.
        std::string number;
        char c = 0;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 30000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.empty()) {
            NoServer() = "Xvfb did not start";
            return;
        }
        display_ = ":" + number;
    }
    ~VirtualServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// The screen as another client sees it.
class Recorder {
public:
    explicit Recorder(const std::string& display) {
        connection_ = xcb_connect(display.c_str(), nullptr);
        if (xcb_connection_has_error(connection_)) return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }
    ~Recorder() { xcb_disconnect(connection_); }
    bool Ok() const { return root_ != 0; }

    QImage Frame() {
        xcb_get_image_cookie_t cookie = xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_,
                                                      0, 0, kScreenWidth, kScreenHeight, ~0u);
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
            xcb_get_image_reply(connection_, cookie, nullptr), &std::free);
        if (!reply) return {};
        const int length = xcb_get_image_data_length(reply.get());
        if (length < kScreenWidth * kScreenHeight * 4) return {};
        // 24-bit depth in 32-bit pixels, as QImage::Format_RGB32 keeps them.
        return QImage(xcb_get_image_data(reply.get()), kScreenWidth, kScreenHeight,
                      QImage::Format_RGB32)
            .copy();
    }

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

using orvane::controls::EffectOutlines;
using orvane::controls::EffectParameter;
using orvane::controls::Outline;
using orvane::controls::Rect;

// The pixels on which any frame of the effect draws.
std::vector<QPoint> OutlinePixels(int kind, const QRect& area) {
    const Rect rect{area.left(), area.top(), area.right() + 1, area.bottom() + 1};
    QImage lines(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
    lines.fill(Qt::white);
    {
        QPainter p(&lines);
        p.setPen(QPen(Qt::black, 1));
        for (int step = 0; step < orvane::controls::kEffectSteps; ++step) {
            for (const Outline& o : EffectOutlines(kind, EffectParameter(kind), rect, step)) {
                if (o.size() < 2) continue;
                QPoint last(o.back().x, o.back().y);
                for (const auto& pt : o) {
                    p.drawLine(last, QPoint(pt.x, pt.y));
                    last = QPoint(pt.x, pt.y);
                }
            }
        }
    }
    std::vector<QPoint> pixels;
    for (int y = 0; y < kScreenHeight; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(lines.constScanLine(y));
        for (int x = 0; x < kScreenWidth; ++x)
            if (qGray(row[x]) == 0) pixels.emplace_back(x, y);
    }
    return pixels;
}

// How many of the effect's pixels the picture shows inverted against the screen before it.
// (Where outlines cross, a pixel inverted twice is as before, so no frame shows whole.)
int InvertedPixels(const QImage& picture, const QImage& before, const std::vector<QPoint>& pixels) {
    int inverted = 0;
    for (const QPoint& pt : pixels)
        if ((picture.pixel(pt) & 0xFFFFFF) == (~before.pixel(pt) & 0xFFFFFF)) ++inverted;
    return inverted;
}

// An outline is on the screen: far more inverted pixels than chance would give.
constexpr int kOutlineSeen = 200;

// What the recording saw while one effect ran.
struct Seen {
    int frames = 0;    // pictures taken
    int inverted = 0;  // the most inverted pixels of the effect in one picture
};

class WindowEffectOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NoServer().empty()) GTEST_SKIP() << NoServer();
        recorder_ = std::make_unique<Recorder>(qgetenv("DISPLAY").toStdString());
        ASSERT_TRUE(recorder_->Ok());
        window_ = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        window_->setAutoFillBackground(true);
        QPalette palette = window_->palette();
        palette.setColor(QPalette::Window, QColor(160, 160, 160));
        window_->setPalette(palette);
        window_->setGeometry(200, 150, 400, 300);
        window_->show();
        // The window is on the screen once the recording shows its colour.
        for (int i = 0; i < 1000 && qGray(recorder_->Frame().pixel(400, 300)) != 160; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(qGray(recorder_->Frame().pixel(400, 300)), 160);
    }

    // Runs the effect over target while recording, until its outline is seen or it has ended.
    Seen Record(QWidget* target, bool opening, int kind, const QRect& area) {
        const std::vector<QPoint> pixels = OutlinePixels(kind, area);
        const QImage before = recorder_->Frame();
        std::atomic<bool> ended{false};
        Seen seen;
        std::thread recording([&] {
            for (int i = 0; i < 100000 && seen.inverted < kOutlineSeen; ++i) {
                const bool last = ended.load();
                const QImage picture = recorder_->Frame();
                ++seen.frames;
                seen.inverted = std::max(seen.inverted, InvertedPixels(picture, before, pixels));
                if (last) break;
            }
        });
        orvane::controls::PlayWindowEffect(target, opening, kind);
        ended = true;
        recording.join();
        return seen;
    }

    // The screen once it shows `expected`, or after ten seconds as it is then: the effect's
    // last lines reach the server on the program's connection, and a picture asked for on the
    // recording's may be taken before the server has drawn them.
    QImage SettledOn(const QImage& expected) {
        QImage now = recorder_->Frame();
        for (int i = 0; i < 500 && now != expected; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            now = recorder_->Frame();
        }
        return now;
    }

    std::unique_ptr<Recorder> recorder_;
    std::unique_ptr<QWidget> window_;
};

TEST_F(WindowEffectOnX11, EveryShapeIsSeenOnTheScreenAndLeavesNothingBehind) {
    for (int kind = 0; kind < orvane::controls::kEffectShapes; ++kind) {
        for (bool opening : {true, false}) {
            const QImage before = recorder_->Frame();
            const Seen seen = Record(window_.get(), opening, kind, window_->frameGeometry());
            EXPECT_GE(seen.inverted, kOutlineSeen)
                << "shape " << kind << (opening ? " opening" : " closing") << ": no outline in "
                << seen.frames << " pictures";
            // Every line was drawn as often as it was erased: the screen comes back to what
            // it was.
            EXPECT_TRUE(SettledOn(before) == before) << "shape " << kind;
        }
    }
}

// A wizard page is a child of its sheet: the effect runs over the page's own rectangle.
TEST_F(WindowEffectOnX11, AChildWidgetAnimatesItsOwnRectangle) {
    QWidget page(window_.get());
    page.setGeometry(40, 30, 200, 120);
    page.show();
    QCoreApplication::processEvents();
    const QRect onScreen(page.mapToGlobal(QPoint(0, 0)), page.size());
    ASSERT_EQ(onScreen, QRect(240, 180, 200, 120));
    const Seen seen = Record(&page, true, 2, onScreen);
    EXPECT_GE(seen.inverted, kOutlineSeen) << "no outline in " << seen.frames << " pictures";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    VirtualServer server;
    if (!NoServer().empty()) return RUN_ALL_TESTS();
    ::setenv("DISPLAY", server.Display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
