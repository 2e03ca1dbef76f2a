// The grabber dialog under the offscreen platform, driven the way a user drives it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/settings_store.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/app/ui/views.h"
#include "encoder/cdda/cd_job.h"
#include "encoder/cdda/disc_extras.h"
#include "encoder/cdda/musicbrainz_info.h"
#include "encoder/cdda/name_source.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/cdda/track_list.h"
#include "encoder/cdda/ui/cd_info_lookup.h"
#include "encoder/cdda/ui/cdda_views.h"
#include "encoder/controls/ui/drawn_button.h"
#include "encoder/ctdb/ctdb_sums.h"
#include "encoder/ctdb/ctdb_toc.h"
#include "encoder/freedb/disc_ids.h"
#include "encoder/freedb/freedb_resource.h"
#include "encoder/freedb/loopback_server.h"
#include "encoder/freedb/ui/freedb_views.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "platform/registry/winreg.h"
#include "platform/window/qt/up_down.h"
#include "support/first_start.h"
#include "support/wma_util.h"
#include "tests/encoder/app/ui/window_script.h"
#include "tests/encoder/cdda/transport_fixture.h"
#include "tests/encoder/coverart/test_images.h"

namespace orvane::cdda {
namespace {

template <typename T = QWidget>
T* Find(QWidget* w, int id) {
    return w->findChild<T*>(QString("id%1").arg(id));
}

class GrabberView : public ::testing::Test {
protected:
    void SetUp() override {
        encoder::EncoderApp& app = encoder::TheApp();
        app.settings = &settings_;
        app.windowEffects = 0;
        app.lastCd.clear();
        if (app.genreList.empty()) encoder::FillGenreList(app.genreList);
        // Tracks of 1, 2 and 4 minutes.
        transport_ =
            std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{
                test::ImageOf(dir_, {4500, 9000, 18000})});
        encoder::ui::Hooks().messageBox = [this](const std::string& text, const std::string&,
                                                 unsigned) {
            boxes_.push_back(text);
            return IDOK;
        };
    }
    void TearDown() override { encoder::ui::Hooks() = {}; }

    // Runs the dialog; steps runs once it is shown and must end it.
    int Run(std::function<void(QWidget*)> steps) {
        encoder::ui::Hooks().shown = [steps](QWidget* w, int id) {
            if (id == IDD_CDA_GRABBER) QTimer::singleShot(0, w, [w, steps] { steps(w); });
        };
        return ui::RunCdGrabber(nullptr);
    }
    static std::string Text(QWidget* w, int id) {
        if (auto* l = Find<QLabel>(w, id)) return l->text().toStdString();
        if (auto* b = Find<QAbstractButton>(w, id)) return b->text().toStdString();
        return {};
    }
    static void Click(QWidget* w, int id) { Find<QAbstractButton>(w, id)->click(); }

    test::TempDir dir_;
    encoder::MemorySettings settings_;
    std::unique_ptr<test::Transport> transport_;
    std::vector<std::string> boxes_;
};

TEST_F(GrabberView, ChecksTotalsNamesAndConfirmation) {
    int result = Run([this](QWidget* w) {
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        ASSERT_EQ(tree->topLevelItemCount(), 3);
        EXPECT_EQ(tree->topLevelItem(2)->text(2).toStdString(), "04:00");
        EXPECT_EQ(tree->topLevelItem(2)->text(5).toStdString(), "Unknown");
        EXPECT_EQ(Text(w, IDC_CD_DISCSIZE), "72 MBytes");

        // OK without a checked row keeps the dialog.
        Click(w, IDOK);
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0], "You did not selected any Audio track for reading...!");

        tree->topLevelItem(0)->setCheckState(0, Qt::Checked);
        tree->topLevelItem(2)->setCheckState(0, Qt::Checked);
        EXPECT_EQ(Text(w, IDC_CD_SELCOUNT), "2 Track(s) ");
        EXPECT_EQ(Text(w, IDC_CD_SELTIME), "00:05:00 ");
        EXPECT_EQ(Text(w, IDC_CD_SELSIZE), "52.9 MB ");

        Click(w, IDC_CD_SELECTALL);
        EXPECT_EQ(Text(w, IDC_CD_SELCOUNT), "3 Track(s) ");
        EXPECT_EQ(Text(w, IDC_CD_SELECTALL), "Deselect &All Tracks");
        EXPECT_EQ(tree->topLevelItem(1)->checkState(0), Qt::Checked);
        Click(w, IDC_CD_SELECTALL);
        EXPECT_EQ(Text(w, IDC_CD_SELCOUNT), "0 Track(s) ");
        EXPECT_EQ(Text(w, IDC_CD_SELSIZE), "0.0 MB ");
        EXPECT_EQ(Text(w, IDC_CD_SELTIME), "00:00:00 ");

        // Names: 25 characters are kept, 26 refused.
        tree->topLevelItem(1)->setText(0, QString(26, 'x'));
        EXPECT_EQ(tree->topLevelItem(1)->text(0).toStdString(), "Track2");
        tree->topLevelItem(1)->setText(0, QString(25, 'y'));
        EXPECT_EQ(tree->topLevelItem(1)->text(0), QString(25, 'y'));

        tree->topLevelItem(1)->setCheckState(0, Qt::Checked);
        Find<QLineEdit>(w, IDC_CD_ALBUM)->setText("Night Songs");
        Find<QLineEdit>(w, IDC_CD_ARTIST)->setText("The Band");
        auto* genre = Find<QComboBox>(w, IDC_CD_GENRE);
        genre->setCurrentIndex(genre->findText("Jazz"));
        Click(w, IDC_CD_INFOTOALL);
        EXPECT_EQ(tree->topLevelItem(0)->text(6).toStdString(), "Jazz");
        Click(w, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    CdSession& s = TheCdSession();
    EXPECT_EQ(s.checked, (std::vector<std::uint8_t>{0, 1, 0}));
    EXPECT_EQ(s.names[1], std::string(25, 'y'));
    encoder::EncoderApp& app = encoder::TheApp();
    EXPECT_EQ(app.tagTable[2].Title(), std::string(25, 'y'));
    EXPECT_EQ(app.tagTable[2].Artist(), "The Band");
    EXPECT_EQ(app.tagTable[2].Album(), "Night Songs");
    EXPECT_EQ(app.genreList[static_cast<std::size_t>(app.tagTable[2].Genre())], "Jazz");
    EXPECT_EQ(app.lastCd, "ORVANE   IMAGE DRIVE     ");
    EXPECT_EQ(app.cdSelection.trackCount, 1);
    EXPECT_EQ(app.cdSelection.checked, s.checked);
    EXPECT_EQ(app.cdSelection.driveIndex, 0);
    EXPECT_EQ(app.cdSelection.leadOut, 31500);
    EXPECT_EQ(settings_.GetProfileString("Preferences", "LastCD"), app.lastCd);
}

// The in-place editor takes no more characters than a row name keeps, so Enter keeps what was
// typed instead of bringing the old name back.
TEST_F(GrabberView, TheNameEditorTakesWhatARowNameKeeps) {
    Run([](QWidget* w) {
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        QTreeWidgetItem* item = tree->topLevelItem(1);
        tree->editItem(item, 0);
        auto* editor = tree->viewport()->findChild<QLineEdit*>();
        if (!editor) {
            ADD_FAILURE() << "no editor";
            Click(w, IDCANCEL);
            return;
        }
        editor->selectAll();
        QString typed;
        for (int i = 0; i < 47; ++i) {
            const QString key(QChar('a' + i % 26));
            typed += key;
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, key);
            QApplication::sendEvent(editor, &press);
        }
        EXPECT_EQ(editor->text(), typed.left(25));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(editor, &enter);
        QApplication::processEvents();  // the editor's data is committed queued
        EXPECT_EQ(item->text(0), typed.left(25));
        Click(w, IDCANCEL);
    });
}

TEST_F(GrabberView, TwoDrivesOfOneModelAreToldApartAndTheChosenOneIsRemembered) {
    transport_.reset();  // one transport at a time
    transport_ = std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{
        test::ImageOf(dir_, {4500}), test::ImageOf(dir_, {9000, 9000}, "", "second")});
    Run([](QWidget* w) {
        auto* drives = Find<QComboBox>(w, IDC_CD_DRIVES);
        ASSERT_EQ(drives->count(), 2);
        EXPECT_EQ(drives->itemText(0).toStdString(), "ORVANE   IMAGE DRIVE      (0:0)");
        EXPECT_EQ(drives->itemText(1).toStdString(), "ORVANE   IMAGE DRIVE      (0:1)");
        drives->setCurrentIndex(1);
        Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(0)->setCheckState(0, Qt::Checked);
        Click(w, IDOK);
    });
    encoder::EncoderApp& app = encoder::TheApp();
    EXPECT_EQ(app.lastCd, "ORVANE   IMAGE DRIVE      (0:1)");
    EXPECT_EQ(app.cdSelection.driveIndex, 1);
    // Opened again, the dialog chooses the same drive, whichever line the search starts at.
    app.lastCd = "ORVANE   IMAGE DRIVE      (0:0)";
    int selected = -1;
    Run([&selected](QWidget* w) {
        selected = Find<QComboBox>(w, IDC_CD_DRIVES)->currentIndex();
        Click(w, IDCANCEL);
    });
    EXPECT_EQ(selected, 0);
}

TEST_F(GrabberView, DrawnButtonsOnTheTiledBackgroundAndEnterMeansOk) {
    int result = Run([this](QWidget* w) {
        for (int id : {IDC_CD_REFRESH, IDC_CD_PLAYER, IDC_CD_GETINFO, IDC_CD_INFOTOALL,
                       IDC_CD_SETTINGS, IDC_CD_SELECTALL, IDC_CD_GRABNOW, IDOK, IDCANCEL}) {
            auto* button = dynamic_cast<controls::DrawnButton*>(Find(w, id));
            ASSERT_NE(button, nullptr) << id;
            EXPECT_EQ(button->IsDefault(), id == IDOK) << id;
        }
        // The 640 x 178 tile repeats: (5, 183) shows the tile's (5, 5).
        const QImage tile = QImage(QString(":/bitmaps/%1.png").arg(IDB_GRABBER_BACKGROUND))
                                .convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(tile.size(), QSize(640, 178));
        const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shot.pixel(5, 183), tile.pixel(5, 5));
        EXPECT_EQ(shot.pixel(3, 2), tile.pixel(3, 2));
        EXPECT_EQ(Find<QLabel>(w, IDC_CD_DISCSIZE)->palette().color(QPalette::WindowText),
                  QColor(Qt::white));
        // Enter answers as O&K does: without a checked track the dialog stays.
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0], "You did not selected any Audio track for reading...!");
        Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(1)->setCheckState(0, Qt::Checked);
        QApplication::sendEvent(w, &enter);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(TheCdSession().checked, (std::vector<std::uint8_t>{0, 1, 0}));
}

