#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSlider>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>
#include <tuple>

#include "cdplayer/status_thread.h"
#include "cdplayer/ui/drawing.h"
#include "cdplayer/ui/player_frame.h"
#include "cdplayer/ui/regions.h"
#include "fake_mci.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using namespace orvane::cdplayer::ui;
using orvane::cdplayer::test::FakeMci;

namespace {

struct Window : ::testing::Test {
    Window() : player(mci) {
        messenger.SetHandler([this](const std::string& text, const std::string&, unsigned) {
            messages.push_back(text);
            return IDOK;
        });
        frame = std::make_unique<CPlayerFrame>(player, messenger, nullptr);
        frame->SetWait([](unsigned) {});
        frame->SetPopupRunner([this](QMenu* menu, const QPoint& at) {
            ++popups;
            popupAt = at;
            popupWidth = menu->sizeHint().width();
            shownIds.clear();
            for (QAction* a : menu->actions())
                shownIds.push_back(a->isSeparator() ? 0 : a->data().toInt());
        });
        frame->OnClosed([this] { closed = true; });
        frame->BuildRegions();
        frame->CreateControls();
        frame->CreateSlidePanel();
        frame->CreateSlider();
        frame->CreateTooltips();
    }

    QImage Grab() { return frame->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::vector<int> MenuIds() const {
        std::vector<int> ids;
        for (QAction* a : frame->Popup()->actions())
            ids.push_back(a->isSeparator() ? 0 : a->data().toInt());
        return ids;
    }

    void Click(QWidget* w, QPoint at, QEvent::Type type, Qt::MouseButton button = Qt::LeftButton) {
        QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    FakeMci mci{{40, 50, 60}};
    PlayerState player;
    QtMessenger messenger;
    std::unique_ptr<CPlayerFrame> frame;
    std::vector<std::string> messages;
    std::vector<int> shownIds;
    int popups = 0;
    QPoint popupAt;
    int popupWidth = 0;
    bool closed = false;
};

const std::vector<int> kMenu = {ID_ON_TOP,   ID_HIDE, ID_FULL_SIZE, 0, ID_PREFERENCES, 0,
                                ID_APP_EXIT, 0,       ID_APP_ABOUT};

}  // namespace

TEST(Regions, CornersAreCutAndTheFullShapeAddsTheLowerPanel) {
    const QRegion compact = CompactRegion();
    const QRegion full = FullRegion();
    // Compact: (2, 2)-(402, 132) with small corners; right and bottom edges excluded.
    EXPECT_FALSE(compact.contains(QPoint(2, 2)));
    EXPECT_TRUE(compact.contains(QPoint(10, 10)));
    EXPECT_TRUE(compact.contains(QPoint(2, 60)));
    EXPECT_FALSE(compact.contains(QPoint(1, 60)));
    EXPECT_TRUE(compact.contains(QPoint(401, 60)));
    EXPECT_FALSE(compact.contains(QPoint(402, 60)));
    EXPECT_TRUE(compact.contains(QPoint(200, 131)));
    EXPECT_FALSE(compact.contains(QPoint(200, 132)));
    EXPECT_FALSE(compact.contains(QPoint(400, 130)));
    // Full: the upper part keeps the small corners of region 2, the bottom the wide ones of
    // region 1.
    EXPECT_FALSE(full.contains(QPoint(2, 2)));
    EXPECT_TRUE(full.contains(QPoint(200, 140)));
    EXPECT_TRUE(full.contains(QPoint(200, 201)));
    EXPECT_FALSE(full.contains(QPoint(200, 202)));
    EXPECT_TRUE(full.contains(QPoint(395, 150)));  // inside region 2's square-ish corner
    EXPECT_FALSE(full.contains(QPoint(395, 195)));
    EXPECT_FALSE(full.contains(QPoint(6, 198)));
    EXPECT_TRUE(full.contains(QPoint(42, 198)));
    // The slide panel's shape.
    EXPECT_TRUE(SlidePanelRegion().contains(QPoint(200, 99)));
    EXPECT_FALSE(SlidePanelRegion().contains(QPoint(200, 100)));
    EXPECT_FALSE(SlidePanelRegion().contains(QPoint(4, 97)));
}

TEST(Regions, RoundRectOfDegenerateSizeIsEmpty) {
    EXPECT_TRUE(RoundRectRegion(10, 10, 10, 50, 15, 15).isEmpty());
    EXPECT_TRUE(RoundRectRegion(10, 50, 40, 10, 15, 15).isEmpty());
    // Corners larger than the rectangle still give a closed, non-empty shape.
    const QRegion r = RoundRectRegion(0, 0, 10, 10, 80, 80);
    EXPECT_TRUE(r.contains(QPoint(5, 5)));
    EXPECT_FALSE(r.contains(QPoint(0, 0)));
}

TEST_F(Window, StartsCompactWithTheCompactShapeAndSwitchesSize) {
    EXPECT_FALSE(frame->FullSize());
    EXPECT_EQ(frame->Shape(), CompactRegion());
    EXPECT_EQ(frame->mask(), CompactRegion());
    EXPECT_TRUE(messages.empty());

    frame->ToggleFullSize();
    EXPECT_TRUE(frame->FullSize());
    EXPECT_TRUE(player.fullSize);
    EXPECT_EQ(frame->mask(), FullRegion());
    EXPECT_TRUE(frame->Action(ID_FULL_SIZE)->isChecked());
    EXPECT_EQ(frame->SlidePanel()->Steps(), 69);
    EXPECT_TRUE(frame->SlidePanel()->isHidden());
    // On Top was off: it was switched on for the switch only.
    EXPECT_FALSE(frame->OnTop());

    frame->ToggleFullSize();
    EXPECT_FALSE(frame->FullSize());
    EXPECT_EQ(frame->mask(), CompactRegion());
    EXPECT_FALSE(frame->Action(ID_FULL_SIZE)->isChecked());
    EXPECT_EQ(frame->SlidePanel()->Steps(), 70);
}

TEST_F(Window, WindowMenuAndTrayMenu) {
    EXPECT_EQ(MenuIds(), kMenu);
    EXPECT_EQ(frame->Action(ID_ON_TOP)->text(), "On &Top");
    EXPECT_TRUE(frame->Action(ID_ON_TOP)->isChecked());
    EXPECT_EQ(frame->Action(ID_HIDE)->text(), "&Hide CD Player");
    EXPECT_EQ(frame->Action(ID_FULL_SIZE)->text(), "&Full Size...");
    EXPECT_EQ(frame->Action(ID_PREFERENCES)->text(), "&Preferences...");
    EXPECT_EQ(frame->Action(ID_APP_EXIT)->text(), "E&xit");
    EXPECT_EQ(frame->Action(ID_APP_ABOUT)->text(), "&About Tarvo...");

    // A right click on the window shows the whole menu.
    Click(frame.get(), QPoint(300, 60), QEvent::MouseButtonRelease, Qt::RightButton);
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(shownIds, kMenu);
    EXPECT_EQ(popupAt, frame->mapToGlobal(QPoint(300, 60)));

    // The tray menu has no size switch, and the item is back at position 2 afterwards. It opens
    // to the left of the cursor.
    frame->ShowTrayMenu(QPoint(900, 700));
    EXPECT_EQ(popups, 2);
    ASSERT_GT(popupWidth, 0);
    EXPECT_EQ(popupAt, QPoint(900 - popupWidth, 700));
    EXPECT_EQ(shownIds, (std::vector<int>{ID_ON_TOP, ID_HIDE, 0, ID_PREFERENCES, 0, ID_APP_EXIT, 0,
                                          ID_APP_ABOUT}));
    EXPECT_EQ(MenuIds(), kMenu);
    frame->TrayActivated(QSystemTrayIcon::Context);
    EXPECT_EQ(MenuIds(), kMenu);
}

TEST_F(Window, HideShowAndTrayDoubleClick) {
    frame->show();
    frame->ToggleHidden();
    EXPECT_TRUE(frame->isHidden());
    EXPECT_TRUE(frame->Hidden());
    EXPECT_EQ(frame->Action(ID_HIDE)->text(), "Show CD Player");
    frame->ToggleHidden();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->Action(ID_HIDE)->text(), "Hide CD Player");

