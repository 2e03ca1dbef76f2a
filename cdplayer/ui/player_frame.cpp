#include "cdplayer/ui/player_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cstdio>

#include "cdplayer/background.h"
#include "cdplayer/dialogs.h"
#include "cdplayer/resource.h"
#include "cdplayer/status_thread.h"
#include "cdplayer/ui/dialogs_ui.h"
#include "cdplayer/ui/drawing.h"
#include "cdplayer/ui/regions.h"
#include "platform/clock/clock.h"
#include "platform/registry/profile.h"

namespace orvane::cdplayer::ui {

namespace {

using Run = void (*)(CPlayerFrame& frame, PlayerState& player);

// The image buttons of the window: transport row first, then the lower panel (sized to their
// images). Each press runs its command; the hold-to-scan buttons and the logo have none.
struct ButtonEntry {
    int id;
    QRect rect;
    int up;
    int down;
    const char* tip;
    Run run;
};

const ButtonEntry kButtons[] = {
    {IDC_POWER, QRect(QPoint(0, 100), QPoint(54, 129)), IDB_POWER_UP, IDB_POWER_DOWN,
     "Power Button", [](CPlayerFrame& f, PlayerState&) { f.close(); }},
    {IDC_PREVIOUS_TRACK, QRect(QPoint(55, 100), QPoint(94, 129)), IDB_PREVIOUS_UP,
     IDB_PREVIOUS_DOWN, "Previous Track",
     [](CPlayerFrame&, PlayerState& p) { PreviousTrackCommand(p); }},
    {IDC_SKIP_BACKWARDS, QRect(QPoint(95, 100), QPoint(134, 129)), IDB_SKIP_BACKWARDS_UP,
     IDB_SKIP_BACKWARDS_DOWN, "Skip Backwards", nullptr},
    {IDC_PLAY, QRect(QPoint(135, 100), QPoint(184, 129)), IDB_PLAY_UP, IDB_PLAY_DOWN, "Play",
     [](CPlayerFrame&, PlayerState& p) { PlayPauseCommand(p); }},
    {IDC_SKIP_FORWARD, QRect(QPoint(185, 100), QPoint(224, 129)), IDB_SKIP_FORWARD_UP,
     IDB_SKIP_FORWARD_DOWN, "Skip Forward", nullptr},
    {IDC_NEXT_TRACK, QRect(QPoint(225, 100), QPoint(264, 129)), IDB_NEXT_UP, IDB_NEXT_DOWN,
     "Next Track", [](CPlayerFrame&, PlayerState& p) { NextTrackCommand(p); }},
    {IDC_STOP, QRect(QPoint(265, 100), QPoint(304, 129)), IDB_STOP_UP, IDB_STOP_DOWN, "Stop",
     [](CPlayerFrame&, PlayerState& p) { StopCommand(p); }},
    {IDC_EJECT, QRect(QPoint(305, 100), QPoint(344, 129)), IDB_EJECT_UP, IDB_EJECT_DOWN, "Eject",
     [](CPlayerFrame&, PlayerState& p) { EjectCommand(p); }},
    {IDC_LOGO, QRect(QPoint(345, 100), QPoint(404, 129)), IDB_LOGO, 0, nullptr, nullptr},
    {IDC_CD_DATABASE, QRect(5, 134, 0, 0), IDB_DATABASE_UP, IDB_DATABASE_DOWN, "CD Song Database",
     [](CPlayerFrame& f, PlayerState&) { f.RunCdDatabase(); }},
    {IDC_SETTINGS, QRect(362, 135, 0, 0), IDB_SETTINGS_UP, IDB_SETTINGS_DOWN,
     "Change Configuration Settings", [](CPlayerFrame& f, PlayerState&) { f.RunPreferences(); }},
    {IDC_INTRO_SCAN, QRect(57, 135, 0, 0), IDB_INTRO_UP, IDB_INTRO_DOWN, "Intro Scan",
     [](CPlayerFrame&, PlayerState& p) { IntroScanCommand(p); }},
    {IDC_PROGRAM, QRect(150, 135, 0, 0), IDB_PROGRAM_UP, IDB_PROGRAM_DOWN, "Program",
     [](CPlayerFrame& f, PlayerState&) { f.RunProgram(); }},
    {IDC_REPEAT, QRect(224, 135, 0, 0), IDB_REPEAT_UP, IDB_REPEAT_DOWN, "Repeat",
     [](CPlayerFrame&, PlayerState& p) { RepeatCommand(p); }},
    {IDC_RANDOM, QRect(285, 135, 0, 0), IDB_RANDOM_UP, IDB_RANDOM_DOWN, "Play Random Tracks",
     [](CPlayerFrame&, PlayerState& p) { RandomCommand(p); }},
};

// The popup menu in its order; id 0 is a separator.
struct MenuEntry {
    int id;
    const char* text;
    Run run;
};

const MenuEntry kMenu[] = {
    {ID_ON_TOP, "On &Top", [](CPlayerFrame& f, PlayerState&) { f.ToggleOnTop(); }},
    {ID_HIDE, "&Hide CD Player", [](CPlayerFrame& f, PlayerState&) { f.ToggleHidden(); }},
    {ID_FULL_SIZE, "&Full Size...", [](CPlayerFrame& f, PlayerState&) { f.ToggleFullSize(); }},
    {0, nullptr, nullptr},
    {ID_PREFERENCES, "&Preferences...", [](CPlayerFrame& f, PlayerState&) { f.RunPreferences(); }},
    {0, nullptr, nullptr},
    {ID_APP_EXIT, "E&xit", [](CPlayerFrame& f, PlayerState&) { f.close(); }},
    {0, nullptr, nullptr},
    {ID_APP_ABOUT, "&About Tarvo...", [](CPlayerFrame& f, PlayerState&) { f.RunAbout(); }},
};

}  // namespace

CPlayerFrame::CPlayerFrame(PlayerState& player, QtMessenger& messenger, registry::Profile* profile)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint),
      player_(player),
      messenger_(messenger),
      profile_(profile),
      band132_(Bitmap(IDB_TOP_BAND)),
      band134_(Bitmap(IDB_MIDDLE_BAND)),
      panel183_(Bitmap(IDB_DISPLAY)),
      panel185_(Bitmap(IDB_LOWER_PANEL)),
      font184_(Bitmap(IDB_LCD_FONT)) {
    for (int id : {kPlayMark, kBlankMark, kPauseMark})
        marks_[id] = Bitmap(id);
    setWindowTitle("Orvane CDA");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(0, 0, 403, 203);
    setFixedSize(403, 203);
    wait_ = [](unsigned ms) {
        QCoreApplication::processEvents();
        clock::Sleep(ms);
    };
    popupRunner_ = [](QMenu* menu, const QPoint& at) { menu->exec(at); };
    BuildMenu();
}