TEST_F(GrabberView, IntroSecondsAndCancel) {
    int result = Run([this](QWidget* w) {
        EXPECT_FALSE(Find(w, IDC_CD_INTROSECS)->isEnabled());
        Click(w, IDC_CD_INTROONLY);
        EXPECT_TRUE(Find(w, IDC_CD_INTROSECS)->isEnabled());
        Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(0)->setCheckState(0, Qt::Checked);
        Find<QLineEdit>(w, IDC_CD_INTROSECS)->setText("121");
        Click(w, IDOK);
        ASSERT_FALSE(boxes_.empty());
        EXPECT_EQ(boxes_.back(), "Please enter an integer between 1 and 120.");
        Click(w, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

// "&Grab Now!" reads away from the window's thread: while a secure read of unreadable sectors
// waits on the drive, the window's events go on; the progress window's Cancel ends the grab
// with the read under way, and no file of the track is left.
TEST_F(GrabberView, GrabNowKeepsTheWindowGoingAndCancelEndsItWithoutAFile) {
    clock::VirtualClock clock;
    clock::Install(&clock);
    transport_.reset();
    transport_ = std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{
        test::ImageOf(dir_, {4500, 9000, 18000}, "fail=0-4499 slow=0-4499 slow_ms=1000")});
    settings_.WriteProfileInt("Rip", "ReadMode", 1);
    test::TempDir out;
    encoder::ui::Hooks().picker = [&out](int, const std::string&, const std::string&) {
        return out.path().string();
    };
    // Should the window's thread be the one waiting on the drive, nobody would move the clock:
    // after a while the drive stops waiting, so the test ends and fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread rescue([&] {
        for (int i = 0; i < 200 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!done) clock.SetAutoAdvance(true);
    });
    QPointer<QWidget> progress;
    int turnsWhileReading = 0;
    bool cancelled = false;
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) {
        if (id == IDD_GRAB_PROGRESS) progress = w;
        if (id != IDD_CDA_GRABBER) return;
        QTimer::singleShot(0, w, [&, w] {
            Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(0)->setCheckState(0, Qt::Checked);
            QTimer tick;
            QObject::connect(&tick, &QTimer::timeout, [&] {
                if (cancelled || !progress || clock.Sleepers() != 1) return;
                // The grab is inside a read of the drive, and this thread turns.
                if (++turnsWhileReading < 3) return;
                EXPECT_FALSE(w->isEnabled());
                Click(progress, IDCANCEL);
                cancelled = true;
                clock.Advance(1000);  // the read under way ends
            });
            tick.start(5);
            Click(w, IDC_CD_GRABNOW);
            tick.stop();
            Click(w, IDCANCEL);
        });
    };
    ui::RunCdGrabber(nullptr);
    done = true;
    rescue.join();
    clock::Install(nullptr);
    EXPECT_TRUE(cancelled);
    EXPECT_GE(turnsWhileReading, 3);
    // Nothing more was read after the cancel: one second of the drive's time in all.
    EXPECT_EQ(clock.NowMs(), 1000u);
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_.back(), "Reading aborted by user!");
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

TEST_F(GrabberView, NoDriveClosesTheDialog) {
    transport_.reset();
    transport_ =
        std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{});
    encoder::ui::Hooks().shown = [](QWidget* w, int) { w->close(); };
    EXPECT_EQ(ui::RunCdGrabber(nullptr), IDCANCEL);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind("No IDE/ATAPI CD-ROM Drives Found!", 0), 0u);
}

// The verified-rip settings: the drive model's read offset, the read mode and the database
// check, refused out of range, stored, and handed to the CD job by the grabber's OK. Set
// ORVANE_SHOTS to a folder to keep a picture of the window.
TEST_F(GrabberView, VerifiedRipSettingsReachTheCdJob) {
    encoder::ui::Hooks().shown = [this](QWidget* w, int id) {
        if (id == IDD_CDA_GRABBER) {
            QTimer::singleShot(0, w, [w] {
                Click(w, IDC_CD_SETTINGS);
                Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(1)->setCheckState(0, Qt::Checked);
                Click(w, IDOK);
            });
            return;
        }
        if (id != IDD_CDA_SETTINGS) return;
        QTimer::singleShot(0, w, [this, w] {
            EXPECT_EQ(Text(w, IDC_CDA_OFFSETDRIVE), "for ORVANE IMAGE DRIVE");
            EXPECT_EQ(Find<QLineEdit>(w, IDC_CDA_OFFSET)->text().toStdString(), "0");
            auto* mode = Find<QComboBox>(w, IDC_CDA_READMODE);
            ASSERT_EQ(mode->count(), 3);
            EXPECT_EQ(mode->currentText().toStdString(), "Burst");
            Find<QLineEdit>(w, IDC_CDA_OFFSET)->setText("-2941");
            boxes_.clear();
            Click(w, IDOK);
            ASSERT_FALSE(boxes_.empty());
            EXPECT_EQ(boxes_.back(), "Please enter an integer between -2940 and 2940.");
            Find<QLineEdit>(w, IDC_CDA_OFFSET)->setText("-700");
            mode->setCurrentIndex(1);
            Find<QAbstractButton>(w, IDC_CDA_ACCURATERIP)->setChecked(true);
            // The tray and the pregaps: off and as ever until chosen.
            EXPECT_FALSE(Find<QCheckBox>(w, IDC_CDA_EJECT)->isChecked());
            auto* pregaps = Find<QComboBox>(w, IDC_CDA_PREGAPS);
            ASSERT_EQ(pregaps->count(), 3);
            EXPECT_EQ(pregaps->currentIndex(), 0);
            Click(w, IDC_CDA_EJECT);
            pregaps->setCurrentIndex(1);
            if (const char* shots = std::getenv("ORVANE_SHOTS"))
                w->grab().save(QString(shots) + "/cda-settings-verified.png");
            Click(w, IDOK);
        });
    };
    EXPECT_EQ(ui::RunCdGrabber(nullptr), IDOK);
    EXPECT_EQ(settings_.GetProfileString("ReadOffsets", "ORVANE IMAGE DRIVE"), "-700");
    EXPECT_EQ(settings_.GetProfileInt("Rip", "ReadMode", 0), 1u);
    const encoder::CdHandOver& cd = encoder::TheApp().cdSelection;
    EXPECT_EQ(cd.rip.read.offset, -700);
    EXPECT_EQ(cd.rip.read.mode, ReadMode::Secure);
    EXPECT_TRUE(cd.rip.accurateRip);
    EXPECT_TRUE(cd.ripLog);
    EXPECT_EQ(settings_.GetProfileInt("Rip", "Eject", 0), 1u);
    EXPECT_EQ(settings_.GetProfileString("Rip", "Pregaps", ""), "own");
    EXPECT_TRUE(cd.rip.eject);
    EXPECT_EQ(cd.rip.pregaps, rip::PregapChoice::Own);
    // All off again: the job reads as it always did and writes no log.
    settings_.WriteProfileInt("Rip", "ReadMode", 0);
    settings_.WriteProfileInt("Rip", "AccurateRip", 0);
    settings_.WriteProfileString("ReadOffsets", "ORVANE IMAGE DRIVE", "0");
    settings_.WriteProfileInt("Rip", "Eject", 0);
    settings_.WriteProfileString("Rip", "Pregaps", "previous");
    EXPECT_EQ(
        Run([](QWidget* w) {
            Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(1)->setCheckState(0, Qt::Checked);
            Click(w, IDOK);
        }),
        IDOK);
    EXPECT_FALSE(encoder::TheApp().cdSelection.ripLog);
    EXPECT_EQ(encoder::TheApp().cdSelection.rip.read.mode, ReadMode::Burst);
    EXPECT_FALSE(encoder::TheApp().cdSelection.rip.eject);
    EXPECT_EQ(encoder::TheApp().cdSelection.rip.pregaps, rip::PregapChoice::Previous);
}