    frame->Action(ID_HIDE)->trigger();
    EXPECT_TRUE(frame->isHidden());
    frame->Action(ID_HIDE)->trigger();
    EXPECT_TRUE(frame->isVisible());
    frame->ToggleHidden();
    frame->TrayActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->Hidden());
    EXPECT_EQ(frame->Action(ID_HIDE)->text(), "Hide CD Player");
}

TEST_F(Window, WithoutANotificationAreaTheWindowCannotBeHidden) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    frame->AddTrayIcon();
    EXPECT_EQ(frame->Tray(), nullptr);
    EXPECT_FALSE(frame->Action(ID_HIDE)->isEnabled());
    frame->show();
    frame->Action(ID_HIDE)->trigger();
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(Window, OnTopTogglesWithoutMovingTheWindow) {
    frame->show();
    const QPoint at = frame->pos();
    frame->SetOnTop(true);
    EXPECT_TRUE(frame->OnTop());
    EXPECT_TRUE(frame->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(frame->Action(ID_ON_TOP)->isChecked());
    frame->Action(ID_ON_TOP)->trigger();
    EXPECT_FALSE(frame->OnTop());
    EXPECT_FALSE(frame->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(frame->Action(ID_ON_TOP)->isChecked());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->pos(), at);
}

TEST_F(Window, PowerButtonCountsOnlyInsideItsHotSpot) {
    QWidget* power = frame->Control(117);
    ASSERT_NE(power, nullptr);
    // Outside the hot-spot: nothing, also for a press inside and a release outside.
    Click(power, QPoint(5, 5), QEvent::MouseButtonPress);
    Click(power, QPoint(5, 5), QEvent::MouseButtonRelease);
    Click(power, QPoint(42, 18), QEvent::MouseButtonPress);
    Click(power, QPoint(42, 18), QEvent::MouseButtonRelease);
    Click(power, QPoint(30, 18), QEvent::MouseButtonPress);
    Click(power, QPoint(30, 22), QEvent::MouseButtonRelease);
    EXPECT_FALSE(closed);
    // The corners of the hot-spot count.
    Click(power, QPoint(21, 15), QEvent::MouseButtonPress);
    Click(power, QPoint(41, 21), QEvent::MouseButtonRelease);
    EXPECT_TRUE(closed);
}

TEST_F(Window, ClosingStopsTheDiscWhenAskedAndClosesTheDevice) {
    ASSERT_EQ(player.device.Open("D:"), 0u);
    player.settings.StopCDOnExit = 1;
    mci.ClearLog();
    frame->show();
    frame->close();
    EXPECT_TRUE(closed);
    EXPECT_EQ(player.device.DeviceId(), 0u);
    const auto log = mci.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), "stop");
    EXPECT_EQ(log.back(), "close");
}

