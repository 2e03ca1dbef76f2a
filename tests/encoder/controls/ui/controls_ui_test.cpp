#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>

#include "encoder/controls/digit_counter.h"
#include "encoder/controls/ui/digit_counter.h"
#include "encoder/controls/ui/drawn_button.h"
#include "encoder/controls/ui/ellipsis_label.h"
#include "encoder/controls/ui/gradient_progress_bar.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::controls {
namespace {

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }
QRgb Rgb3(int r, int g, int b) { return qRgb(r, g, b); }

// A glyph strip whose 12 cells are solid colours (cell c has red = 10 * c + 5).
QImage TestStrip(int cw, int ch) {
    QImage strip(cw * 12, ch, QImage::Format_RGB32);
    for (int c = 0; c < 12; ++c) {
        QPainter(&strip).fillRect(c * cw, 0, cw, ch, QColor(10 * c + 5, 100, 100));
    }
    return strip;
}

TEST(GradientProgressBarTest, HalfFilledBarShowsBandsThenButtonFace) {
    QWidget parent;
    GradientProgressBar bar(&parent);
    bar.setGeometry(0, 0, 510, 16);
    bar.SetRange(0, 100);
    bar.SetPos(50);
    const QImage img = Grab(bar);
    const QRgb face = bar.palette().color(QPalette::Button).rgb() | 0xFF000000;
    EXPECT_EQ(img.pixel(0, 8), Rgb3(0, 0, 255));
    EXPECT_EQ(img.pixel(1, 8), Rgb3(0, 0, 255));
    EXPECT_EQ(img.pixel(2, 8), Rgb3(1, 0, 254));
    EXPECT_EQ(img.pixel(255, 15), Rgb3(127, 0, 128));  // band 127 reaches 256
    EXPECT_EQ(img.pixel(256, 0), face);
    EXPECT_EQ(img.pixel(509, 15), face);
}

TEST(GradientProgressBarTest, OutOfRangeAndRangeReset) {
    QWidget parent;
    GradientProgressBar bar(&parent);
    bar.setGeometry(0, 0, 200, 16);
    bar.SetShowText(true);
    bar.SetRange(0, 100);
    bar.SetPos(150);
    const QImage img = Grab(bar);
    const QRgb face = bar.palette().color(QPalette::Button).rgb() | 0xFF000000;
    for (int x = 0; x < 200; x += 3) {
        ASSERT_EQ(img.pixel(x, 8), face) << x;  // no band and no text
    }
    bar.SetRange(20, 80);
    EXPECT_EQ(bar.Pos(), 20);
    EXPECT_EQ(bar.value(), 20);  // the standard bar underneath follows
}

TEST(GradientProgressBarTest, PercentageIsWrittenInWhiteOverTheMiddle) {
    QWidget parent;
    GradientProgressBar bar(&parent);
    bar.setGeometry(0, 0, 300, 20);
    bar.SetRange(0, 100);
    bar.SetPos(100);
    const QImage plain = Grab(bar);
    bar.SetShowText(true);
    const QImage text = Grab(bar);
    int whiteInMiddle = 0, changedAtEdges = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 300; ++x) {
            if (plain.pixel(x, y) == text.pixel(x, y)) continue;
            if (x > 110 && x < 190) {
                // The gradient has no green at all: green comes only from the white text.
                whiteInMiddle += qGreen(text.pixel(x, y)) > 150;
            } else {
                ++changedAtEdges;
            }
        }
    }
    EXPECT_GT(whiteInMiddle, 20);
    EXPECT_EQ(changedAtEdges, 0);
}

TEST(DigitCounterTest, CellsAreCopiedFromTheStrip) {
    QWidget parent;
    parent.resize(300, 100);
    DigitCounter counter(&parent);
    counter.setGeometry(10, 10, 10, 10);
    ASSERT_TRUE(counter.LoadGlyphs(TestStrip(8, 13), 6));
    EXPECT_EQ(counter.size(), QSize(54, 19));
    counter.SetValue(42, true);
    QImage img = Grab(counter);
    const auto cellAt = [&](int i) { return qRed(img.pixel(3 + i * 8 + 4, 3 + 6)); };
    EXPECT_EQ(cellAt(0), 10 * kCellBlank + 5);
    EXPECT_EQ(cellAt(3), 10 * kCellBlank + 5);
    EXPECT_EQ(cellAt(4), 45);
    EXPECT_EQ(cellAt(5), 25);
    counter.SetLeadingZeros(true);
    counter.SetValue(-7, true);
    img = Grab(counter);
    EXPECT_EQ(cellAt(0), 10 * kCellBlank + 5);
    EXPECT_EQ(cellAt(4), 10 * kCellMinus + 5);
    EXPECT_EQ(cellAt(5), 75);
}