// "&OK / Save" of the CDA settings on a fresh installation: the key it writes to exists once
// the program has started for the first time, and the value is stored there.
TEST_F(GrabberView, CdaSettingsSaveOnAFreshInstallationAfterTheFirstStart) {
    const char* old = std::getenv("ORVANE_REGISTRY_DIR");
    const std::string saved = old ? old : "";
    test::TempDir home;
    auto save = [this](const char* value) {
        encoder::ui::Hooks().shown = [value](QWidget* w, int id) {
            if (id != IDD_CDA_SETTINGS) return;
            QTimer::singleShot(0, w, [w, value] {
                Find<QLineEdit>(w, IDC_CDA_BUFFER)->setText(value);
                Click(w, IDOK);
            });
        };
        boxes_.clear();
        return ui::RunCdaSettings(nullptr);
    };

    // Nothing has run yet: the key is missing and the dialog says so.
    test::UseRegistryFolder(home / "untouched");
    EXPECT_EQ(save("100"), IDOK);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0],
              "Fatal Error: Can't Find the Specified Path in Registry.\nMaybe the Windows "
              "Registry is Corrupted!!");

    std::string why;
    const bool started =
        test::RunFirstStart((test::DistDir() / "Plimo").string(), home.path(), why);
    EXPECT_TRUE(started) << why;
    if (started) {
        EXPECT_EQ(save("200"), IDOK);
        EXPECT_TRUE(boxes_.empty()) << boxes_.front();
        registry::ResetForTesting();
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, encoder::kMachineKey, 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        char value[16] = {};
        DWORD size = sizeof value;
        EXPECT_EQ(RegQueryValueExA(key, "CDAReadBufferSize", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(value), &size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_STREQ(value, "200");
    }
    if (old)
        test::UseRegistryFolder(saved);
    else
        ::unsetenv("ORVANE_REGISTRY_DIR");
    registry::ResetForTesting();
}

// The read buffer size, the read speed and de-emphasis: refused out of range, kept in the
// user's settings on OK, and shown again the next time. The buffer takes what one read
// request holds, the speed's 0 is told as what it does.
TEST_F(GrabberView, CdaSettingsKeepTheReadSpeedAndDeemphasis) {
    // With no drive known, the speed is the one every drive shares.
    TheCdSession().driveCount = 0;
    encoder::EncoderApp& app = encoder::TheApp();
    app.cdaReadSpeed = 0;
    app.cdaDeemphasis = 0;
    const int buffer = app.cdaReadBufferSize;
    auto run = [this](std::function<void(QWidget*)> steps) {
        encoder::ui::Hooks().shown = [steps](QWidget* w, int id) {
            if (id == IDD_CDA_SETTINGS) QTimer::singleShot(0, w, [w, steps] { steps(w); });
        };
        boxes_.clear();
        return ui::RunCdaSettings(nullptr);
    };
    EXPECT_EQ(run([this](QWidget* w) {
                  EXPECT_EQ(Find<UpDownControl>(w, IDC_CDA_BUFFERSPIN)->High(), 256);
                  Find<QLineEdit>(w, IDC_CDA_BUFFER)->setText("999");
                  Click(w, IDOK);
                  ASSERT_EQ(boxes_.size(), 1u);
                  EXPECT_EQ(boxes_[0], "Please enter an integer between 1 and 256.");
                  Find<QLineEdit>(w, IDC_CDA_BUFFER)->setText("256");
                  boxes_.clear();
                  bool told = false;
                  for (auto* label : w->findChildren<QLabel*>())
                      told |= label->text() == "x (0 = as the drive is)";
                  EXPECT_TRUE(told);
                  EXPECT_EQ(Find<QLineEdit>(w, IDC_CDA_SPEED)->text(), "0");
                  EXPECT_FALSE(Find<QCheckBox>(w, IDC_CDA_DEEMPHASIS)->isChecked());
                  Find<QLineEdit>(w, IDC_CDA_SPEED)->setText("");
                  Click(w, IDOK);
                  ASSERT_EQ(boxes_.size(), 1u);
                  EXPECT_EQ(boxes_[0], "Please enter an integer between 0 and 99.");
                  Find<QLineEdit>(w, IDC_CDA_SPEED)->setText("8");
                  Click(w, IDC_CDA_DEEMPHASIS);
                  Click(w, IDOK);
              }),
              IDOK);
    EXPECT_EQ(app.cdaReadBufferSize, 256);
    EXPECT_EQ(app.cdaReadSpeed, 8);
    EXPECT_EQ(app.cdaDeemphasis, 1);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDAReadSpeed", 0), 8u);
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDADeemphasis", 0), 1u);
    // Settings never chosen stay out of the profile.
    EXPECT_EQ(settings_.GetProfileInt("Rip", "Eject", 2), 2u);
    EXPECT_EQ(settings_.GetProfileString("Rip", "Pregaps", ""), "");
    EXPECT_EQ(run([](QWidget* w) {
                  EXPECT_EQ(Find<QLineEdit>(w, IDC_CDA_SPEED)->text(), "8");
                  EXPECT_TRUE(Find<QCheckBox>(w, IDC_CDA_DEEMPHASIS)->isChecked());
                  Click(w, IDCANCEL);
              }),
              IDCANCEL);
    app.cdaReadSpeed = 0;
    app.cdaDeemphasis = 0;
    app.cdaReadBufferSize = buffer;
}

// Opened from the grabber, the settings window shows and stores the current drive's own read
// speed; the shared one stays the default of drives that have none, and the grabber's OK hands
// the drive's speed to the CD job.
TEST_F(GrabberView, CdaSettingsKeepTheReadSpeedOfTheCurrentDrive) {
    encoder::EncoderApp& app = encoder::TheApp();
    app.cdaReadSpeed = 4;
    settings_.WriteProfileInt("Preferences", "CDAReadSpeed", 4);
    std::string shown;
    auto grab = [&](const char* typed) {
        encoder::ui::Hooks().shown = [&, typed](QWidget* w, int id) {
            if (id == IDD_CDA_GRABBER) {
                QTimer::singleShot(0, w, [w] {
                    Click(w, IDC_CD_SETTINGS);
                    Find<QTreeWidget>(w, IDC_CD_TRACKS)
                        ->topLevelItem(0)
                        ->setCheckState(0, Qt::Checked);
                    Click(w, IDOK);
                });
            } else if (id == IDD_CDA_SETTINGS) {
                QTimer::singleShot(0, w, [&, w, typed] {
                    shown = Find<QLineEdit>(w, IDC_CDA_SPEED)->text().toStdString();
                    if (typed) Find<QLineEdit>(w, IDC_CDA_SPEED)->setText(typed);
                    Click(w, typed ? IDOK : IDCANCEL);
                });
            }
        };
        return ui::RunCdGrabber(nullptr);
    };
    // No speed of its own yet: the shared value.
    ASSERT_EQ(grab(nullptr), IDOK);
    EXPECT_EQ(shown, "4");
    EXPECT_EQ(app.cdSelection.readSpeed, 4);

    ASSERT_EQ(grab("12"), IDOK);
    EXPECT_EQ(settings_.GetProfileString("ReadSpeeds", "ORVANE IMAGE DRIVE (0:0)"), "12");
    EXPECT_EQ(settings_.GetProfileInt("Preferences", "CDAReadSpeed", 0), 4u);
    EXPECT_EQ(app.cdaReadSpeed, 4);
    EXPECT_EQ(app.cdSelection.readSpeed, 12);

    ASSERT_EQ(grab(nullptr), IDOK);
    EXPECT_EQ(shown, "12");
    EXPECT_EQ(app.cdSelection.readSpeed, 12);
    app.cdaReadSpeed = 0;
}

// "&Get CD Info" against a loopback CD database: the query carries the disc's offsets, the
// chosen entry names the rows, the artist, album and genre fields.
TEST_F(GrabberView, GetCdInfoNamesTheRowsFromTheDatabase) {
    ::orvane::test::LoopbackServer server([](const std::string& request) {
        const std::string cmd = ::orvane::test::CommandOf(request);
        if (cmd.rfind("cddb+query", 0) == 0)
            return ::orvane::test::HttpReply(
                "211 close matches found\r\nrock 1e01a603 Band / Record\r\n.\r\n");
        return ::orvane::test::HttpReply(
            "210 rock 1e01a603 CD database entry follows\r\n"
            "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t4650\r\n#\t13650\r\n#\r\n"
            "# Disc length: 422 seconds\r\n#\r\n# Revision: 1\r\n# Submitted via: t 1\r\n#\r\n"
            "DISCID=1e01a603\r\nDTITLE=Band / Record\r\nDYEAR=1999\r\nTTITLE0=Morning\r\n"
            "TTITLE1=Noon\r\nTTITLE2=Evening\r\nEXTD=\r\nEXTT0=\r\nEXTT1=\r\nEXTT2=\r\n"
            "PLAYORDER=\r\n.\r\n");
    });
    encoder::EncoderApp& app = encoder::TheApp();
    app.freeDbServer = server.Address();
    app.useProxy = 0;
    ui::GetCdInfoHook() = [&app](QWidget* owner, const cdrom::DiscInfo& disc, CdInfo& info) {
        const std::vector<std::uint32_t> starts = disc.Starts();
        const std::uint32_t leadOut = disc.leadOut;
        freedb::ui::DiscLookup found;
        if (freedb::ui::LookUpDisc(app, starts, leadOut, found, owner) != IDOK) return false;
        info = {found.artist,       found.album, found.category, found.trackTitles,
                found.trackArtists, found.year,  found.genre,    found.discId};
        return true;
    };
    bool matchesShown = false;
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) {
        if (id == IDD_FREEDB_QUERY) {
            matchesShown = true;
            auto* list = Find<QTreeWidget>(w, IDC_MATCH_LIST);
            ASSERT_EQ(list->topLevelItemCount(), 1);
            list->setCurrentItem(list->topLevelItem(0));
            Click(w, IDOK);
            return;
        }
        if (id != IDD_CDA_GRABBER) return;
        QTimer::singleShot(0, w, [this, w] {
            ASSERT_TRUE(Find(w, IDC_CD_GETINFO)->isEnabled());
            Click(w, IDC_CD_GETINFO);
            auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
            ASSERT_EQ(tree->topLevelItemCount(), 3);
            EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), "Morning");
            EXPECT_EQ(tree->topLevelItem(2)->text(0).toStdString(), "Evening");
            EXPECT_EQ(tree->topLevelItem(1)->text(5).toStdString(), "Band");
            EXPECT_EQ(tree->topLevelItem(1)->text(6).toStdString(), "rock");
            EXPECT_EQ(Find<QLineEdit>(w, IDC_CD_ARTIST)->text().toStdString(), "Band");
            EXPECT_EQ(Find<QLineEdit>(w, IDC_CD_ALBUM)->text().toStdString(), "Record");
            EXPECT_EQ(Find<QComboBox>(w, IDC_CD_GENRE)->currentText().toStdString(), "Rock");
            Click(w, IDCANCEL);
        });
    };
    EXPECT_EQ(ui::RunCdGrabber(nullptr), IDCANCEL);
    ui::GetCdInfoHook() = nullptr;
    EXPECT_TRUE(matchesShown);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::string query = ::orvane::test::CommandOf(requests[0]);
    EXPECT_NE(query.find("+3+150+4650+13650+422"), std::string::npos) << query;
    EXPECT_EQ(::orvane::test::CommandOf(requests[1]), "cddb+read+rock+1e01a603");
    // Level 6 unless "CDDBProtocol" says otherwise: entries come in UTF-8.
    EXPECT_NE(requests[0].find("&proto=6 "), std::string::npos) << requests[0];
}