TEST_F(Window, LcdCellsComeFromTheFontAtTheirOffsets) {
    PollDisplay poll;
    poll.lcdText = "01 02:03 Ab?\xC3\xA9~";
    frame->ApplyPoll(poll);
    const QImage shot = Grab();
    const QImage font = Bitmap(184).convertToFormat(QImage::Format_RGB32);
    const std::string cells = "01 02:03 AB? ~";  // lower case shows in capitals
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int x = kLcdX + static_cast<int>(i) * 16;
        int fontX = LcdCellX(static_cast<unsigned char>(cells[i]));
        if (i == 12) fontX = 0;  // a character outside the font is a blank cell
        if (x + 16 > shot.width()) break;
        const QImage want = font.copy(fontX, 0, 16, 20);
        const QImage got = shot.copy(x, kLcdY, 16, 20);
        EXPECT_EQ(got, want) << "cell " << i;
    }
    // The cells differ, so a wrong offset cannot pass.
    EXPECT_NE(font.copy(LcdCellX('0'), 0, 16, 20), font.copy(LcdCellX('1'), 0, 16, 20));
}

namespace {

bool Blue(QRgb p) { return qRed(p) == 0 && qGreen(p) == 0 && qBlue(p) == 250; }
bool Frame(QRgb p) { return qRed(p) == 0 && qGreen(p) == 250 && qBlue(p) == 0; }

int BlueIn(const QImage& shot) {
    int blue = 0;
    for (int y = 80; y < 100; ++y)
        for (int x = 0; x < shot.width(); ++x)
            blue += Blue(shot.pixel(x, y));
    return blue;
}

}  // namespace