CPlayerFrame::~CPlayerFrame() {
    if (tray_) tray_->hide();
}

void CPlayerFrame::BuildMenu() {
    popup_ = std::make_unique<QMenu>("&File");
    for (const MenuEntry& entry : kMenu) {
        if (entry.id == 0) {
            popup_->addSeparator();
            continue;
        }
        QAction* a = popup_->addAction(entry.text);
        a->setData(entry.id);
        actions_[entry.id] = a;
        const int id = entry.id;
        connect(a, &QAction::triggered, this, [this, id] { Command(id); });
    }
    actions_[ID_ON_TOP]->setCheckable(true);
    actions_[ID_ON_TOP]->setChecked(true);
    actions_[ID_FULL_SIZE]->setCheckable(true);
}

QAction* CPlayerFrame::Action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QWidget* CPlayerFrame::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void CPlayerFrame::Command(int id) {
    for (const ButtonEntry& entry : kButtons) {
        if (entry.id == id && entry.run) return entry.run(*this, player_);
    }
    for (const MenuEntry& entry : kMenu) {
        if (entry.id == id && entry.run) return entry.run(*this, player_);
    }
}

void CPlayerFrame::BuildRegions() {
    region1_ = PlayerRegion1();
    if (region1_.isEmpty()) messenger_.MessageBox("Error: Can't Create Region 1", "", MB_OK);
    region2_ = PlayerRegion2();
    if (region2_.isEmpty()) messenger_.MessageBox("Error: Can't Create Region 2", "", MB_OK);
    compact_ = CompactRegion();
    full_ = region1_.united(region2_);
    if (full_.isEmpty()) messenger_.MessageBox("Error: Can't Combine Regions.", "", MB_ICONERROR);
    shape_ = player_.fullSize ? full_ : compact_;
    setMask(shape_);
    update();
}