TEST_F(GrabberView, ACompilationEntryGivesEachRowItsArtistAndTheTagsEverything) {
    // "Various" with UTF-8 titles (level 6), DYEAR and DGENRE; a title over 30 bytes.
    const std::string longTitle = "\u66f2 \u2014 a song title far longer than thirty bytes";
    ::orvane::test::LoopbackServer server([&](const std::string& request) {
        const std::string cmd = ::orvane::test::CommandOf(request);
        if (cmd.rfind("cddb+query", 0) == 0)
            return ::orvane::test::HttpReply(
                "211 close matches found\r\nmisc 1e01a603 Various / Hits\r\n.\r\n");
        return ::orvane::test::HttpReply(
            "210 misc 1e01a603 CD database entry follows\r\n"
            "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t4650\r\n#\t13650\r\n#\r\n"
            "# Disc length: 422 seconds\r\n#\r\n# Revision: 1\r\n# Submitted via: t 1\r\n#\r\n"
            "DISCID=1e01a603\r\nDTITLE=Various / Hits\r\nDYEAR=2003\r\nDGENRE=Synthpop\r\n"
            "TTITLE0=\u0410\u043b\u0438\u0441\u0430 / " +
            longTitle +
            "\r\n"
            "TTITLE1=Interlude\r\nTTITLE2=Duo / Evening\r\nEXTD=\r\nEXTT0=\r\nEXTT1=\r\n"
            "EXTT2=\r\nPLAYORDER=\r\n.\r\n");
    });
    encoder::EncoderApp& app = encoder::TheApp();
    app.freeDbServer = server.Address();
    app.useProxy = 0;
    ui::GetCdInfoHook() = [&app](QWidget* owner, const cdrom::DiscInfo& disc, CdInfo& info) {
        const std::vector<std::uint32_t> starts = disc.Starts();
        const std::uint32_t leadOut = disc.leadOut;
        freedb::ui::DiscLookup found;
        if (freedb::ui::LookUpDisc(app, starts, leadOut, found, owner) != IDOK) return false;
        info = {found.artist,       found.album, found.category, found.trackTitles,
                found.trackArtists, found.year,  found.genre,    found.discId};
        return true;
    };
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) {
        if (id == IDD_FREEDB_QUERY) {
            auto* list = Find<QTreeWidget>(w, IDC_MATCH_LIST);
            list->setCurrentItem(list->topLevelItem(0));
            Click(w, IDOK);
            return;
        }
        if (id != IDD_CDA_GRABBER) return;
        QTimer::singleShot(0, w, [w, longTitle] {
            Click(w, IDC_CD_GETINFO);
            auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
            ASSERT_EQ(tree->topLevelItemCount(), 3);
            EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), longTitle);
            EXPECT_EQ(tree->topLevelItem(0)->text(5).toStdString(),
                      "\u0410\u043b\u0438\u0441\u0430");
            EXPECT_EQ(tree->topLevelItem(1)->text(0).toStdString(), "Interlude");
            EXPECT_EQ(tree->topLevelItem(1)->text(5).toStdString(), "Various");
            EXPECT_EQ(tree->topLevelItem(2)->text(5).toStdString(), "Duo");
            EXPECT_EQ(Find<QLineEdit>(w, IDC_CD_YEAR)->text().toStdString(), "2003");
            // Moving through the rows keeps each track's own artist.
            tree->setCurrentItem(tree->topLevelItem(2));
            tree->setCurrentItem(tree->topLevelItem(0));
            EXPECT_EQ(tree->topLevelItem(2)->text(5).toStdString(), "Duo");
            Click(w, IDC_CD_SELECTALL);
            Click(w, IDOK);
        });
    };
    ASSERT_EQ(ui::RunCdGrabber(nullptr), IDOK);
    ui::GetCdInfoHook() = nullptr;
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    ASSERT_EQ(app.fullTags.size(), 4u);
    using tags::TagField;
    const tags::TrackTags& first = app.fullTags[1];
    EXPECT_EQ(first.Get(TagField::Title), longTitle);
    EXPECT_EQ(first.Get(TagField::Artist), "\u0410\u043b\u0438\u0441\u0430");
    EXPECT_EQ(first.Get(TagField::AlbumArtist), "Various");
    EXPECT_EQ(first.Get(TagField::Album), "Hits");
    EXPECT_EQ(first.Get(TagField::Year), "2003");
    EXPECT_EQ(first.Get(TagField::Genre), "Synthpop");
    EXPECT_EQ(first.Get(TagField::TrackNumber), "1");
    EXPECT_EQ(first.Get(TagField::TrackTotal), "3");
    // The disc's own id, whichever entry was chosen for it.
    EXPECT_EQ(first.Get(TagField::CddbDiscId), "1501a403");
    EXPECT_EQ(app.fullTags[2].Get(TagField::Artist), "Various");
    EXPECT_EQ(app.fullTags[3].Get(TagField::Artist), "Duo");
    // The ID3v1 records keep their 30-byte fields and the year.
    EXPECT_EQ(app.tagTable[3].Artist(), "Duo");
    EXPECT_EQ(app.tagTable[3].Year(), "2003");
    EXPECT_LT(app.tagTable[1].Title().size(), longTitle.size());
}

// A disc with CD-Text and ISRCs, as a cue sheet; its second track has a performer of its own.
std::string WriteCdTextDisc(const test::TempDir& dir) {
    const std::uint32_t frames[] = {4500, 9000, 18000};
    std::string cue =
        "PERFORMER \"\u041e\u0440\u043a\u0435\u0441\u0442\u0440\"\nTITLE \"Live at the "
        "Hall\"\nFILE \"cdtext.bin\" BINARY\n";
    const char* titles[] = {"Overture \u2014 a title longer than thirty bytes", "", "Finale"};
    std::uint32_t at = 0;
    for (int t = 0; t < 3; ++t) {
        char line[160];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n", t + 1);
        cue += line;
        if (*titles[t]) cue += std::string("    TITLE \"") + titles[t] + "\"\n";
        cue += t == 1 ? "    PERFORMER \"Guest Soloist\"\n"
                      : "    PERFORMER \"\u041e\u0440\u043a\u0435\u0441\u0442\u0440\"\n";
        if (t != 2) cue += "    ISRC XXA0199000" + std::to_string(t + 1) + "0\n";
        std::snprintf(line, sizeof line, "    INDEX 01 %02u:%02u:%02u\n", at / 75 / 60,
                      at / 75 % 60, at % 75);
        cue += line;
        at += frames[t];
    }
    test::WriteFile(dir / "cdtext.bin", test::PatternFrames(0, at));
    test::WriteFile(dir / "cdtext.cue", cue);
    return (dir / "cdtext.cue").string();
}

TEST_F(GrabberView, CdTextNamesTheRowsAndTheDrivesIsrcsReachTheTags) {
    std::string error;
    std::shared_ptr<cdrom::ImageDrive> disc = cdrom::ImageDrive::Open(WriteCdTextDisc(dir_), error);
    ASSERT_TRUE(disc) << error;
    transport_.reset();
    transport_ =
        std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{disc});
    cdrom::InstallDrives({disc});
    ui::GetDiscExtrasHook() = ReadDiscExtras;
    const std::string longTitle = "Overture \u2014 a title longer than thirty bytes";
    const std::string orchestra = "\u041e\u0440\u043a\u0435\u0441\u0442\u0440";
    Run([&](QWidget* w) {
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        ASSERT_EQ(tree->topLevelItemCount(), 3);
        EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), longTitle);
        EXPECT_EQ(tree->topLevelItem(1)->text(0).toStdString(), "Track2");  // no title of its own
        EXPECT_EQ(tree->topLevelItem(2)->text(0).toStdString(), "Finale");
        EXPECT_EQ(tree->topLevelItem(0)->text(5).toStdString(), orchestra);
        EXPECT_EQ(tree->topLevelItem(1)->text(5).toStdString(), "Guest Soloist");
        EXPECT_EQ(Find<QLineEdit>(w, IDC_CD_ARTIST)->text().toStdString(), orchestra);
        EXPECT_EQ(Find<QLineEdit>(w, IDC_CD_ALBUM)->text().toStdString(), "Live at the Hall");
        // Moving through the rows keeps the guest's own artist.
        tree->setCurrentItem(tree->topLevelItem(1));
        tree->setCurrentItem(tree->topLevelItem(0));
        EXPECT_EQ(tree->topLevelItem(1)->text(5).toStdString(), "Guest Soloist");
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    encoder::EncoderApp& app = encoder::TheApp();
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    ASSERT_EQ(app.fullTags.size(), 4u);
    using tags::TagField;
    EXPECT_EQ(app.fullTags[1].Get(TagField::Title), longTitle);
    EXPECT_EQ(app.fullTags[1].Get(TagField::Isrc), "XXA019900010");
    EXPECT_EQ(app.fullTags[2].Get(TagField::Isrc), "XXA019900020");
    EXPECT_FALSE(app.fullTags[3].Has(TagField::Isrc));
    EXPECT_EQ(app.fullTags[2].Get(TagField::Artist), "Guest Soloist");
    EXPECT_EQ(app.fullTags[2].Get(TagField::AlbumArtist), orchestra);
    EXPECT_EQ(app.fullTags[3].Get(TagField::Album), "Live at the Hall");
    cdrom::DiscInfo info;
    ASSERT_TRUE(disc->ReadDiscInfo(info).ok);
    EXPECT_EQ(app.fullTags[1].Get(TagField::MusicBrainzDiscId), freedb::MusicBrainzId(info));
    EXPECT_EQ(app.fullTags[1].Get(TagField::MusicBrainzDiscId).size(), 28u);

    // The drive holds another disc than the one listed (other starts): the rows stay as the
    // table of contents names them and the tags get nothing of the other disc.
    transport_.reset();
    transport_ = std::make_unique<test::Transport>(
        std::vector<std::shared_ptr<cdrom::DiscDrive>>{test::ImageOf(dir_, {4575, 9000, 18000})});
    Run([&](QWidget* w) {
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        ASSERT_EQ(tree->topLevelItemCount(), 3);
        EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), "Track1");
        EXPECT_EQ(tree->topLevelItem(1)->text(5).toStdString(), "Unknown");
        EXPECT_EQ(Find<QLineEdit>(w, IDC_CD_ALBUM)->text().toStdString(), "Unknown");
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    ui::GetDiscExtrasHook() = nullptr;
    cdrom::ResetDrives();
    ASSERT_EQ(app.fullTags.size(), 4u);
    EXPECT_FALSE(app.fullTags[1].Has(TagField::Isrc));
    EXPECT_FALSE(app.fullTags[1].Has(TagField::MusicBrainzDiscId));
    EXPECT_EQ(app.fullTags[2].Get(TagField::Artist), "Unknown");
    EXPECT_FALSE(app.fullTags[2].Has(TagField::AlbumArtist));
}