TEST_F(Window, ProgressBarIsFullAtTheEndOfATrackAndNeverWider) {
    for (unsigned elapsed : {200u, 201u, 100000u, 0xFFFFFFF0u}) {
        PollDisplay poll;
        poll.progress = true;
        poll.elapsed = elapsed;
        poll.length = 200;
        frame->ApplyPoll(poll);
        const QImage shot = Grab();
        // The blue rectangle covers exactly the 100 columns 30..129: its frame at 30 and 129,
        // blue between, in both inner rows; nothing of it at 130.
        for (int y : {88, 89}) {
            EXPECT_TRUE(Frame(shot.pixel(30, y)));
            for (int x = 31; x <= 128; ++x)
                ASSERT_TRUE(Blue(shot.pixel(x, y))) << x << "," << y;
            EXPECT_TRUE(Frame(shot.pixel(129, y)));
            EXPECT_FALSE(Blue(shot.pixel(130, y)) || Frame(shot.pixel(130, y)));
        }
        EXPECT_EQ(BlueIn(shot), 2 * 98) << elapsed;
    }
}

TEST_F(Window, ProgressBarGrowsWithTheTrackAndDrawsNoBlueForLengthZero) {
    PollDisplay poll;
    poll.progress = true;
    poll.elapsed = 50;
    poll.length = 100;
    frame->ApplyPoll(poll);
    QImage shot = Grab();
    EXPECT_TRUE(Blue(shot.pixel(78, 88)));
    EXPECT_TRUE(Frame(shot.pixel(79, 88)));
    EXPECT_FALSE(Blue(shot.pixel(80, 88)));
    EXPECT_EQ(BlueIn(shot), 2 * 48);

    poll.elapsed = 30;
    poll.length = 0;
    frame->ApplyPoll(poll);
    shot = Grab();
    EXPECT_EQ(BlueIn(shot), 0);
    EXPECT_TRUE(Frame(shot.pixel(30, 88)));
    EXPECT_TRUE(Frame(shot.pixel(129, 88)));
    EXPECT_EQ(qRgb(0, 0, 0), shot.pixel(60, 88) | 0xFF000000);
}

TEST_F(Window, PollFillsTheTrackListSelectsTheTrackAndMovesTheSlider) {
    PollDisplay poll;
    poll.trackList = std::vector<std::string>{"01 - One", "02 - Two", "03 - Three"};
    poll.selectTrack = 1;
    poll.sliderMax = 240;
    poll.sliderPos = 75;
    poll.mark = kPlayMark;
    frame->ApplyPoll(poll);
    auto* list = static_cast<QComboBox*>(frame->Control(115));
    auto* slider = static_cast<QSlider*>(frame->Control(200));
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(2), "03 - Three");
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(slider->maximum(), 240);
    EXPECT_EQ(slider->tickInterval(), 30);
    EXPECT_EQ(slider->value(), 75);
    // The play mark is drawn at (160, 55) from its bitmap.
    const QImage shot = Grab();
    const QImage mark = Bitmap(kPlayMark).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot.copy(160, 55, mark.width(), mark.height()), mark);
    // A poll of a stopped disc draws no mark: the panel shows there again.
    frame->ApplyPoll(PollDisplay{});
    const QImage stopped = Grab();
    const QImage panel = Bitmap(183).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(stopped.copy(160, 55, mark.width(), mark.height()),
              panel.copy(150, 4, mark.width(), mark.height()));

    // While the list is dropped down the thread leaves the selection alone.
    player.trackListDropped = true;
    poll = {};
    poll.selectTrack = 2;
    frame->ApplyPoll(poll);
    EXPECT_EQ(list->currentIndex(), 1);
}