void CPlayerFrame::CreateControls() {
    for (const ButtonEntry& entry : kButtons) {
        const QImage up = Bitmap(entry.up);
        const QImage down = entry.down ? Bitmap(entry.down) : QImage();
        ImageButton* button = nullptr;
        if (entry.id == IDC_POWER)
            button = new CPowerButton(this, entry.id, up, down);
        else if (entry.id == IDC_SKIP_FORWARD)
            button = new SkipButtonWidget(this, entry.id, up, down, player_, player_.skipForward);
        else if (entry.id == IDC_SKIP_BACKWARDS)
            button = new SkipButtonWidget(this, entry.id, up, down, player_, player_.skipBackwards);
        else
            button = new ImageButton(this, entry.id, up, down);
        QRect r = entry.rect;
        if (r.width() <= 0) r.setSize(up.size());
        button->setGeometry(r);
        if (entry.tip) button->setProperty("tip", QString(entry.tip));
        if (entry.id == IDC_LOGO) {
            // An image only: a press on it drags the window like the background.
            button->setAttribute(Qt::WA_TransparentForMouseEvents);
            button->setFocusPolicy(Qt::NoFocus);
        } else if (entry.run) {
            const int id = entry.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] { Command(id); });
        }
        controls_[entry.id] = button;
    }
    auto* list = new TrackList(this, player_);
    list->setObjectName(QString("id%1").arg(IDC_TRACK_LIST));
    list->setGeometry(58, 152, 297, 22);
    list->setFont(QFont("DejaVu Sans", 8));
    list->setMaxVisibleItems(8);
    list->setProperty("tip", QString("Select a Track to Play"));
    connect(list, &QComboBox::activated, this,
            [this](int index) { PlayTrackCommand(player_, index); });
    controls_[IDC_TRACK_LIST] = list;
    KeepKeyboardOnShownControls();

    QIcon icon(IconPath(IDR_MAINFRAME));
    setWindowIcon(icon);
}

void CPlayerFrame::KeepKeyboardOnShownControls() {
    for (auto& [id, widget] : controls_) {
        if (!widget->property("ownFocus").isValid())
            widget->setProperty("ownFocus", static_cast<int>(widget->focusPolicy()));
        // The controls the window's shape cuts off (the lower panel at compact size) are out of
        // the keyboard's reach as well.
        const bool shown = shape_.isEmpty() || shape_.contains(widget->geometry().center());
        widget->setFocusPolicy(
            shown ? static_cast<Qt::FocusPolicy>(widget->property("ownFocus").toInt())
                  : Qt::NoFocus);
    }
    // The keyboard starts on Play, and goes back there from a control that was cut off.
    QWidget* focused = focusWidget();
    if (!focused || focused->focusPolicy() == Qt::NoFocus) {
        if (QWidget* play = Control(IDC_PLAY)) play->setFocus(Qt::OtherFocusReason);
    }
}

void CPlayerFrame::AddTrayIcon() {
    // Without a notification area the player works the same and says nothing; only hiding is
    // not offered, since nothing could show the window again.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        Action(ID_HIDE)->setEnabled(false);
        return;
    }
    tray_ = new QSystemTrayIcon(QIcon(IconPath(IDR_MAINFRAME)), this);
    tray_->setToolTip("Orvane CD Player");
    connect(tray_, &QSystemTrayIcon::activated, this, &CPlayerFrame::TrayActivated);
    tray_->show();
}

void CPlayerFrame::CreateSlidePanel() {
    slidePanel_ = std::make_unique<CSlidePanel>([this](unsigned ms) { Wait(ms); });
}

void CPlayerFrame::CreateSlider() {
    auto* slider = new SeekSlider(this, player_.slider);
    slider->setObjectName(QString("id%1").arg(IDC_SEEK_SLIDER));
    slider->setGeometry(QRect(QPoint(40, 179), QPoint(359, 198)));
    slider->setRange(0, 0);
    slider->setProperty("tip", QString("Song Position Seek."));
    slider->show();
    controls_[IDC_SEEK_SLIDER] = slider;
    KeepKeyboardOnShownControls();
}

void CPlayerFrame::CreateTooltips() {
    for (auto& [id, widget] : controls_) {
        const QVariant tip = widget->property("tip");
        if (tip.isValid()) widget->setToolTip(tip.toString());
    }
}

void CPlayerFrame::Wait(unsigned ms) { wait_(ms); }

void CPlayerFrame::RunPopup(QMenu* menu, const QPoint& at) { popupRunner_(menu, at); }