TEST_F(GrabberView, GetCdInfoFromMusicBrainzNamesTheRowsAndGivesTheTagsItsIds) {
    // Two releases: the first lists another number of tracks, the second the disc's three.
    std::string asked;
    const std::string discId = MusicBrainzIdOf({0, 4500, 13500}, 31500);
    ::orvane::test::LoopbackServer server([&](const std::string& request) {
        asked = request.substr(0, request.find("\r\n"));
        const std::string body = R"({"releases":[
 {"id":"rel-short","title":"Short","artist-credit":[{"name":"X"}],
  "media":[{"position":1,"tracks":[{"position":1,"title":"Only","recording":{"id":"r0"}}]}]},
 {"id":"rel-1","title":"Долгий путь","date":"2003-02-01","country":"XE",
  "artist-credit":[{"name":"Band","joinphrase":""}],
  "media":[{"position":1,"discs":[]},{"position":2,"discs":[{"id":")" +
                                 discId +
                                 R"("}],"tracks":[
   {"position":1,"title":"Morning","artist-credit":[{"name":"Band"}],"recording":{"id":"rec-1"}},
   {"position":2,"title":"Noon","artist-credit":[{"name":"Guest"}],"recording":{"id":"rec-2"}},
   {"position":3,"title":"Evening","artist-credit":[{"name":"Band"}],"recording":{"id":"rec-3"}}
  ]}]}]})";
        return ::orvane::test::LoopbackReply{
            {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body},
            0,
            false};
    });
    const std::string url = "http://" + server.Address();
    ui::GetCdInfoHook() = [url](QWidget*, const cdrom::DiscInfo& disc, CdInfo& info) {
        MusicBrainzSource source(url);
        std::vector<CdInfoChoice> albums;
        std::string why;
        const bool found = source.LookUp(disc, {}, albums, why);
        EXPECT_TRUE(found) << why;
        if (found) info = albums.front().info;
        return found;
    };
    Run([](QWidget* w) {
        Click(w, IDC_CD_GETINFO);
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        ASSERT_EQ(tree->topLevelItemCount(), 3);
        EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), "Morning");
        EXPECT_EQ(tree->topLevelItem(1)->text(5).toStdString(), "Guest");
        EXPECT_EQ(tree->topLevelItem(2)->text(5).toStdString(), "Band");
        EXPECT_EQ(Find<QLineEdit>(w, IDC_CD_ALBUM)->text().toStdString(), "Долгий путь");
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    ui::GetCdInfoHook() = nullptr;
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    // Asked by the disc's MusicBrainz id.
    EXPECT_EQ(asked, "GET /ws/2/discid/" + discId +
                         "?inc=recordings+artist-credits+labels&fmt=json HTTP/1.1");
    encoder::EncoderApp& app = encoder::TheApp();
    ASSERT_EQ(app.fullTags.size(), 4u);
    using tags::TagField;
    EXPECT_EQ(app.fullTags[2].Get(TagField::Artist), "Guest");
    EXPECT_EQ(app.fullTags[2].Get(TagField::AlbumArtist), "Band");
    EXPECT_EQ(app.fullTags[2].Get(TagField::MusicBrainzRecordingId), "rec-2");
    EXPECT_EQ(app.fullTags[3].Get(TagField::MusicBrainzReleaseId), "rel-1");
    EXPECT_EQ(app.fullTags[3].Get(TagField::Year), "2003-02-01");  // beyond the field's four
    EXPECT_EQ(app.fullTags[3].Get(TagField::DiscNumber), "2");
    EXPECT_EQ(app.fullTags[3].Get(TagField::DiscTotal), "2");
    // The second of two media: the CD job's log and cue sheet are "CD 2".
    EXPECT_EQ(app.cdSelection.discOfSet, 2);
}

// After "&Get CD Info" from MusicBrainz the release's cover from the archive shows beside the
// buttons with its size; "Co&ver..." takes a file instead, or none; OK hands the choice to the
// CD job: every track's tag and the file beside the tracks.
TEST_F(GrabberView, TheReleasesCoverShowsAndTheUserMayChooseAnotherOrNone) {
    const std::string jpeg = test::TestJpeg(40, 30), png = test::TestPng(20, 10);
    test::WriteFile(dir_ / "chosen.png", png);
    constexpr const char* kRelease = "0b1fd3a1-5e3e-4d2c-9f4a-2c1d2a6b7e8f";
    ::orvane::test::LoopbackServer server([&](const std::string& request) {
        auto reply = [](const std::string& head, const std::string& body) {
            return ::orvane::test::LoopbackReply{
                {"HTTP/1.1 " + head + "\r\nContent-Length: " + std::to_string(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body},
                0,
                false};
        };
        if (request.rfind(std::string("GET /release/") + kRelease + "/front-1200 ", 0) == 0)
            return reply("307 Temporary Redirect\r\nLocation: /img/front.jpg", "");
        if (request.rfind("GET /img/front.jpg ", 0) == 0)
            return reply("200 OK\r\nContent-Type: image/jpeg", jpeg);
        return reply("200 OK\r\nContent-Type: application/json",
                     std::string(R"({"releases":[{"id":")") + kRelease +
                         R"(","title":"Pictures","artist-credit":[{"name":"Painter"}],
            "media":[{"position":1,"discs":[],"tracks":[{"position":1,"title":"Red"},
            {"position":2,"title":"Green"},{"position":3,"title":"Blue"}]}]}]})");
    });
    ::orvane::test::LoopbackServer silent([](const std::string&) {
        return ::orvane::test::LoopbackReply{{}, 0, true};
    });
    const std::string url = "http://" + server.Address();
    settings_.WriteProfileString("Rip", "CoverArtServer", url);
    ui::GetCdInfoHook() = [url](QWidget*, const cdrom::DiscInfo& disc, CdInfo& info) {
        MusicBrainzSource source(url);
        std::vector<CdInfoChoice> albums;
        std::string why;
        const bool found = source.LookUp(disc, {}, albums, why);
        if (found) info = albums.front().info;
        return found;
    };
    std::string picked;
    encoder::ui::Hooks().picker = [&](int, const std::string& title, const std::string&) {
        return title == "Cover" ? picked : std::string();
    };
    auto thumbnail = [](QWidget* w) {
        auto* label = Find<QLabel>(w, IDC_CD_COVERIMAGE);
        return label && !label->pixmap().isNull();
    };
    encoder::EncoderApp& app = encoder::TheApp();
    Run([&](QWidget* w) {
        EXPECT_EQ(Text(w, IDC_CD_COVERSIZE), "No cover");
        EXPECT_FALSE(thumbnail(w));
        Click(w, IDC_CD_GETINFO);
        EXPECT_EQ(Text(w, IDC_CD_COVERSIZE), "40 x 30");
        EXPECT_TRUE(thumbnail(w));
        picked = (dir_ / "chosen.png").string();
        Click(w, IDC_CD_COVER);
        EXPECT_EQ(Text(w, IDC_CD_COVERSIZE), "20 x 10");
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    ASSERT_EQ(app.fullTags.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
        const tags::Picture* p = app.fullTags[i].FrontPicture();
        ASSERT_TRUE(p) << i;
        EXPECT_TRUE(std::string(p->bytes.begin(), p->bytes.end()) == png) << i;
        EXPECT_EQ(p->mime, "image/png");
    }
    ASSERT_TRUE(app.cdSelection.coverFile);
    EXPECT_EQ(app.cdSelection.coverNote.rfind("file (" + (dir_ / "chosen.png").string() + ")", 0),
              0u)
        << app.cdSelection.coverNote;

    // A file that is no picture is refused with why; cancelled with a cover shown, the user
    // takes none: no picture reaches the job.
    test::WriteFile(dir_ / "page.jpg", "<html></html>");
    encoder::ui::Hooks().messageBox = [this](const std::string& text, const std::string&,
                                             unsigned) {
        boxes_.push_back(text);
        return IDYES;
    };
    // The service's one request a second passes on a clock that runs ahead.
    clock::VirtualClock clk(true);
    clock::Install(&clk);
    Run([&](QWidget* w) {
        Click(w, IDC_CD_GETINFO);
        clock::Install(nullptr);
        EXPECT_EQ(Text(w, IDC_CD_COVERSIZE), "40 x 30");
        picked = (dir_ / "page.jpg").string();
        Click(w, IDC_CD_COVER);
        EXPECT_EQ(Text(w, IDC_CD_COVERSIZE), "40 x 30");
        picked.clear();
        Click(w, IDC_CD_COVER);
        EXPECT_EQ(Text(w, IDC_CD_COVERSIZE), "No cover");
        EXPECT_FALSE(thumbnail(w));
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });

    // An archive that never answers: Cancel ends the wait, the dialog stays and has no cover.
    settings_.WriteProfileString("Rip", "CoverArtServer", "http://" + silent.Address());
    Run([&](QWidget* w) {
        QTimer::singleShot(100, w, [w] { Click(w, IDCANCEL); });
        Click(w, IDC_CD_GETINFO);
        EXPECT_EQ(silent.RequestCount(), 1u);
        EXPECT_EQ(Text(w, IDC_CD_COVERSIZE), "No cover");
        EXPECT_TRUE(w->isVisible());
        Click(w, IDCANCEL);
    });
    ui::GetCdInfoHook() = nullptr;
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], "The picture cannot be used: " + (dir_ / "page.jpg").string() +
                             ": not a JPEG or PNG image (it is a web page or other text)");
    EXPECT_EQ(boxes_[1], "Rip without a cover picture?");
    for (std::size_t i = 1; i < app.fullTags.size(); ++i)
        EXPECT_FALSE(app.fullTags[i].FrontPicture()) << i;
    EXPECT_FALSE(app.cdSelection.coverFile);
}

