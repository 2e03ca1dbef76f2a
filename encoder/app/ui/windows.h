#pragma once
// The small windows of the encoder front-end: the splash window, the help window, the About
// box and the window menu that Linux window managers leave to the program.

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <string>

namespace orvane::encoder::ui {

// The four shared bitmaps of the custom-drawn controls: 152, 153, 152 again and 163. Start-up
// loads them; SharedBitmap loads them on first use otherwise.
void LoadSharedBitmaps();
const QImage& SharedBitmap(int slot);

// The window outline from a mask picture: the whole rectangle minus every pixel that is black
// in the mask.
QRegion RegionFromMask(const QImage& mask);

// The splash window: bitmap 141 centred on the screen, its outline cut from bitmap 157. A key
// or mouse press closes it early.
class SplashWindow : public QWidget {
public:
    SplashWindow();
    bool Closed() const { return closed_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool closed_ = false;
};

// The program's name for the toolkit: the caption of message boxes given without one. It is
// not a display name, which the toolkit would append to every window title.
void SetUpApplicationName();

// Shows the splash window for ms milliseconds (or until a key or mouse press) and returns
// once it has closed; the program's windows keep being served meanwhile.
void ShowSplash(unsigned ms);

// Opens the help file (HTML content) in the help window, or tells the user it is missing.
void ShowHelpWindow(const std::string& path, QWidget* owner);

// The About box (dialog 100), modal over owner; returns IDOK.
int RunAboutBox(QWidget* owner);

// Offers the window menu items on a right click on the window's background: "Minimize", a
// separator and the About item (string 101), which sends command 16 to onSysCommand.
void InstallWindowMenu(QWidget* window, std::function<void(int)> onSysCommand);

}  // namespace orvane::encoder::ui