TEST_F(Window, ControlsSitAtTheirPlacesWithTheirTooltips) {
    EXPECT_EQ(frame->Control(153)->geometry(), QRect(135, 100, 50, 30));
    EXPECT_EQ(frame->Control(117)->geometry(), QRect(0, 100, 55, 30));
    EXPECT_EQ(frame->Control(202)->geometry(), QRect(5, 134, 26, 17));
    EXPECT_EQ(frame->Control(634)->geometry(), QRect(362, 135, 32, 32));
    EXPECT_EQ(frame->Control(200)->geometry(), QRect(40, 179, 320, 20));
    EXPECT_EQ(frame->Control(153)->toolTip(), "Play");
    EXPECT_EQ(frame->Control(114)->toolTip(), "Play Random Tracks");
    EXPECT_EQ(frame->Control(115)->toolTip(), "Select a Track to Play");
    EXPECT_EQ(frame->Control(200)->toolTip(), "Song Position Seek.");
    EXPECT_TRUE(frame->Control(116)->toolTip().isEmpty());
    EXPECT_EQ(frame->windowTitle(), "Orvane CDA");
    EXPECT_EQ(frame->size(), QSize(403, 203));
}

TEST_F(Window, TheFocusedButtonIsMarkedAndTheKeyboardStaysOnWhatTheShapeShows) {
    ASSERT_EQ(player.device.Open("D:"), 0u);
    frame->show();
    frame->activateWindow();
    QApplication::processEvents();
    // The keyboard starts on Play, which shows it: Space plays.
    QWidget* play = frame->Control(153);
    ASSERT_TRUE(play->hasFocus());
    const QImage up = Bitmap(143).convertToFormat(QImage::Format_RGB32);
    EXPECT_NE(play->grab().toImage().convertToFormat(QImage::Format_RGB32), up);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QKeyEvent spaceUp(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(play, &space);
    QApplication::sendEvent(play, &spaceUp);
    EXPECT_EQ(mci.mode, static_cast<DWORD>(MCI_MODE_PLAY));
    // Tab goes round the controls the compact shape shows, never into the cut-off panel.
    std::set<QWidget*> reached;
    for (int i = 0; i < 20; ++i) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        EXPECT_TRUE(frame->Shape().contains(focused->geometry().center())) << i;
        reached.insert(focused);
    }
    EXPECT_EQ(reached.size(), 8u);  // the transport row: the logo beside it is only a picture
    // Once the window is moved off the button, its mark goes with the focus.
    frame->Control(156)->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(play->grab().toImage().convertToFormat(QImage::Format_RGB32), up);
    // At full size the lower panel is in reach; back at compact size a focus there goes to Play.
    frame->SetWait([](unsigned) { QCoreApplication::processEvents(); });  // the panel slides
    frame->ToggleFullSize();
    QApplication::processEvents();
    EXPECT_TRUE(frame->isActiveWindow());  // the sliding panel does not keep the keyboard
    frame->Control(110)->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(frame->Control(110)->hasFocus());
    frame->ToggleFullSize();
    QApplication::processEvents();
    EXPECT_TRUE(play->hasFocus());
    frame->hide();
}