// A cover chosen in the grabber reaches the files of the CD job behind OK: every track's ID3v2
// tag holds the image's bytes as its front cover (read by mutagen), and cover.png beside them
// is the image.
TEST_F(GrabberView, AChosenCoverIsInEveryRippedTrackAndBesideThem) {
    transport_.reset();
    transport_ = std::make_unique<test::Transport>(
        std::vector<std::shared_ptr<cdrom::DiscDrive>>{test::ImageOf(dir_, {300, 300})});
    TheCdSession() = CdSession{};
    const std::string png = test::TestPng(20, 10);
    test::WriteFile(dir_ / "chosen.png", png);
    encoder::ui::Hooks().picker = [&](int, const std::string&, const std::string&) {
        return (dir_ / "chosen.png").string();
    };
    Run([](QWidget* w) {
        Click(w, IDC_CD_COVER);
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    encoder::EncoderApp& app = encoder::TheApp();
    InstallCdTrackSource(ui::ProgressWindowOpener(nullptr));
    test::TempDir out;
    // The job as the wizard hands it over.
    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeMp3;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.settings.bitrate = "128";
    request.appFolder = test::DistDir().string() + "/";
    request.tags = app.tagTable;
    request.fullTags = app.fullTags;
    request.cd = app.cdSelection;
    encoder::ProcessingStatusDialog dialog(encoder::TheApp());
    encoder::ui::script::Watchdog watchdog(30000);
    encoder::ui::RunStatusDialogFor(dialog, request);
    encoder::SetCdTrackSource(nullptr);
    ASSERT_EQ(dialog.Outcome().result, encoder::JobResult::Succeeded) << dialog.Outcome().message;
    EXPECT_TRUE(test::ReadFile(out / "cover.png") == png);
    int tracks = 0;
    for (const auto& e : std::filesystem::directory_iterator(out.path())) {
        if (e.path().extension() != ".MP3") continue;
        ++tracks;
        FILE* pipe = ::popen(("/usr/bin/python3 -c 'import sys, mutagen.id3 as m\n"
                              "a = m.ID3(sys.argv[1]).getall(\"APIC\")\n"
                              "sys.stdout.buffer.write(bytes([a[0].type]) + a[0].data)' '" +
                              e.path().string() + "'")
                                 .c_str(),
                             "r");
        ASSERT_TRUE(pipe);
        std::string seen;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            seen.append(buffer, n);
        ::pclose(pipe);
        EXPECT_TRUE(seen == std::string(1, '\x03') + png) << e.path();
    }
    EXPECT_EQ(tracks, 2);
}

// The CUETools database check of the CD settings: on by default beside AccurateRip in a profile
// that never chose, kept once chosen, and asked (alone, on a loopback server) by the CD job
// behind OK, whose final message ends with the disc's verdict.
TEST_F(GrabberView, TheCtdbCheckIsStoredAndItsVerdictEndsTheJobsMessage) {
    auto settings = [this](std::function<void(QWidget*)> steps) {
        encoder::ui::Hooks().shown = [steps](QWidget* w, int id) {
            if (id == IDD_CDA_SETTINGS) QTimer::singleShot(0, w, [w, steps] { steps(w); });
        };
        return ui::RunCdaSettings(nullptr);
    };
    auto ctdbBox = [](QWidget* w) { return Find<QAbstractButton>(w, IDC_CDA_CTDB); };
    // No choice made: the box follows AccurateRip.
    EXPECT_EQ(settings([&](QWidget* w) {
                  ASSERT_TRUE(ctdbBox(w));
                  EXPECT_EQ(ctdbBox(w)->text().toStdString(), "CTDB");
                  EXPECT_FALSE(ctdbBox(w)->isChecked());
                  Click(w, IDOK);
              }),
              IDOK);
    EXPECT_FALSE(settings_.HasProfileValue("Rip", "CTDB"));
    settings_.WriteProfileInt("Rip", "AccurateRip", 1);
    // Turned off beside AccurateRip on, it stays off; turned on alone, it stays on.
    for (const bool ar : {true, false}) {
        EXPECT_EQ(settings([&](QWidget* w) {
                      EXPECT_EQ(ctdbBox(w)->isChecked(), ar);
                      ctdbBox(w)->setChecked(!ar);
                      Find<QAbstractButton>(w, IDC_CDA_ACCURATERIP)->setChecked(ar);
                      Click(w, IDOK);
                  }),
                  IDOK);
        EXPECT_EQ(settings_.GetProfileInt("Rip", "CTDB", 7), ar ? 0u : 1u);
    }
    EXPECT_EQ(settings([&](QWidget* w) {
                  EXPECT_TRUE(ctdbBox(w)->isChecked());
                  EXPECT_FALSE(Find<QAbstractButton>(w, IDC_CDA_ACCURATERIP)->isChecked());
                  if (const char* shots = std::getenv("ORVANE_SHOTS"))
                      w->grab().save(QString(shots) + "/cda-settings-ctdb.png");
                  Click(w, IDOK);
              }),
              IDOK);

    // The database holds the disc's whole-disc CRC, taken here from the image's own samples.
    transport_.reset();
    std::shared_ptr<cdrom::ImageDrive> image = test::ImageOf(dir_, {300, 300});
    transport_ =
        std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{image});
    TheCdSession() = CdSession{};
    cdrom::DiscInfo disc;
    ASSERT_TRUE(image->ReadDiscInfo(disc).ok);
    const ctdb::CtdbToc toc = ctdb::CtdbTocOf(disc);
    ctdb::CtdbSums sums(toc);
    const std::string pcm = test::ReadFile(dir_ / "disc.bin");
    sums.Update(reinterpret_cast<const std::uint8_t*>(pcm.data()), pcm.size());
    ASSERT_TRUE(sums.Complete());
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", sums.DiscCrc());
    ::orvane::test::LoopbackServer server([&](const std::string& request) {
        if (request.rfind("GET /lookup2.php?", 0) != 0 ||
            request.find("toc=0:300:600 ") == std::string::npos)
            return ::orvane::test::LoopbackReply{{"HTTP/1.0 404 Not Found\r\n\r\n"}};
        return ::orvane::test::LoopbackReply{
            {"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?><ctdb "
             "xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\" xmlns:ext=\"http://db.cuetools.net/"
             "ns/ext-1.0#\"><entry id=\"12\" crc32=\"" +
             std::string(crc) +
             "\" confidence=\"2\" npar=\"8\" stride=\"5880\" toc=\"0:300:600\" /></ctdb>"}};
    });
    settings_.WriteProfileString("Rip", "CTDBServer", "http://" + server.Address());
    Run([](QWidget* w) {
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    encoder::EncoderApp& app = encoder::TheApp();
    EXPECT_TRUE(app.cdSelection.rip.ctdb);
    EXPECT_FALSE(app.cdSelection.rip.accurateRip);
    InstallCdTrackSource(ui::ProgressWindowOpener(nullptr));
    test::TempDir out;
    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeMp3;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.settings.bitrate = "128";
    request.appFolder = test::DistDir().string() + "/";
    request.cd = app.cdSelection;
    encoder::ProcessingStatusDialog dialog(encoder::TheApp());
    encoder::ui::script::Watchdog watchdog(30000);
    encoder::ui::RunStatusDialogFor(dialog, request);
    encoder::SetCdTrackSource(nullptr);
    EXPECT_EQ(server.RequestCount(), 1u);
    ASSERT_EQ(dialog.Outcome().result, encoder::JobResult::Succeeded) << dialog.Outcome().message;
    EXPECT_EQ(dialog.Outcome().message,
              "MP3 Compression Finished.\nCTDB: accurately ripped (confidence 2)");
}

// "Check the rip with AccurateRip" takes the CTDB box along on screen while the profile never
// chose CTDB and the user did not click it; what is stored stays as the rules say: no CTDB
// value for a choice that is the default's, the user's own choice kept.
TEST_F(GrabberView, TickingAccurateRipTicksCtdbUntilCtdbIsChosen) {
    auto settings = [this](std::function<void(QWidget*)> steps) {
        encoder::ui::Hooks().shown = [steps](QWidget* w, int id) {
            if (id == IDD_CDA_SETTINGS) QTimer::singleShot(0, w, [w, steps] { steps(w); });
        };
        return ui::RunCdaSettings(nullptr);
    };
    auto checked = [](QWidget* w, int id) { return Find<QAbstractButton>(w, id)->isChecked(); };
    EXPECT_EQ(settings([&](QWidget* w) {
                  EXPECT_FALSE(checked(w, IDC_CDA_CTDB));
                  EXPECT_FALSE(checked(w, IDC_CDA_IMAGE));
                  for (const bool on : {true, false, true}) {
                      Click(w, IDC_CDA_ACCURATERIP);
                      EXPECT_EQ(checked(w, IDC_CDA_CTDB), on);
                  }
                  Click(w, IDOK);
              }),
              IDOK);
    EXPECT_EQ(settings_.GetProfileInt("Rip", "AccurateRip", 7), 1u);
    EXPECT_FALSE(settings_.HasProfileValue("Rip", "CTDB"));
    EXPECT_FALSE(settings_.HasProfileValue("Rip", "Image"));
    // Clicked by the user, the box keeps what the user left in it.
    EXPECT_EQ(settings([&](QWidget* w) {
                  EXPECT_TRUE(checked(w, IDC_CDA_CTDB));
                  Click(w, IDC_CDA_CTDB);
                  Click(w, IDC_CDA_ACCURATERIP);
                  Click(w, IDC_CDA_ACCURATERIP);
                  EXPECT_FALSE(checked(w, IDC_CDA_CTDB));
                  Click(w, IDOK);
              }),
              IDOK);
    EXPECT_EQ(settings_.GetProfileInt("Rip", "CTDB", 7), 0u);
    // Chosen in the profile, it no longer follows.
    EXPECT_EQ(settings([&](QWidget* w) {
                  Click(w, IDC_CDA_ACCURATERIP);
                  Click(w, IDC_CDA_ACCURATERIP);
                  EXPECT_TRUE(checked(w, IDC_CDA_ACCURATERIP));
                  EXPECT_FALSE(checked(w, IDC_CDA_CTDB));
                  Click(w, IDCANCEL);
              }),
              IDCANCEL);
}

// "Image and cue sheet" in the CDA settings: the CD job behind the grabber's OK writes the disc
// as one file (FLAC for the FLAC target, WAVE for one with no image of its own) holding every
// sample of the disc, with a cue sheet of its tracks beside it. The intros alone are no image:
// OK says so and the dialog stays.
TEST_F(GrabberView, TheImageChoiceWritesTheDiscAsOneFileWithItsCueSheet) {
    transport_.reset();
    transport_ = std::make_unique<test::Transport>(
        std::vector<std::shared_ptr<cdrom::DiscDrive>>{test::ImageOf(dir_, {300, 150})});
    TheCdSession() = CdSession{};
    encoder::ui::Hooks().shown = [this](QWidget* w, int id) {
        if (id == IDD_CDA_GRABBER) {
            QTimer::singleShot(0, w, [this, w] {
                Click(w, IDC_CD_SETTINGS);
                Click(w, IDC_CD_SELECTALL);
                Click(w, IDC_CD_INTROONLY);
                boxes_.clear();
                Click(w, IDOK);
                ASSERT_EQ(boxes_.size(), 1u);
                EXPECT_EQ(boxes_[0],
                          "The disc's image holds whole tracks: clear \"Grab Intro Only.\", or "
                          "the image in the CDA settings.");
                Click(w, IDC_CD_INTROONLY);
                Click(w, IDOK);
            });
        } else if (id == IDD_CDA_SETTINGS) {
            QTimer::singleShot(0, w, [w] {
                Click(w, IDC_CDA_IMAGE);
                Click(w, IDOK);
            });
        }
    };
    ASSERT_EQ(ui::RunCdGrabber(nullptr), IDOK);
    EXPECT_EQ(settings_.GetProfileInt("Rip", "Image", 7), 1u);
    encoder::EncoderApp& app = encoder::TheApp();
    ASSERT_TRUE(app.cdSelection.rip.image);
    ui::InstallCdJobs(nullptr);
    const std::string disc = test::ReadFile(dir_ / "disc.bin");
    for (const encoder::JobKind kind :
         {encoder::JobKind::EncodeFlac, encoder::JobKind::EncodeMp3}) {
        const bool flac = kind == encoder::JobKind::EncodeFlac;
        test::TempDir out;
        encoder::JobRequest request;
        request.kind = kind;
        request.input = encoder::kCdAudioInput;
        request.batch = true;
        request.output = out.path().string() + "/";
        request.appFolder = test::DistDir().string() + "/";
        request.tags = app.tagTable;
        request.fullTags = app.fullTags;
        request.cd = app.cdSelection;
        request.parallelJobs = 2;
        boxes_.clear();
        encoder::ProcessingStatusDialog dialog(encoder::TheApp());
        {
            encoder::ui::script::Watchdog watchdog(30000);
            encoder::ui::RunStatusDialogFor(dialog, request);
        }
        ASSERT_EQ(dialog.Outcome().result, encoder::JobResult::Succeeded)
            << dialog.Outcome().message;
        std::map<std::string, std::filesystem::path> files;
        for (const auto& e : std::filesystem::directory_iterator(out.path()))
            files[e.path().extension().string()] = e.path();
        ASSERT_EQ(files.size(), 3u) << static_cast<int>(kind);
        ASSERT_EQ(files.count(".cue"), 1u);
        ASSERT_EQ(files.count(".log"), 1u);
        const std::filesystem::path image = files.count(".flac") ? files[".flac"] : files[".wav"];
        ASSERT_TRUE(files.count(flac ? ".flac" : ".wav")) << static_cast<int>(kind);
        EXPECT_EQ(dialog.Outcome().message,
                  "The disc has been saved as one image: " + image.string());
        std::string samples;
        if (flac) {
            const std::filesystem::path back = out / "back.wav";
            ASSERT_EQ(
                std::system(
                    ("flac -d -s -o '" + back.string() + "' '" + image.string() + "'").c_str()),
                0);
            samples = test::ReadFile(back).substr(44);
            EXPECT_NE(test::RunCommand("metaflac --export-cuesheet-to=- '" + image.string() + "'")
                          .find("INDEX 01 00:04:00"),
                      std::string::npos);
        } else {
            samples = test::ReadFile(image).substr(44);
        }
        EXPECT_TRUE(samples == disc) << image;
        const std::string sheet = test::ReadFile(files[".cue"]);
        EXPECT_NE(sheet.find("FILE \"" + image.filename().string() + "\""), std::string::npos)
            << sheet;
        EXPECT_EQ(test::RunCommand("cuebreakpoints '" + files[".cue"].string() + "'"), "0:04.00\n");
    }
    encoder::SetCdTrackSource(nullptr);
    encoder::SetCdRipJobFactory(nullptr);
}

// A release of the disc's three tracks as the service lists it.
std::string ReleaseJson(const std::string& id, const std::string& title, const std::string& country,
                        const std::string& label, const std::string& discId) {
    return R"({"id":")" + id + R"(","title":")" + title + R"(","date":"2001-05-04","country":")" +
           country + R"(","artist-credit":[{"name":"Band"}],"label-info":[{"label":{"name":")" +
           label + R"("}}],"media":[{"position":1,"discs":[{"id":")" + discId +
           R"("}],"tracks":[
   {"position":1,"title":")" +
           title + R"( 1","recording":{"id":"rec-a"}},
   {"position":2,"title":")" +
           title + R"( 2","recording":{"id":"rec-b"}},
   {"position":3,"title":")" +
           title + R"( 3","recording":{"id":"rec-c"}}]}]})";
}