void CPlayerFrame::PauseStatus() {
    if (statusThread_) statusThread_->Pause();
}

void CPlayerFrame::ContinueStatus() {
    if (statusThread_) statusThread_->Continue();
}

void CPlayerFrame::ShowPoll(const PollDisplay& display) {
    QMetaObject::invokeMethod(
        this, [this, display] { ApplyPoll(display); }, Qt::QueuedConnection);
}

int CPlayerFrame::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return messenger_.MessageBox(text, caption, flags);
}

void CPlayerFrame::FillTrackList(const std::vector<std::string>& items, int select) {
    auto* list = static_cast<QComboBox*>(Control(IDC_TRACK_LIST));
    if (!list) return;
    const QSignalBlocker block(list);
    list->clear();
    for (const std::string& item : items)
        list->addItem(QString::fromStdString(item));
    if (select >= 0 && select < list->count()) list->setCurrentIndex(select);
}

void CPlayerFrame::ApplyPoll(const PollDisplay& d) {
    if (d.invalidate) {
        // A repaint of the whole window shows the bare picture until the next drawing.
        progressShown_ = false;
        mark_ = 0;
    }
    if (d.trackList) {
        auto* list = static_cast<QComboBox*>(Control(IDC_TRACK_LIST));
        FillTrackList(*d.trackList, list ? list->currentIndex() : -1);
    }
    if (!d.lcdText.empty()) lcdText_ = d.lcdText;
    if (d.progress) {
        progressShown_ = true;
        elapsed_ = d.elapsed;
        length_ = d.length;
    }
    if (d.selectTrack >= 0 && !player_.trackListDropped) {
        if (auto* list = static_cast<QComboBox*>(Control(IDC_TRACK_LIST));
            list && d.selectTrack < list->count() && list->currentIndex() != d.selectTrack) {
            const QSignalBlocker block(list);
            list->setCurrentIndex(d.selectTrack);
        }
    }
    if (auto* slider = static_cast<QSlider*>(Control(IDC_SEEK_SLIDER))) {
        const QSignalBlocker block(slider);
        if (d.sliderMax) {
            slider->setRange(0, *d.sliderMax);
            slider->setTickInterval(30);
        }
        if (d.sliderPos && !slider->isSliderDown()) slider->setValue(*d.sliderPos);
    }
    // A poll that draws no mark (the disc stopped) leaves none.
    mark_ = d.mark;
    update();
}

void CPlayerFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The window is a little larger than its pictures; the edges take the body's dark colour.
    p.fillRect(rect(), QColor(34, 36, 43));
    p.drawImage(0, 0, band132_);
    p.drawImage(0, 40, band134_);
    p.drawImage(10, 51, panel183_);
    p.drawImage(0, 130, panel185_);

    QFont small("Small Fonts");
    small.setPointSize(6);
    p.setFont(small);
    p.setPen(QColor(0, 255, 0));
    const auto label = [&p](int x, int y, const QString& text) {
        p.drawText(QRect(x, y, 200, 12), Qt::AlignLeft | Qt::AlignTop, text);
    };
    label(20, 51, "TRACK");
    label(77, 51, "ELAPSED TIME");
    label(179, 51, "SONG TIME");
    std::string discName;
    {
        std::lock_guard lock(player_.lock);
        discName = player_.CurrentDiscName;
    }
    label(250, 51, QString::fromStdString(discName));

    if (!lcdText_.empty()) DrawLcdText(p, font184_, kLcdX, kLcdY, lcdText_);
    if (mark_) p.drawImage(160, 55, marks_[mark_]);
    if (progressShown_) DrawProgressBar(p, elapsed_, length_);
}

void CPlayerFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    // Wayland lets no program place its own windows; the compositor moves it instead.
    if (QGuiApplication::platformName().startsWith("wayland") && windowHandle() &&
        windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    pressPoint_ = event->position().toPoint();
    grabMouse();
}

void CPlayerFrame::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) move(event->globalPosition().toPoint() - pressPoint_);
}

void CPlayerFrame::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        releaseMouse();
    } else if (event->button() == Qt::RightButton) {
        RunPopup(popup_.get(), event->globalPosition().toPoint());
    }
}

void CPlayerFrame::showEvent(QShowEvent* event) {
    // Each showing centres the window on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }
    QWidget::showEvent(event);
}