TEST_F(Window, ButtonsRunTheirCommands) {
    ASSERT_EQ(player.device.Open("D:"), 0u);
    mci.ClearLog();
    static_cast<QAbstractButton*>(frame->Control(153))->click();
    EXPECT_EQ(mci.mode, static_cast<DWORD>(MCI_MODE_PLAY));
    static_cast<QAbstractButton*>(frame->Control(110))->click();
    EXPECT_EQ(player.modes.IntroScanOn, 1u);
    static_cast<QAbstractButton*>(frame->Control(114))->click();
    EXPECT_EQ(player.modes.RandomOn, 1u);
    EXPECT_EQ(player.modes.IntroScanOn, 0u);
    static_cast<QAbstractButton*>(frame->Control(154))->click();
    EXPECT_EQ(player.modes.RandomOn, 0u);
    EXPECT_EQ(mci.mode, static_cast<DWORD>(MCI_MODE_STOP));
    // The CD database and program buttons refuse without a disc.
    player.discPresent = false;
    static_cast<QAbstractButton*>(frame->Control(202))->click();
    static_cast<QAbstractButton*>(frame->Control(111))->click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(
        messages[0],
        "There is no Disc Loaded!, you cannot edit the track names, if the CD is not in drive!");
}

TEST_F(Window, SkipButtonMovesTheTargetWhileHeld) {
    ASSERT_EQ(player.device.Open("D:"), 0u);
    mci.PlayingAt(60);
    QWidget* forward = frame->Control(155);
    Click(forward, QPoint(10, 10), QEvent::MouseButtonPress);
    EXPECT_TRUE(player.skipForward.Held());
    EXPECT_EQ(player.modes.Seeking.load(), 1u);
    const auto start = player.skipForward.Target();
    auto* button = static_cast<SkipButtonWidget*>(forward);
    const auto seconds = [this] {
        return MsfSeconds(static_cast<DWORD>(player.skipForward.Target()));
    };
    button->OnTick();
    EXPECT_EQ(seconds(), MsfSeconds(static_cast<DWORD>(start)) + 2);

    // With the pointer moved off the held button it shows released and the target rests; back
    // over it, the target moves on.
    const auto move = [&](QPoint at) {
        QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(forward->mapToGlobal(at)),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(forward, &e);
    };
    move(QPoint(-30, 10));
    EXPECT_FALSE(button->isDown());
    button->OnTick();
    EXPECT_EQ(seconds(), MsfSeconds(static_cast<DWORD>(start)) + 2);
    move(QPoint(12, 12));
    EXPECT_TRUE(button->isDown());
    button->OnTick();
    EXPECT_EQ(seconds(), MsfSeconds(static_cast<DWORD>(start)) + 4);
    EXPECT_EQ(player.skipForward.Ticks(), 2);

    Click(forward, QPoint(10, 10), QEvent::MouseButtonRelease);
    EXPECT_FALSE(player.skipForward.Held());
    EXPECT_EQ(player.skipForward.Target(), -1);
    EXPECT_EQ(player.modes.Seeking.load(), 0u);
    EXPECT_EQ(mci.DiscSeconds(), 64u);
    EXPECT_FALSE(button->isDown());
}

TEST(Messenger, AWaitingWorkerIsReleasedWhenThePlayerCloses) {
    QtMessenger messenger;
    int answer = 0;
    std::thread worker([&] { answer = messenger.MessageBox("from the worker", "", MB_OK); });
    // The box is queued to the GUI thread; closing lets the worker go without showing it.
    std::this_thread::yield();
    messenger.Cancel();
    worker.join();
    EXPECT_EQ(answer, IDCANCEL);
    QCoreApplication::processEvents();  // the queued box sees the cancellation and shows nothing
    EXPECT_EQ(messenger.MessageBox("after", "", MB_OK), IDCANCEL);
}