TEST_F(GrabberView, GetCdInfoOffersSeveralReleasesAndTheCdTextInTheMatchList) {
    const std::string discId = MusicBrainzIdOf({0, 4500, 13500}, 31500);
    std::string body;
    ::orvane::test::LoopbackServer server([&](const std::string&) {
        return ::orvane::test::LoopbackReply{
            {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body},
            0,
            false};
    });
    const std::string one = ReleaseJson("rel-uk", "First", "GB", "North", discId);
    const std::string two = ReleaseJson("rel-jp", "Second", "JP", "East", discId);
    // A release listed without its tracks is no answer to choose.
    const std::string stub = R"({"id":"rel-stub","title":"Stub","media":[{"position":1}]})";
    clock::VirtualClock clk(true);  // the service's one request a second, on virtual time
    clock::Install(&clk);
    encoder::EncoderApp& app = encoder::TheApp();
    app.cdInfoSource = 1;
    app.musicBrainzServer = "http://" + server.Address();
    ui::GetCdInfoHook() = ui::CdInfoLookupOf(app);
    int listsShown = 0;
    int pick = 0;
    std::vector<std::vector<std::string>> listed;
    auto grabber = [&](std::function<void(QWidget*)> steps) {
        encoder::ui::Hooks().shown = [&, steps](QWidget* w, int id) {
            if (id == IDD_FREEDB_QUERY) {
                ++listsShown;
                auto* list = Find<QTreeWidget>(w, IDC_MATCH_LIST);
                listed.clear();
                for (int r = 0; r < list->topLevelItemCount(); ++r) {
                    listed.emplace_back();
                    for (int c = 0; c < list->columnCount(); ++c)
                        listed.back().push_back(list->topLevelItem(r)->text(c).toStdString());
                }
                if (pick < 0) {
                    Click(w, IDCANCEL);
                    return;
                }
                list->setCurrentItem(list->topLevelItem(pick));
                Click(w, IDOK);
                return;
            }
            if (id == IDD_CDA_GRABBER) QTimer::singleShot(0, w, [w, steps] { steps(w); });
        };
        return ui::RunCdGrabber(nullptr);
    };

    EXPECT_EQ(grabber([&](QWidget* w) {
                  auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
                  auto* album = Find<QLineEdit>(w, IDC_CD_ALBUM);
                  // One release: taken without a list.
                  body = R"({"releases":[)" + one + "," + stub + "]}";
                  Click(w, IDC_CD_GETINFO);
                  EXPECT_EQ(listsShown, 0);
                  EXPECT_EQ(album->text().toStdString(), "First");
                  EXPECT_EQ(tree->topLevelItem(2)->text(0).toStdString(), "First 3");
                  EXPECT_EQ(tree->topLevelItem(2)->text(5).toStdString(), "Band");

                  // Two releases: the list; the chosen one names the rows.
                  body = R"({"releases":[)" + one + "," + stub + "," + two + "]}";
                  pick = 1;
                  Click(w, IDC_CD_GETINFO);
                  EXPECT_EQ(listsShown, 1);
                  ASSERT_EQ(listed.size(), 2u);
                  EXPECT_EQ(listed[0],
                            (std::vector<std::string>{"Band", "First", "GB", "2001-05-04", "North",
                                                      "MusicBrainz"}));
                  EXPECT_EQ(listed[1][1], "Second");
                  EXPECT_EQ(listed[1][4], "East");
                  EXPECT_EQ(album->text().toStdString(), "Second");
                  EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), "Second 1");

                  // Cancel keeps the rows.
                  pick = -1;
                  Click(w, IDC_CD_GETINFO);
                  EXPECT_EQ(listsShown, 2);
                  EXPECT_EQ(album->text().toStdString(), "Second");
                  Click(w, IDC_CD_SELECTALL);
                  Click(w, IDOK);
              }),
              IDOK);
    ASSERT_EQ(app.fullTags.size(), 4u);
    using tags::TagField;
    EXPECT_EQ(app.fullTags[1].Get(TagField::MusicBrainzReleaseId), "rel-jp");
    EXPECT_EQ(app.fullTags[3].Get(TagField::Title), "Second 3");
    EXPECT_EQ(app.fullTags[3].Get(TagField::MusicBrainzRecordingId), "rec-c");

    // A disc with CD-Text: its own names are offered beside the one release.
    ui::GetDiscExtrasHook() = [](int, DiscExtras& extras) {
        extras.title = "Disc Text";
        extras.performer = "Text Band";
        extras.tracks = {{1, "", "Text One", "Text Band"}, {3, "", "Text Three", "Text Duo"}};
        extras.starts = {0, 4500, 13500};
        return true;
    };
    listsShown = 0;
    EXPECT_EQ(grabber([&](QWidget* w) {
                  auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
                  auto* album = Find<QLineEdit>(w, IDC_CD_ALBUM);
                  EXPECT_EQ(album->text().toStdString(), "Disc Text");
                  body = R"({"releases":[)" + one + "]}";
                  pick = 0;
                  Click(w, IDC_CD_GETINFO);
                  EXPECT_EQ(listsShown, 1);
                  ASSERT_EQ(listed.size(), 2u);
                  EXPECT_EQ(listed[1], (std::vector<std::string>{"Text Band", "Disc Text", "", "",
                                                                 "", "CD-Text"}));
                  EXPECT_EQ(album->text().toStdString(), "First");
                  pick = 1;
                  Click(w, IDC_CD_GETINFO);
                  EXPECT_EQ(album->text().toStdString(), "Disc Text");
                  EXPECT_EQ(tree->topLevelItem(0)->text(0).toStdString(), "Text One");
                  EXPECT_EQ(tree->topLevelItem(1)->text(0).toStdString(), "Track2");
                  EXPECT_EQ(tree->topLevelItem(2)->text(5).toStdString(), "Text Duo");
                  Click(w, IDC_CD_SELECTALL);
                  Click(w, IDOK);
              }),
              IDOK);
    ui::GetCdInfoHook() = nullptr;
    ui::GetDiscExtrasHook() = nullptr;
    app.cdInfoSource = 0;
    clock::Install(nullptr);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
    EXPECT_EQ(app.fullTags[3].Get(TagField::Artist), "Text Duo");
    EXPECT_EQ(app.fullTags[3].Get(TagField::AlbumArtist), "Text Band");
    EXPECT_FALSE(app.fullTags[3].Has(TagField::MusicBrainzReleaseId));
}