void CPlayerFrame::SetOnTop(bool on) {
    onTop_ = on;
    if (QAction* a = Action(ID_ON_TOP)) a->setChecked(on);
    // Changed on the native window, so the window neither hides nor moves.
    if (QWindow* w = windowHandle())
        w->setFlag(Qt::WindowStaysOnTopHint, on);
    else
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
}

void CPlayerFrame::ToggleHidden() {
    QAction* item = Action(ID_HIDE);
    if (!hidden_) {
        hide();
        item->setText("Show CD Player");
        hidden_ = true;
    } else {
        item->setText("Hide CD Player");
        show();
        raise();
        activateWindow();
        hidden_ = false;
    }
}

void CPlayerFrame::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Context) {
        ShowTrayMenu(QCursor::pos());
    } else if (reason == QSystemTrayIcon::DoubleClick) {
        Action(ID_HIDE)->setText("Hide CD Player");
        show();
        raise();
        activateWindow();
        hidden_ = false;
    }
}

void CPlayerFrame::ShowTrayMenu(const QPoint& at) {
    raise();
    activateWindow();
    // The tray menu has no size switch; the item goes back at its place afterwards.
    QAction* full = Action(ID_FULL_SIZE);
    popup_->removeAction(full);
    // Right-aligned: the menu's top-right corner is at the cursor.
    RunPopup(popup_.get(), QPoint(at.x() - popup_->sizeHint().width(), at.y()));
    const QList<QAction*> items = popup_->actions();
    popup_->insertAction(items.size() > 2 ? items[2] : nullptr, full);
}

void CPlayerFrame::ToggleFullSize() {
    const bool wasOnTop = onTop_;
    const bool wasActive = isActiveWindow();
    if (!wasOnTop) SetOnTop(true);
    BuildRegions();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    PauseStatus();
    const QPoint origin = pos();
    if (player_.fullSize) {
        Action(ID_FULL_SIZE)->setChecked(false);
        shape_ = compact_;
        setMask(shape_);
        player_.fullSize = false;
        if (slidePanel_) slidePanel_->SlideIn(origin.x(), origin.y());
    } else {
        if (slidePanel_) slidePanel_->SlideOut(origin.x(), origin.y());
        Action(ID_FULL_SIZE)->setChecked(true);
        shape_ = full_;
        setMask(shape_);
        player_.fullSize = true;
    }
    KeepKeyboardOnShownControls();
    QApplication::restoreOverrideCursor();
    if (!wasOnTop) SetOnTop(false);
    // Where showing the sliding panel took the activation, the keyboard comes back here.
    if (wasActive) activateWindow();
    ContinueStatus();
}

void CPlayerFrame::RunPreferences() {
    CSetupProp sheet(player_, messenger_, driveType_, this);
    sheet.OnSave([this] {
        if (!profile_) return;
        std::lock_guard lock(player_.lock);
        player_.settings.Save(*profile_);
    });
    sheet.exec();
}

void CPlayerFrame::RunAbout() {
    CAboutDlg about(this);
    about.SetPauser([this] { PauseStatus(); }, [this] { ContinueStatus(); });
    about.SetWait(wait_);
    about.exec();
}

void CPlayerFrame::RunCdDatabase() {
    if (!DiscLoadedForDialog(player_, messenger_)) return;
    CCdDatabaseDlg dialog(player_, messenger_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<std::string> items = dialog.ApplyOk();
    auto* list = static_cast<QComboBox*>(Control(IDC_TRACK_LIST));
    FillTrackList(items, list ? list->currentIndex() : -1);
    QApplication::restoreOverrideCursor();
    update();
}

void CPlayerFrame::RunProgram() {
    if (!DiscLoadedForDialog(player_, messenger_)) return;
    CProgramDlg dialog(player_, messenger_, this);
    if (dialog.exec() == QDialog::Accepted) dialog.ApplyOk();
}

void CPlayerFrame::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    if (tray_) tray_->hide();
    // A status thread waiting for a message box is let go before it is stopped.
    messenger_.Cancel();
    if (statusThread_) statusThread_->Stop();
    std::string why;
    if (!KeepPlayingInBackground(player_, backgroundProgram_, why) && !why.empty())
        std::fprintf(stderr, "Tarvo: the disc stops with the player: %s\n", why.c_str());
    CloseDevice(player_);
    if (slidePanel_) slidePanel_->close();
    event->accept();
    if (closed_) closed_();
}

}  // namespace orvane::cdplayer::ui