TEST(DigitCounterTest, AnchorsOfTheStatusWindowAndThePort) {
    QWidget parent;
    parent.resize(300, 100);
    DigitCounter frame(&parent), total(&parent);
    frame.setGeometry(100, 40, 20, 20);
    total.setGeometry(140, 40, 20, 20);
    frame.SetAnchor(3, false);
    total.SetAnchor(6, false);
    ASSERT_TRUE(frame.LoadGlyphs(169, 6));
    ASSERT_TRUE(total.LoadGlyphs(169, 6));
    EXPECT_EQ(frame.geometry(), QRect(66, 41, 54, 19));   // right and bottom edges kept
    EXPECT_EQ(total.geometry(), QRect(140, 41, 54, 19));  // left and bottom edges kept
    EXPECT_FALSE(frame.LoadGlyphs(4711, 6));
    QtWindowPort port(&parent);
    port.Bind(1105, &total);
    port.SetPos(1105, 1234567);
    EXPECT_EQ(total.Value(), 1234567);
    EXPECT_EQ(port.Pos(1105), 1234567);
}

TEST(EllipsisLabelTest, LongPathIsCutAtItsEndInTheLightColour) {
    QWidget parent;
    parent.setStyleSheet("background: rgb(0,0,0)");
    EllipsisLabel label(&parent);
    label.setGeometry(0, 0, 120, 20);
    const QString path = "/home/user/Music/a very long folder name/and a long file name.wav";
    label.setText(path);
    const QString shown = label.DisplayedText();
    EXPECT_TRUE(shown.endsWith("...")) << shown.toStdString();
    EXPECT_TRUE(path.startsWith(shown.chopped(3)));
    EXPECT_LE(QFontMetrics(parent.font()).horizontalAdvance(shown), 120);
    label.setText("a.wav");
    EXPECT_EQ(label.DisplayedText(), "a.wav");
    parent.resize(200, 40);
    const QImage img = parent.grab().toImage();
    int light = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 120; ++x)
            light += (img.pixel(x, y) & 0xFFFFFF) == 0xFFFF80;
    }
    EXPECT_GT(light, 0);
}

TEST(DrawnButtonTest, ColoursFollowHoverAndPress) {
    QWidget parent;
    parent.resize(200, 100);
    DrawnButton button(&parent);
    button.setGeometry(0, 0, 80, 30);
    EXPECT_EQ(button.SetColor(kColorBackOut, QColor(0, 128, 0)), 0);
    EXPECT_EQ(button.SetColor(kColorBackIn, QColor(128, 0, 0)), 0);
    EXPECT_EQ(button.SetColor(4, QColor(1, 2, 3)), 3);
    EXPECT_EQ(button.Color(0), QColor(128, 0, 0));
    EXPECT_EQ(Grab(button).pixel(40, 15), Rgb3(0, 128, 0));  // flat, at rest: colour 2
    button.setDown(true);
    const QImage pressed = Grab(button);
    EXPECT_EQ(pressed.pixel(40, 15), Rgb3(128, 0, 0));  // pressed: colour 0
    // A pressed flat button draws a sunken edge: shadow along the top.
    EXPECT_EQ(pressed.pixel(40, 0), button.palette().color(QPalette::Dark).rgb() | 0xFF000000);
}