TEST_F(GrabberView, TheTagsTakeTheFullAlbumAndDateUnlessTheUserEditsTheFields) {
    const std::string discId = MusicBrainzIdOf({0, 4500, 13500}, 31500);
    const std::string album = "Симфония — an album title well over thirty characters";
    const std::string body =
        R"({"releases":[)" + ReleaseJson("rel-long", album, "XE", "L", discId) + "]}";
    ::orvane::test::LoopbackServer server([&](const std::string&) {
        return ::orvane::test::LoopbackReply{
            {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\nConnection: close\r\n\r\n" + body},
            0,
            false};
    });
    clock::VirtualClock clk(true);
    clock::Install(&clk);
    encoder::EncoderApp& app = encoder::TheApp();
    app.cdInfoSource = 1;
    app.musicBrainzServer = "http://" + server.Address();
    ui::GetCdInfoHook() = ui::CdInfoLookupOf(app);
    std::string shownAlbum, shownYear;
    // Untouched fields: the full texts reach the tags; the ID3v1 record keeps the fields'.
    Run([&](QWidget* w) {
        Click(w, IDC_CD_GETINFO);
        shownAlbum = Find<QLineEdit>(w, IDC_CD_ALBUM)->text().toStdString();
        shownYear = Find<QLineEdit>(w, IDC_CD_YEAR)->text().toStdString();
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    using tags::TagField;
    EXPECT_EQ(shownYear, "2001");
    EXPECT_EQ(QString::fromStdString(shownAlbum).size(), 30);
    ASSERT_EQ(app.fullTags.size(), 4u);
    EXPECT_EQ(app.fullTags[2].Get(TagField::Album), album);
    EXPECT_EQ(app.fullTags[2].Get(TagField::Year), "2001-05-04");
    EXPECT_EQ(app.tagTable[2].Year(), "2001");

    // Edited fields: what the user typed.
    Run([&](QWidget* w) {
        Click(w, IDC_CD_GETINFO);
        // As typed: setText alone is not an edit, the signal the keyboard sends is.
        for (auto [id, text] : {std::pair{IDC_CD_ALBUM, "My Own Title"}, {IDC_CD_YEAR, "1999"}}) {
            Find<QLineEdit>(w, id)->setText(text);
            Find<QLineEdit>(w, id)->textEdited(text);
        }
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    ASSERT_EQ(app.fullTags.size(), 4u);
    EXPECT_EQ(app.fullTags[1].Get(TagField::Album), "My Own Title");
    EXPECT_EQ(app.fullTags[1].Get(TagField::Year), "1999");

    // Another look-up after an edit gives the full texts again.
    Run([&](QWidget* w) {
        Find<QLineEdit>(w, IDC_CD_ALBUM)->setText("Typed");
        Find<QLineEdit>(w, IDC_CD_ALBUM)->textEdited("Typed");
        Click(w, IDC_CD_GETINFO);
        Click(w, IDC_CD_SELECTALL);
        Click(w, IDOK);
    });
    ui::GetCdInfoHook() = nullptr;
    app.cdInfoSource = 0;
    clock::Install(nullptr);
    ASSERT_EQ(app.fullTags.size(), 4u);
    EXPECT_EQ(app.fullTags[1].Get(TagField::Album), album);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

TEST_F(GrabberView, GetCdInfoFromMusicBrainzTellsWhyWhenNothingIsFound) {
    ::orvane::test::LoopbackServer server([&](const std::string&) {
        const std::string body = R"({"error":"Not Found"})";
        return ::orvane::test::LoopbackReply{
            {"HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(body.size()) +
             "\r\nConnection: close\r\n\r\n" + body},
            0,
            false};
    });
    clock::VirtualClock clk(true);
    clock::Install(&clk);
    encoder::EncoderApp& app = encoder::TheApp();
    app.cdInfoSource = 1;
    app.musicBrainzServer = "http://" + server.Address();
    ui::GetCdInfoHook() = ui::CdInfoLookupOf(app);
    bool listShown = false;
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) {
        if (id == IDD_FREEDB_QUERY) {
            listShown = true;
            Click(w, IDCANCEL);
            return;
        }
        if (id != IDD_CDA_GRABBER) return;
        QTimer::singleShot(0, w, [w] {
            Click(w, IDC_CD_GETINFO);
            EXPECT_EQ(Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(0)->text(0).toStdString(),
                      "Track1");
            Click(w, IDCANCEL);
        });
    };
    EXPECT_EQ(ui::RunCdGrabber(nullptr), IDCANCEL);
    ui::GetCdInfoHook() = nullptr;
    app.cdInfoSource = 0;
    clock::Install(nullptr);
    EXPECT_FALSE(listShown);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind("MusicBrainz: ", 0), 0u) << boxes_[0];
}

// A look-up at a server that accepts and never answers says what it waits for, and its Cancel
// ends it: no message, the rows as they were, the grabber's window still there.
TEST_F(GrabberView, GetCdInfoFromASilentServerShowsItsWaitAndCancelEndsIt) {
    ::orvane::test::LoopbackServer server([](const std::string&) {
        return ::orvane::test::LoopbackReply{{}, 0, true};
    });
    encoder::EncoderApp& app = encoder::TheApp();
    app.cdInfoSource = 1;
    app.musicBrainzServer = "http://" + server.Address();
    ui::GetCdInfoHook() = ui::CdInfoLookupOf(app);
    std::string waitText;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        auto* wait = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!wait || server.RequestCount() == 0) return;
        waitText = wait->labelText().toStdString();
        if (auto* cancel = wait->findChild<QPushButton*>()) cancel->click();
    });
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) {
        if (id != IDD_CDA_GRABBER) return;
        QTimer::singleShot(0, w, [w, &press] {
            press.start(10);
            Click(w, IDC_CD_GETINFO);
            press.stop();
            EXPECT_EQ(Find<QTreeWidget>(w, IDC_CD_TRACKS)->topLevelItem(0)->text(0).toStdString(),
                      "Track1");
            Click(w, IDCANCEL);
        });
    };
    EXPECT_EQ(ui::RunCdGrabber(nullptr), IDCANCEL);
    ui::GetCdInfoHook() = nullptr;
    app.cdInfoSource = 0;
    EXPECT_EQ(waitText, "Looking up the disc at " + server.Address() + "...");
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

// An image drive whose reads after the first wait at a gate until the test opens it.
class GatedDrive : public cdrom::DiscDrive {
public:
    explicit GatedDrive(std::shared_ptr<cdrom::DiscDrive> inner) : inner_(std::move(inner)) {}
    std::string Name() const override { return inner_->Name(); }
    cdrom::DriveResult Inquiry(cdrom::InquiryData& out) override { return inner_->Inquiry(out); }
    cdrom::DriveResult TestUnitReady() override { return inner_->TestUnitReady(); }
    cdrom::DriveResult ReadToc(cdrom::Toc& out) override { return inner_->ReadToc(out); }
    cdrom::DriveResult ReadDiscInfo(cdrom::DiscInfo& out) override {
        return inner_->ReadDiscInfo(out);
    }
    cdrom::DriveResult ReadCdda(std::uint32_t lba, std::uint32_t count,
                                std::uint8_t* out) override {
        {
            std::unique_lock lock(mutex_);
            if (++reads_ > 1) {
                waiting_ = true;
                changed_.wait(lock, [this] { return open_; });
                waiting_ = false;
            }
        }
        return inner_->ReadCdda(lba, count, out);
    }
    cdrom::DriveResult ReadCapabilities(cdrom::Capabilities& out) override {
        return inner_->ReadCapabilities(out);
    }
    cdrom::DriveResult SetTray(bool open) override { return inner_->SetTray(open); }

    bool Waiting() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    int Reads() {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::shared_ptr<cdrom::DiscDrive> inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int reads_ = 0;
    bool waiting_ = false, open_ = false;
};

// While a CD job reads a track, its "Reading RAW Audio..." window lies over the processing
// window, whose Cancel stays at hand: it ends the job, and the read stops after the request
// that was under way, leaving no file behind.
TEST_F(GrabberView, TheProcessingWindowsCancelEndsAJobWhileATrackIsRead) {
    transport_.reset();
    auto gated = std::make_shared<GatedDrive>(test::ImageOf(dir_, {750, 750}));
    transport_ =
        std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{gated});
    TheCdSession() = CdSession{};
    InstallCdTrackSource(ui::ProgressWindowOpener(nullptr));
    test::TempDir out;
    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeMp3;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.settings.bitrate = "128";
    request.appFolder = test::DistDir().string() + "/";
    request.cd.driveIndex = 0;
    request.cd.checked = {1, 0};
    request.cd.names = {"One", "Two"};
    request.cd.trackCount = 1;
    request.cd.readBufferSize = 16;
    QPointer<QWidget> status;
    QPointer<QWidget> progressOwner;
    bool cancelEnabled = false;
    encoder::ProcessingStatusDialog dialog(encoder::TheApp());
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) {
        if (id == IDD_PROCESSING_STATUS) status = w;
        if (id != IDD_GRAB_PROGRESS) return;
        progressOwner = w->parentWidget();
        auto* poll = new QTimer(w);
        QObject::connect(poll, &QTimer::timeout, w, [&, poll] {
            if (!gated->Waiting() || !status) return;
            poll->stop();
            auto* cancel = Find<QAbstractButton>(status, IDCANCEL);
            cancelEnabled = cancel->isEnabled();
            cancel->click();
            gated->Open();
        });
        poll->start(5);
    };
    encoder::ui::script::Watchdog watchdog(20000);
    EXPECT_EQ(encoder::ui::RunStatusDialogFor(dialog, request), IDCANCEL);
    encoder::SetCdTrackSource(nullptr);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_EQ(progressOwner, status);
    EXPECT_EQ(dialog.Outcome().result, encoder::JobResult::Cancelled);
    EXPECT_EQ(boxes_, std::vector<std::string>{"Current Process was Canceled."});
    EXPECT_EQ(gated->Reads(), 2);
    EXPECT_TRUE(std::filesystem::is_empty(out.path()));
}

}  // namespace
}  // namespace orvane::cdda
