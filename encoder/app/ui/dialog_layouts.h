#pragma once
// The layouts of the encoder front-end's dialogs: every control at its place, with its text,
// tooltip and limits, registered in the window's port under its control id. The views add the
// behaviour; the logic addresses the controls by id.

#include <QPalette>
#include <QSlider>
#include <QWidget>
#include <vector>

#include "platform/window/qt/qt_window_port.h"

namespace orvane::encoder::ui {

// Page sizes of the wizard and of the other dialogs, in pixels.
constexpr int kPageWidth = 470;
constexpr int kPageHeight = 320;

// The wizard pages 104 (input and output), 105 (MP3 options) and 106 (summary); page 619 (WMA
// settings) is laid out by the WMA views, which register it.
void BuildPage1(QWidget* page, QtWindowPort& port);
void BuildPage2(QWidget* page, QtWindowPort& port);
void BuildFormatPage(QWidget* page, QtWindowPort& port);
// The music library's page 640.
void BuildLibraryPage(QWidget* page, QtWindowPort& port);
void BuildPage3(QWidget* page, QtWindowPort& port);
// The processing status window 102.
void BuildStatusWindow(QWidget* window, QtWindowPort& port);
// The tag dialog 162.
void BuildTagDialog(QWidget* window, QtWindowPort& port);

// The status window's look: the 312 x 312 tile as its background, light texts.
void ApplyTiledLook(QWidget* window);
// The 8-point dialog font of the wizard's labels.
QFont PageFont();

// A slider that draws tick marks at given values (the bitrates) instead of at even steps.
class TickSlider : public QSlider {
public:
    explicit TickSlider(QWidget* parent = nullptr);
    void SetTicks(std::vector<int> ticks) {
        ticks_ = std::move(ticks);
        update();
    }
    const std::vector<int>& Ticks() const { return ticks_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> ticks_;
};

}  // namespace orvane::encoder::ui