TEST(DrawnButtonTest, BitmapKeepsTheBackgroundWhereItIsTransparent) {
    QWidget parent;
    parent.resize(200, 100);
    DrawnButton button(&parent);
    button.setGeometry(0, 0, 60, 40);
    button.SetColor(kColorBackOut, QColor(0, 0, 0));
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(QColor(255, 0, 255));
    QPainter(&bitmap).fillRect(0, 0, 5, 10, QColor(255, 255, 0));
    button.SetBitmaps(bitmap, QColor(255, 0, 255));
    // No caption: the image is centred, (25, 15) .. (35, 25).
    const QImage img = Grab(button);
    EXPECT_EQ(img.pixel(26, 20), Rgb3(255, 255, 0));
    EXPECT_EQ(img.pixel(33, 20), Rgb3(0, 0, 0));  // transparent colour shows the background
    EXPECT_EQ(img.pixel(24, 20), Rgb3(0, 0, 0));
    // Pressed, the image moves 1 pixel right and down.
    button.setDown(true);
    button.SetColor(kColorBackIn, QColor(0, 0, 0));
    const QImage down = Grab(button);
    EXPECT_EQ(down.pixel(25, 20), Rgb3(0, 0, 0));
    EXPECT_EQ(down.pixel(26, 16), Rgb3(255, 255, 0));
    EXPECT_EQ(down.pixel(30, 20), Rgb3(255, 255, 0));
}

TEST(DrawnButtonTest, ToggleFlipsOnClickAndDefaultButtonIsFramed) {
    QWidget parent;
    parent.resize(200, 100);
    DrawnButton toggle(&parent, kStyleCheckBit);
    EXPECT_TRUE(toggle.IsToggle());
    EXPECT_EQ(toggle.ButtonStyle(), 0x0Bu);
    toggle.click();
    EXPECT_TRUE(toggle.Toggled());
    toggle.click();
    EXPECT_FALSE(toggle.Toggled());

    DrawnButton ok(&parent, kStyleDefaultBit);
    ok.setText("O&K");
    ok.SetFlat(false);
    ok.setGeometry(0, 50, 80, 30);
    const QImage img = Grab(ok);
    EXPECT_EQ(img.pixel(0, 0), Rgb3(0, 0, 0));
    EXPECT_EQ(img.pixel(79, 29), Rgb3(0, 0, 0));
    // Inside the black frame, the 3-D border: highlight at the top left.
    EXPECT_EQ(img.pixel(1, 1), ok.palette().color(QPalette::Light).rgb() | 0xFF000000);
}

TEST(DrawnButtonTest, HoverLightsAFlatButtonAndSwitchesToTheFirstIcon) {
    QWidget parent;
    parent.resize(200, 100);
    parent.show();
    QApplication::setActiveWindow(&parent);
    DrawnButton button(&parent);
    button.setGeometry(0, 0, 60, 40);
    button.show();
    button.SetColor(kColorBackOut, QColor(0, 0, 0));
    button.SetColor(kColorBackIn, QColor(0, 0, 160));
    QPixmap one(8, 8), two(8, 8);
    one.fill(QColor(255, 0, 0));
    two.fill(QColor(0, 255, 0));
    button.SetIcon(one, two);
    EXPECT_EQ(Grab(button).pixel(30, 20), Rgb3(0, 255, 0));  // at rest: the second icon
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&button, &enter);
    ASSERT_TRUE(button.Hovering());
    QImage img = Grab(button);
    EXPECT_EQ(img.pixel(30, 20), Rgb3(255, 0, 0));  // hovering: the first icon
    EXPECT_EQ(img.pixel(10, 20), Rgb3(0, 0, 160));  // and background colour 0
    // A raised one-pixel edge: highlight along the top.
    EXPECT_EQ(img.pixel(30, 0), button.palette().color(QPalette::Light).rgb() | 0xFF000000);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.Hovering());
    EXPECT_EQ(Grab(button).pixel(30, 20), Rgb3(0, 255, 0));
    // A disabled button stops hovering too.
    QApplication::sendEvent(&button, &enter);
    button.setEnabled(false);
    EXPECT_FALSE(button.Hovering());
}

TEST(DrawnButtonTest, TransparentButtonShowsTheParentsBackground) {
    QWidget parent;
    parent.resize(100, 60);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(10, 200, 30));
    parent.setPalette(pal);
    parent.setAutoFillBackground(true);
    DrawnButton button(&parent);
    button.setGeometry(10, 10, 50, 30);
    button.SetColor(kColorBackOut, QColor(255, 255, 255));
    EXPECT_EQ(Grab(button).pixel(25, 15), Rgb3(255, 255, 255));
    button.SetTransparent();
    EXPECT_EQ(Grab(button).pixel(25, 15), Rgb3(10, 200, 30));
}

}  // namespace
}  // namespace orvane::controls