TEST(Artwork, PicturesHaveTheSizesTheWindowDrawsThemAt) {
    const std::vector<std::tuple<int, int, int>> sizes = {
        {132, 400, 40},  {134, 400, 60}, {183, 380, 40}, {184, 1024, 20}, {185, 399, 69},
        {186, 128, 128}, {189, 56, 46},  {190, 4, 7},    {191, 6, 7},     {192, 5, 7},
        {182, 55, 30},   {213, 55, 30},  {143, 50, 30},  {142, 50, 30},   {181, 60, 30},
        {196, 26, 17},   {197, 26, 17},  {201, 32, 32},  {202, 32, 32},   {203, 92, 16},
        {205, 73, 16},   {207, 60, 16},  {209, 70, 16},  {210, 70, 16}};
    for (const auto& [id, w, h] : sizes)
        EXPECT_EQ(Bitmap(id).size(), QSize(w, h)) << id;
    for (int id : {136, 137, 138, 139, 140, 141, 144, 145, 146, 147, 148, 149})
        EXPECT_EQ(Bitmap(id).size(), QSize(40, 30)) << id;
    EXPECT_FALSE(QImage(":/icons/128.png").isNull());
    // Up and down images differ, so a press shows.
    EXPECT_NE(Bitmap(143), Bitmap(142));
    // The blank mark is the display panel's colour at the mark's place, so it hides the mark.
    EXPECT_EQ(Bitmap(191).pixel(0, 0), Bitmap(183).pixel(150, 4));
}

TEST_F(Window, StatusThreadPollsReachTheWindowOnTheGuiThread) {
    ASSERT_EQ(player.device.Open("D:"), 0u);
    orvane::test::TempDir dir;
    player.databasePath = (dir / "Nerop.DB").string();
    mci.PlayingAt(2 + 40 + 5);  // five seconds into track 2
    CStatusThread status(player, *frame);
    std::thread poller([&] { status.Poll(); });
    poller.join();
    EXPECT_TRUE(frame->LcdText().empty());  // nothing is drawn off the GUI thread
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->LcdText().substr(0, 15), "02 00:47 00:45 ");
    auto* list = static_cast<QComboBox*>(frame->Control(115));
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), "01 - TRACK 1");
    EXPECT_EQ(list->currentIndex(), 1);
    // The new database's messages went through the window's message boxes.
    EXPECT_EQ(messages, (std::vector<std::string>{"Error: Can't open database file Nerop.DB",
                                                  "A new database was created."}));
}

TEST_F(Window, DraggingTheBackgroundMovesTheWindow) {
    frame->show();
    frame->move(100, 100);
    const QPoint press(300, 60);
    Click(frame.get(), press, QEvent::MouseButtonPress);
    const QPoint target = QPoint(100, 100) + press + QPoint(37, -21);
    QMouseEvent move(QEvent::MouseMove, QPointF(press), QPointF(target), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &move);
    EXPECT_EQ(frame->pos(), QPoint(137, 79));
    Click(frame.get(), press, QEvent::MouseButtonRelease);
    // After the release the mouse no longer moves it.
    QMouseEvent after(QEvent::MouseMove, QPointF(press), QPointF(0, 0), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &after);
    EXPECT_EQ(frame->pos(), QPoint(137, 79));
}

TEST_F(Window, ClosingWhileTheDiscPlaysHandsItToTheBackgroundProgram) {
    orvane::test::TempDir dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime ? runtime : "";
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    // Stands in for the background player: writes the arguments it was started with.
    const std::string program = (dir / "keep-playing").string();
    orvane::test::WriteFile(program, "#!/bin/sh\necho \"$@\" > \"$0.args\"\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    frame->SetBackgroundProgram(program);

    player.device.Open("D:");
    player.driveLetter = 'D';
    player.settings.StopCDOnExit = 0;
    mci.PlayingAt(100);
    frame->close();
    EXPECT_TRUE(closed);
    EXPECT_EQ(mci.mode, MCI_MODE_STOP);  // stopped here, played on there
    std::string args;
    for (int i = 0; i < 2000 && args.empty(); ++i) {  // the program runs on its own
        if (std::filesystem::exists(program + ".args"))
            args = orvane::test::ReadFile(program + ".args");
        if (args.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(args, "--keep-playing D: " + std::to_string(MCI_MAKE_MSF(1, 40, 0)) + "\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "TarvoBackground.sock"));
    if (runtime)
        ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
}
