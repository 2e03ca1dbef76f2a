#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/settings_store.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/strings.h"
#include "encoder/app/tag_dialog.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/app/ui/views.h"
#include "encoder/app/ui/windows.h"
#include "encoder/app/wizard.h"
#include "encoder/controls/ui/gradient_progress_bar.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "tests/encoder/app/ui/window_script.h"

namespace orvane::encoder::ui {
namespace {

using namespace script;

struct AppFixture : ::testing::Test {
    AppFixture() {
        app.settings = &settings;
        app.splashPending = 0;
        app.windowEffects = 0;  // switched on where a test is about them
        FillGenreList(app.genreList);
    }
    MemorySettings settings;
    EncoderApp app;
};

using WizardViewTest = AppFixture;

TEST_F(WizardViewTest, Mp3FlowWithSuggestionsSliderAndSummary) {
    MLSheet sheet(app);
    Script script;
    std::vector<std::string> seen;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        EXPECT_EQ(w->windowTitle().toStdString(), "Orvane Encoder 2001 - Input/Output");
        EXPECT_FALSE(Enabled(w, ID_WIZNEXT));
        EXPECT_FALSE(Enabled(w, ID_WIZBACK));
        EXPECT_TRUE(Find(w, IDC_MARK_TOMP3)->isVisibleTo(w));
        EXPECT_FALSE(Find(w, IDC_MARK_TOWAV)->isVisibleTo(w));
        EXPECT_FALSE(Enabled(w, IDC_TO_WMA));  // its job is not part of this build
        Type(w, IDC_INPUT, "song.wav");
        seen.push_back(TextOf(w, IDC_OUTPUT));
        EXPECT_TRUE(Enabled(w, ID_WIZNEXT));
        Click(w, IDC_TO_WAV);
        EXPECT_TRUE(Find(w, IDC_MARK_TOWAV)->isVisibleTo(w));
        EXPECT_EQ(TextOf(w, IDC_SOURCE_CAPTION), "MP3 File(s)");
        Type(w, IDC_INPUT, "song.mp3");
        seen.push_back(TextOf(w, IDC_OUTPUT));
        Click(w, IDC_TO_MP3);
        Type(w, IDC_INPUT, "ab");  // shorter than an extension
        seen.push_back(TextOf(w, IDC_OUTPUT));
        Type(w, IDC_INPUT, "song.wav");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE2, [&](QWidget* w) {
        EXPECT_EQ(w->windowTitle().toStdString(), "Orvane Encoder 2001 - Options");
        EXPECT_TRUE(Enabled(w, ID_WIZBACK));
        auto* slider = Find<QAbstractSlider>(w, IDC_BITRATE_SLIDER);
        auto* combo = Find<QComboBox>(w, IDC_BITRATE);
        EXPECT_EQ(combo->currentText(), "320");
        EXPECT_EQ(slider->value(), 320);
        slider->setSliderDown(true);
        slider->setSliderPosition(128);
        EXPECT_EQ(combo->currentText(), "128");
        slider->setSliderPosition(33);  // begins no item: the list stays
        slider->setSliderDown(false);
        EXPECT_EQ(combo->currentText(), "128");
        combo->setCurrentIndex(combo->findText("192"));
        emit combo->activated(combo->currentIndex());
        EXPECT_EQ(slider->value(), 192);
        Click(w, IDC_MODE_MONO);
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE3, [&](QWidget* w) {
        EXPECT_EQ(TextOf(w, IDC_SUM_INPUT), "song.wav");
        EXPECT_EQ(TextOf(w, IDC_SUM_OUTPUT), "song.mp3");
        EXPECT_EQ(TextOf(w, IDC_SUM_METHOD), "MPEG 1, Layer 3");
        EXPECT_EQ(TextOf(w, IDC_SUM_BITRATE), "192 Kbps");
        EXPECT_EQ(TextOf(w, IDC_SUM_MODE), "Mono");
        EXPECT_TRUE(Enabled(w, ID_WIZFINISH));
        EXPECT_FALSE(Find(w, ID_WIZNEXT)->isVisibleTo(w));
        Click(w, ID_WIZBACK);
    });
    script.On(
        IDD_PAGE2, [&](QWidget* w) { Click(w, ID_WIZNEXT); }, 1);
    script.On(
        IDD_PAGE3, [&](QWidget* w) { Click(w, ID_WIZFINISH); }, 1);

    EXPECT_EQ(RunSheet(sheet, nullptr), ID_WIZFINISH);
    EXPECT_EQ(seen, (std::vector<std::string>{"song.mp3", "song.wav", "mp3"}));
    EXPECT_EQ(sheet.InputText(), "song.wav");
    EXPECT_EQ(sheet.Settings().bitrate, "192");
    EXPECT_EQ(settings.GetProfileString("Settings", "LastBitrate", ""), "192");
    EXPECT_EQ(app.exitRequested, 0);
}

// The loudness values, an addition on the MP3 options page: below the described controls,
// inside the page, and what it is set to reaches the job and the stored setting.
TEST_F(WizardViewTest, TheMp3OptionsPageOffersTheLoudnessValuesBelowItsControls) {
    MLSheet sheet(app);
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Type(w, IDC_INPUT, "song.wav");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE2, [&](QWidget* w) {
        QWidget* page = CurrentPage(w);
        auto* box = Find<QAbstractButton>(page, IDC_MP3_REPLAYGAIN);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisibleTo(page));
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(box->text().toStdString(),
                  "Replay&Gain 2.0 loudness values (each file, and all files of a batch or CD)");
        EXPECT_TRUE(QRect(0, 0, kPageWidth, kPageHeight).contains(box->geometry()));
        for (QWidget* other : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other == box || !other->isVisibleTo(page)) continue;
            EXPECT_FALSE(other->geometry().intersects(box->geometry()))
                << other->metaObject()->className();
        }
        Click(page, IDC_MP3_REPLAYGAIN);
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE3, [&](QWidget* w) { Click(w, ID_WIZFINISH); });
    EXPECT_EQ(RunSheet(sheet, nullptr), ID_WIZFINISH);
    EXPECT_EQ(sheet.Request().kind, JobKind::EncodeMp3);
    EXPECT_TRUE(sheet.Request().formats.replayGain);
    EXPECT_EQ(settings.GetProfileInt("Formats", "ReplayGain", 0), 1);
}

TEST_F(WizardViewTest, DecodeSkipsTheOptionsAndCancelEndsTheProgram) {
    MLSheet sheet(app);
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_WAV);
        Type(w, IDC_INPUT, "song.mp3");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE3, [&](QWidget* w) {
        EXPECT_EQ(TextOf(w, IDC_SUM_METHOD), "N/A");
        Click(w, ID_WIZBACK);
    });
    script.On(
        IDD_PAGE1, [&](QWidget* w) { Click(w, IDCANCEL); }, 1);
    EXPECT_EQ(RunSheet(sheet, nullptr), IDCANCEL);
    EXPECT_EQ(script.Visits(IDD_PAGE2), 0);
    EXPECT_EQ(script.Visits(IDD_PAGE3), 1);
    EXPECT_EQ(app.exitRequested, 1);
}

TEST_F(WizardViewTest, BatchModeRelabelsAndRefusesTheTag) {
    MLSheet sheet(app);
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Type(w, IDC_INPUT, "x.wav");
        Click(w, IDC_BATCH);
        EXPECT_EQ(TextOf(w, IDC_INPUT_LABEL), "&Input Folder:");
        EXPECT_EQ(TextOf(w, IDC_OUTPUT_LABEL), "&Output Folder:");
        EXPECT_EQ(TextOf(w, IDC_INPUT), "");
        Click(w, IDC_ID3TAG);
        Click(w, IDC_BATCH);
        EXPECT_EQ(TextOf(w, IDC_INPUT_LABEL), "&Input Filename:");
        Click(w, IDCANCEL);
    });
    EXPECT_EQ(RunSheet(sheet, nullptr), IDCANCEL);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0], LoadString(IDS_ID3_BATCH));
    EXPECT_EQ(script.Visits(IDD_ID3TAG), 0);
}

TEST_F(WizardViewTest, WindowMenuOffersMinimizeAndTheAboutBox) {
    MLSheet sheet(app);
    Script script;
    std::vector<std::string> items;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        // Right click on the sheet's background: pick the About item from the menu.
        QTimer::singleShot(10, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* a : menu->actions())
                items.push_back(a->text().toStdString());
            menu->actions().last()->trigger();
            menu->close();
        });
        emit w->customContextMenuRequested(QPoint(2, 2));
    });
    script.On(IDD_ABOUTBOX, [&](QWidget* about) {
        EXPECT_EQ(about->windowTitle().toStdString(), "About Orvane Encoder");
        qobject_cast<QDialog*>(about)->accept();
        QTimer::singleShot(0, [] {
            if (QWidget* sheetWindow = QApplication::activeModalWidget()) {
                Click(sheetWindow, IDCANCEL);
            }
        });
    });
    EXPECT_EQ(RunSheet(sheet, nullptr), IDCANCEL);
    EXPECT_EQ(items, (std::vector<std::string>{"Minimize", "", LoadString(IDS_ABOUTBOX)}));
    EXPECT_EQ(script.Visits(IDD_ABOUTBOX), 1);
}

TEST_F(WizardViewTest, DialogsAddedByOtherPartsAnswerTheWizard) {
    MLSheet sheet(app);
    Script script;
    std::vector<QWidget*> owners;
    RegisterWizardDialog(IDD_INTERNET_OPTIONS, [&](QWidget* owner) {
        owners.push_back(owner);
        return IDOK;
    });
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Find(w, IDC_OPTIONS)->setEnabled(true);
        Click(w, IDC_OPTIONS);
        EXPECT_EQ(owners, std::vector<QWidget*>{w});
        Click(w, IDCANCEL);
    });
    EXPECT_EQ(RunSheet(sheet, nullptr), IDCANCEL);
    EXPECT_EQ(owners.size(), 1u);
    RegisterWizardDialog(IDD_INTERNET_OPTIONS, nullptr);
}

// Counts what shows over the pages' area while the wizard runs (the effect's frames, under the
// offscreen platform) and the area it covers.
class OverPages : public QObject {
public:
    explicit OverPages(QWidget* sheet) : stack_(sheet->findChild<QStackedWidget*>()) {
        qApp->installEventFilter(this);
    }
    ~OverPages() override { qApp->removeEventFilter(this); }
    int shown = 0;
    std::vector<QRect> areas;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(o);
        if (e->type() == QEvent::Show && w && stack_ && w->parentWidget() == stack_ &&
            stack_->indexOf(w) < 0) {
            ++shown;
            areas.push_back(w->geometry());
        }
        return false;
    }

private:
    QPointer<QStackedWidget> stack_;
};

// With the effects on, the real sheet plays them over the page area as the options and the
// summary appear and once more on Finish, before the window goes.
TEST_F(WizardViewTest, EffectsOutlineThePagesWhenShownAndOnFinish) {
    if (QGuiApplication::platformName() != "offscreen")
        GTEST_SKIP() << "counts the in-window frames of the offscreen platform";
    app.windowEffects = 1;
    MLSheet sheet(app);
    Script script;
    std::unique_ptr<OverPages> over;
    std::vector<int> shownAt;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        over = std::make_unique<OverPages>(w);
        Type(w, IDC_INPUT, "song.wav");
        Click(w, ID_WIZNEXT);
        shownAt.push_back(over->shown);
    });
    script.On(IDD_PAGE2, [&](QWidget* w) {
        Click(w, ID_WIZNEXT);
        shownAt.push_back(over->shown);
    });
    script.On(IDD_PAGE3, [&](QWidget* w) {
        Click(w, ID_WIZFINISH);
        shownAt.push_back(over->shown);
    });
    EXPECT_EQ(RunSheet(sheet, nullptr), ID_WIZFINISH);
    EXPECT_EQ(shownAt, (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(over);
    for (const QRect& area : over->areas)
        EXPECT_EQ(area.size(), QSize(kPageWidth, kPageHeight));
}

using TagViewTest = AppFixture;

TEST_F(TagViewTest, SortedGenresCarryTheirCodesAndOkKeepsTheTag) {
    TagDialog dialog(app);
    Script script;
    script.On(IDD_ID3TAG, [&](QWidget* w) {
        auto* genre = Find<QComboBox>(w, IDC_TAG_GENRE);
        ASSERT_EQ(genre->count(), 144);
        for (int i = 1; i < genre->count(); ++i) {
            ASSERT_LE(
                QString::compare(genre->itemText(i - 1), genre->itemText(i), Qt::CaseInsensitive),
                0);
        }
        for (int i = 0; i < genre->count(); ++i) {
            const long code = genre->itemData(i).toLongLong();
            ASSERT_EQ(app.genreList[code], genre->itemText(i).toStdString());
        }
        EXPECT_EQ(genre->currentIndex(), 0);
        EXPECT_EQ(Find<QLineEdit>(w, IDC_TAG_TITLE)->maxLength(), 29);
        EXPECT_EQ(Find<QLineEdit>(w, IDC_TAG_YEAR)->maxLength(), 4);
        Type(w, IDC_TAG_TITLE, "Title");
        Keys(w, IDC_TAG_YEAR, "19x95");  // only digits, at most four
        genre->setCurrentIndex(genre->findText("Jazz+Funk"));
        Click(w, IDOK);
    });
    EXPECT_EQ(RunTagDialog(dialog, nullptr), IDOK);
    EXPECT_EQ(app.singleFileTagSet, 1);
    EXPECT_EQ(app.tagTable[1].Title(), "Title");
    EXPECT_EQ(app.tagTable[1].Year(), "1995");
    EXPECT_EQ(dialog.GenreCode(), 29);

    // The next time the dialog opens it shows the confirmed tag; Cancel keeps it.
    script.On(
        IDD_ID3TAG,
        [&](QWidget* w) {
            EXPECT_EQ(TextOf(w, IDC_TAG_TITLE), "Title");
            Click(w, IDCANCEL);
        },
        1);
    EXPECT_EQ(RunTagDialog(dialog, nullptr), IDCANCEL);
    EXPECT_EQ(app.tagTable[1].Title(), "Title");
}

using StatusViewTest = AppFixture;

TEST_F(StatusViewTest, CancelledWizardClosesWithoutShowingTheStatusWindow) {
    ProcessingStatusDialog dialog(app);
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) { Click(w, IDCANCEL); });
    EXPECT_EQ(RunStatusDialog(dialog), IDCANCEL);
    EXPECT_EQ(script.Visits(IDD_PROCESSING_STATUS), 0);
    EXPECT_EQ(app.exitRequested, 1);
    EXPECT_FALSE(dialog.JobStarted());
}

// Next on page 1 says what is missing and stays there: a file without its output, a batch
// without its folders, the CD's tracks without a folder for them (the grabber's choices kept).
TEST_F(StatusViewTest, NextSaysWhatIsMissingAndKeepsTheChoices) {
    app.cdAudioAvailable = 1;
    RegisterWizardDialog(IDD_CDA_GRABBER, [](QWidget*) { return IDOK; });
    ProcessingStatusDialog dialog(app);
    Script script;
    std::vector<int> pages;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_WAV);
        Type(w, IDC_INPUT, "song.mp3");
        Type(w, IDC_OUTPUT, "");
        Click(w, ID_WIZNEXT);
        Click(w, IDC_BATCH);
        Click(w, ID_WIZNEXT);
        Click(w, IDC_SRC_CDAUDIO);
        Click(w, ID_WIZNEXT);
        EXPECT_EQ(TextOf(w, IDC_INPUT), "CD-Audio");
        EXPECT_TRUE(Find(w, IDC_MARK_CDAUDIO)->isVisibleTo(w));
        EXPECT_EQ(w->windowTitle().toStdString(), "Orvane Encoder 2001 - Input/Output");
        Click(w, IDCANCEL);
    });
    EXPECT_EQ(RunStatusDialog(dialog), IDCANCEL);
    RegisterWizardDialog(IDD_CDA_GRABBER, nullptr);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{
                  "Please specify the output file.", "Please specify the input folder.",
                  "Please specify the output folder for the CD-Audio tracks."}));
    EXPECT_EQ(script.Visits(IDD_PAGE2), 0);
    EXPECT_EQ(script.Visits(IDD_PAGE3), 0);
    EXPECT_FALSE(dialog.JobStarted());
}

// A 16-bit stereo 44.1 kHz WAVE file of the given length (a quiet square wave).
void WriteWave(const std::filesystem::path& file, int seconds) {
    const std::uint32_t frames = 44100u * seconds;
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto s =
            static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * ((i / 50) % 2 ? 1 : -1)));
        orvane::test::PutLe(data, s, 2);
        orvane::test::PutLe(data, s, 2);
    }
    orvane::test::WriteFile(file, orvane::test::WaveWithData(2, 44100, 16, data));
}

// The real encoder program in dist/ behind the real windows.
struct JobViewTest : AppFixture {
    JobViewTest() { app.appFolder = orvane::test::DistDir().string() + "/"; }

    // Steps through the wizard to an MP3 job of input into output.
    void Wizard(Script& script, const std::string& input, const std::string& output) {
        script.On(IDD_PAGE1, [=](QWidget* w) {
            Type(w, IDC_INPUT, QString::fromStdString(input));
            Type(w, IDC_OUTPUT, QString::fromStdString(output));
            Click(w, ID_WIZNEXT);
        });
        script.On(IDD_PAGE2, [](QWidget* w) { Click(w, ID_WIZNEXT); });
        script.On(IDD_PAGE3, [](QWidget* w) { Click(w, ID_WIZFINISH); });
    }
    orvane::test::TempDir dir;
};

TEST_F(JobViewTest, FinishedJobShowsItsMessageOnceAndFillsTheWindow) {
    WriteWave(dir / "song.wav", 3);
    ProcessingStatusDialog dialog(app);
    Script script;
    Wizard(script, (dir / "song.wav").string(), (dir / "song.mp3").string());
    QWidget* status = nullptr;
    script.On(IDD_PROCESSING_STATUS, [&](QWidget* w) { status = w; });
    std::string log;
    std::string input;
    Hooks().messageBox = [&](const std::string& text, const std::string&, unsigned) {
        script.messages.push_back(text);
        if (status) {
            log = Find<QPlainTextEdit>(status, IDC_STATUS_LOG)->toPlainText().toStdString();
            input = TextOf(status, IDC_STATUS_INPUT);
        }
        return IDOK;
    };
    EXPECT_EQ(RunStatusDialog(dialog), IDCANCEL);
    EXPECT_EQ(script.messages, std::vector<std::string>{"MP3 Compression Finished."});
    EXPECT_EQ(input, (dir / "song.wav").string());
    EXPECT_FALSE(log.empty());
    EXPECT_GT(std::filesystem::file_size(dir / "song.mp3"), 1000u);
    EXPECT_EQ(app.exitRequested, 0);
}

// What the FFmpeg prober reads of a file's audio stream: "codec,bit rate in bit/s".
std::string ProbedStream(const std::filesystem::path& file) {
    std::string out;
    FILE* p = ::popen(("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,"
                       "bit_rate -of csv=p=0 '" +
                       file.string() + "' 2>&1")
                          .c_str(),
                      "r");
    if (!p) return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p))
        out += buffer;
    ::pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// Layer 1 has no 48 kbit/s: the summary says so with the 64 kbit/s the file gets, and the
// processing window shows that rate.
TEST_F(JobViewTest, TheSummaryAndTheWindowSayTheBitRateTheFileGets) {
    WriteWave(dir / "song.wav", 3);
    ProcessingStatusDialog dialog(app);
    Script script;
    script.On(IDD_PAGE1, [this](QWidget* w) {
        Type(w, IDC_INPUT, (dir / "song.wav").string());
        Type(w, IDC_OUTPUT, (dir / "song.mp3").string());
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE2, [](QWidget* w) {
        Click(w, IDC_LAYER1);
        auto* combo = Find<QComboBox>(w, IDC_BITRATE);
        combo->setCurrentIndex(combo->findText("48"));
        emit combo->activated(combo->currentIndex());
        Click(w, ID_WIZNEXT);
    });
    std::string summary;
    script.On(IDD_PAGE3, [&](QWidget* w) {
        summary = TextOf(w, IDC_SUM_BITRATE);
        Click(w, ID_WIZFINISH);
    });
    QWidget* status = nullptr;
    script.On(IDD_PROCESSING_STATUS, [&](QWidget* w) { status = w; });
    std::string shown;
    Hooks().messageBox = [&](const std::string& text, const std::string&, unsigned) {
        script.messages.push_back(text);
        if (status) shown = TextOf(status, IDC_STATUS_BITRATE);
        return IDOK;
    };
    EXPECT_EQ(RunStatusDialog(dialog), IDCANCEL);
    EXPECT_EQ(script.messages, std::vector<std::string>{"MP3 Compression Finished."});
    EXPECT_EQ(summary, "64 Kbps (48 Kbps is not possible)");
    EXPECT_EQ(shown, "64 Kbps");
    EXPECT_EQ(ProbedStream(dir / "song.mp3"), "mp1,64000");
}

TEST_F(JobViewTest, CancelDuringTheJobShowsOneMessage) {
    WriteWave(dir / "long.wav", 240);
    ProcessingStatusDialog dialog(app);
    Script script;
    Wizard(script, (dir / "long.wav").string(), (dir / "long.mp3").string());
    script.On(IDD_PROCESSING_STATUS, [&](QWidget* w) {
        // Cancel once the encoder has taken some input.
        auto* poll = new QTimer(w);
        QObject::connect(poll, &QTimer::timeout, w, [w, poll] {
            auto* bar = Find<controls::GradientProgressBar>(w, IDC_STATUS_FILEBAR);
            if (bar->Pos() > 0) {
                poll->stop();
                Click(w, IDCANCEL);
            }
        });
        poll->start(5);
    });
    EXPECT_EQ(RunStatusDialog(dialog), IDCANCEL);
    EXPECT_EQ(script.messages, std::vector<std::string>{"Current Process was Canceled."});
    EXPECT_TRUE(dialog.CancelRequested());
    EXPECT_FALSE(dialog.WorkerRunning());
    EXPECT_EQ(app.exitRequested, 0);
}

// The user's WAVE file next to the MP3 file it became: decoding the MP3 file suggests the
// WAVE file's name, and Finish asks; "No" keeps the summary up and the file byte for byte,
// "Yes" lets the job write it anew.
TEST_F(JobViewTest, FinishAsksBeforeReplacingTheUsersFile) {
    WriteWave(dir / "one.wav", 1);
    {
        ProcessingStatusDialog encode(app);
        Script script;
        Wizard(script, (dir / "one.wav").string(), (dir / "one.mp3").string());
        EXPECT_EQ(RunStatusDialog(encode), IDCANCEL);
        ASSERT_EQ(script.messages, std::vector<std::string>{"MP3 Compression Finished."});
    }
    const std::string original = orvane::test::ReadFile(dir / "one.wav");
    const std::string question =
        (dir / "one.wav").string() + " already exists.\nDo you want to replace it?";
    for (int answer : {IDNO, IDYES}) {
        ProcessingStatusDialog decode(app);
        Script script;
        std::vector<unsigned> flags;
        Hooks().messageBox = [&](const std::string& text, const std::string&, unsigned f) {
            script.messages.push_back(text);
            flags.push_back(f);
            return text == question ? answer : IDOK;
        };
        script.On(IDD_PAGE1, [&](QWidget* w) {
            Click(w, IDC_TO_WAV);
            Type(w, IDC_INPUT, (dir / "one.mp3").string());
            EXPECT_EQ(TextOf(w, IDC_OUTPUT), (dir / "one.wav").string());
            Click(w, ID_WIZNEXT);
        });
        script.On(IDD_PAGE3, [&](QWidget* w) {
            Click(w, ID_WIZFINISH);
            if (answer == IDYES) return;
            // Still the summary, with Finish to press again or Back.
            EXPECT_TRUE(w->isVisible());
            EXPECT_TRUE(Enabled(w, ID_WIZFINISH));
            Click(w, IDCANCEL);
        });
        EXPECT_EQ(RunStatusDialog(decode), IDCANCEL);
        ASSERT_FALSE(script.messages.empty());
        EXPECT_EQ(script.messages[0], question);
        EXPECT_EQ(flags[0], MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
        if (answer == IDNO) {
            EXPECT_EQ(script.messages.size(), 1u);
            EXPECT_FALSE(decode.JobStarted());
            EXPECT_EQ(orvane::test::ReadFile(dir / "one.wav"), original);
        } else {
            EXPECT_EQ(script.messages.back(), "Decoding finished");
            EXPECT_NE(orvane::test::ReadFile(dir / "one.wav"), original);
        }
    }
}

// An input that cannot be opened: the message names it, over the processing window on show,
// and after OK the window closes by itself.
TEST_F(JobViewTest, AMissingInputIsNamedOverTheWindowAndTheJobEndsByItself) {
    ProcessingStatusDialog dialog(app);
    Script script;
    Hooks().messageBox = nullptr;  // the real box, to see its owner
    const std::string missing = (dir / "gone.wav").string();
    Wizard(script, missing, (dir / "gone.mp3").string());
    std::string text, ownerTitle;
    bool ownerShown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        text = box->text().toStdString();
        if (QWidget* owner = box->parentWidget()) {
            ownerTitle = owner->windowTitle().toStdString();
            ownerShown = owner->isVisible();
        }
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    Watchdog watchdog(20000);
    EXPECT_EQ(RunStatusDialog(dialog), IDCANCEL);
    EXPECT_NE(text.find("Error: Cannot open the input file"), std::string::npos) << text;
    EXPECT_NE(text.find(missing), std::string::npos) << text;
    EXPECT_EQ(ownerTitle, "Orvane Encoder 2001 - Processing Status");
    EXPECT_TRUE(ownerShown);
    EXPECT_EQ(dialog.Outcome().result, JobResult::Failed);
}

TEST(MessageBoxTest, OneQuestionForSeveralFilesOffersYesToAllAndNo) {
    std::vector<std::string> buttons;
    bool noIsDefault = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons())
            buttons.push_back(box->buttonRole(b) == QMessageBox::YesRole ? "yes" : "no");
        noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
        box->reject();  // the close box agrees to nothing
    });
    EXPECT_EQ(RunMessageBox(nullptr, "These files already exist", "",
                            kMbYesToAllNo | MB_ICONWARNING | MB_DEFBUTTON2),
              IDNO);
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<std::string>{"no", "yes"}));
    EXPECT_TRUE(noIsDefault);
}

TEST(LayoutTest, PathFieldsKeepLongPathsWhole) {
    QWidget page;
    QtWindowPort port(&page);
    BuildPage1(&page, port);
    std::string path = "/music";
    while (path.size() < 1500)
        path += "/" + std::string(200, 'd');
    for (int id : {IDC_INPUT, IDC_OUTPUT}) {
        port.SetText(id, path + ".wav");
        EXPECT_EQ(port.Text(id), path + ".wav") << id;
    }
}

TEST(LayoutTest, SourceAndTargetTilesShowWhenTheyHaveTheFocus) {
    QWidget page;
    QtWindowPort port(&page);
    BuildPage1(&page, port);
    page.show();
    page.activateWindow();
    QApplication::processEvents();
    // Space presses the focused tile (the first opens the grabber): the focus must show.
    for (int id : {IDC_SRC_CDAUDIO, IDC_SRC_WAVFILES, IDC_TO_MP3, IDC_TO_WMA, IDC_TO_WAV}) {
        QWidget* tile = port.Control(id);
        page.setFocus();
        QApplication::processEvents();
        const QImage plain = tile->grab().toImage();
        tile->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        ASSERT_TRUE(tile->hasFocus()) << id;
        EXPECT_NE(tile->grab().toImage(), plain) << id;
    }
}

TEST(LayoutTest, StatusWindowLookAndInitialControls) {
    QDialog window;
    QtWindowPort port(&window);
    BuildStatusWindow(&window, port);
    const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage tile = QImage(QString(":/bitmaps/%1.png").arg(IDB_BACKGROUND))
                            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(tile.size(), QSize(312, 312));
    // The background repeats the tile; (315, 5) is (3, 5) of the second tile.
    EXPECT_EQ(shot.pixel(315, 5), tile.pixel(3, 5));
    EXPECT_EQ(shot.pixel(2, 2), tile.pixel(2, 2));
    // The log box: dark blue behind near-white text.
    auto* log = Find<QPlainTextEdit>(&window, IDC_STATUS_LOG);
    EXPECT_EQ(log->palette().color(QPalette::Base), QColor(0, 0, 200));
    EXPECT_EQ(log->palette().color(QPalette::Text), QColor(250, 250, 250));
    EXPECT_TRUE(log->isReadOnly());
    const QPoint inside = log->geometry().center();
    EXPECT_EQ(shot.pixel(inside), qRgb(0, 0, 200));
    // Every control of the dialog is there, the counters sized to six 8 x 13 digits.
    for (int id : {IDC_STATUS_INPUT, IDC_STATUS_OUTPUT, IDC_STATUS_ELAPSED, IDC_STATUS_REMAINING,
                   IDC_STATUS_FPS, IDC_STATUS_BITRATE, IDC_STATUS_FILENO, IDC_STATUS_FILECOUNT,
                   IDC_STATUS_COMPRESSION, IDC_STATUS_FILEBAR, IDC_STATUS_OVERALLBAR, IDCANCEL}) {
        EXPECT_NE(port.Control(id), nullptr) << id;
    }
    EXPECT_EQ(port.Control(IDC_STATUS_FRAME)->size(), QSize(54, 19));
    EXPECT_EQ(port.Control(IDC_STATUS_FRAMES)->size(), QSize(54, 19));
    EXPECT_LT(port.Control(IDC_STATUS_FRAME)->geometry().right(),
              port.Control(IDC_STATUS_FRAMES)->geometry().left());
    EXPECT_EQ(port.Control(IDCANCEL)->toolTip().toStdString(), LoadString(IDS_TIP_CANCEL));
    EXPECT_EQ(port.Text(IDC_STATUS_BITRATE), "0kbps");
    for (int id : {IDC_STATUS_FILEBAR, IDC_STATUS_OVERALLBAR}) {
        auto* bar = dynamic_cast<controls::GradientProgressBar*>(port.Control(id));
        ASSERT_NE(bar, nullptr);
        EXPECT_TRUE(bar->ShowText()) << id;
    }
}

TEST(LayoutTest, StatusWindowGrowsForTheOtherRunningFilesOnlyWhenTheyAreShown) {
    // Set ORVANE_SHOTS to a folder to keep pictures of both windows.
    const char* shots = std::getenv("ORVANE_SHOTS");
    QDialog window;
    QtWindowPort port(&window);
    BuildStatusWindow(&window, port);
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(520, 440));
    EXPECT_FALSE(port.Control(IDC_STATUS_OTHERS)->isVisible());
    const QImage plain = window.grab().toImage();
    if (shots) plain.save(QString(shots) + "/status-one-file.png");
    port.Show(IDC_STATUS_OTHERS, true);
    port.SetText(IDC_STATUS_OTHERS, "2. 02 Second.wav - 40%\r\n3. 03 Third.wav - 5%");
    QApplication::processEvents();
    EXPECT_TRUE(port.Control(IDC_STATUS_OTHERS)->isVisible());
    EXPECT_EQ(window.width(), 520);
    EXPECT_GT(window.height(), 440);
    EXPECT_EQ(port.Text(IDC_STATUS_OTHERS), "2. 02 Second.wav - 40%\n3. 03 Third.wav - 5%");
    // The described window is drawn as it was; the list lies below it.
    const QImage grown = window.grab().toImage().convertToFormat(plain.format());
    EXPECT_TRUE(grown.copy(0, 0, 520, 250) == plain.copy(0, 0, 520, 250));
    EXPECT_GE(port.Control(IDC_STATUS_OTHERS)->geometry().top(), 440 - 4);
    if (shots) {
        port.SetText(IDC_STATUS_INPUT, "/music/in/01 Opening.wav");
        port.SetText(IDC_STATUS_FILECOUNT, "8");
        QApplication::processEvents();
        window.grab().toImage().save(QString(shots) + "/status-several-files.png");
    }
}

TEST(WindowsTest, SplashOutlineLeavesOutTheBlackMaskPixels) {
    QImage mask(4, 3, QImage::Format_RGB32);
    mask.fill(Qt::white);
    mask.setPixel(0, 0, qRgb(0, 0, 0));
    mask.setPixel(3, 2, qRgb(0, 0, 0));
    mask.setPixel(1, 1, qRgb(1, 0, 0));  // nearly black is kept
    const QRegion region = RegionFromMask(mask);
    EXPECT_FALSE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(3, 2)));
    EXPECT_TRUE(region.contains(QPoint(1, 1)));
    EXPECT_TRUE(region.contains(QPoint(3, 0)));
    int area = 0;
    for (const QRect& r : region)
        area += r.width() * r.height();
    EXPECT_EQ(area, 10);

    SplashWindow splash;
    EXPECT_EQ(splash.size(), QSize(305, 346));
    EXPECT_EQ(splash.windowTitle().toStdString(), "Orvane Encoder");
    EXPECT_FALSE(splash.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(splash.mask().contains(QPoint(152, 200)));
}

TEST(WindowsTest, MissingHelpFileIsReported) {
    Script script;
    ShowHelpWindow("/nonexistent/Plimo.chm", nullptr);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_NE(script.messages[0].find("/nonexistent/Plimo.chm"), std::string::npos);
}

TEST(WindowsTest, HelpWindowShowsTheHtmlFile) {
    orvane::test::TempDir dir;
    orvane::test::WriteFile(dir / "Plimo.chm", "<html><body><h1>Wizard pages</h1></body></html>");
    Script script;
    QWidget* shown = nullptr;
    Hooks().shown = [&](QWidget* w, int) { shown = w; };
    ShowHelpWindow((dir / "Plimo.chm").string(), nullptr);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(script.messages.empty());
    shown->close();
}

TEST(WindowsTest, HelpOpenedFromAModalWindowComesToTheFrontAndTakesInput) {
    orvane::test::TempDir dir;
    orvane::test::WriteFile(dir / "Plimo.chm", "<html><body><h1>Wizard pages</h1></body></html>");
    Script script;
    QWidget* shown = nullptr;
    Hooks().shown = [&](QWidget* w, int) { shown = w; };
    // The toolkit tells a window when a modal window shuts it out of input and when it lets
    // it in again.
    struct Blocking : QObject {
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::WindowBlocked) blocked[o] = true;
            if (e->type() == QEvent::WindowUnblocked) blocked[o] = false;
            return false;
        }
        std::map<QObject*, bool> blocked;
    } blocking;
    qApp->installEventFilter(&blocking);
    // The wizard is modal, as it is inside the status window.
    QDialog wizard;
    wizard.setWindowModality(Qt::ApplicationModal);
    wizard.show();
    QCoreApplication::processEvents();
    ShowHelpWindow((dir / "Plimo.chm").string(), &wizard);
    ASSERT_NE(shown, nullptr);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&blocking);
    // Kept above the wizard, and open to the user's input while the wizard runs.
    ASSERT_NE(shown->windowHandle(), nullptr);
    EXPECT_EQ(shown->windowHandle()->transientParent(), wizard.windowHandle());
    EXPECT_FALSE(blocking.blocked[shown->windowHandle()]);
    shown->close();
}

TEST(WindowsTest, WindowTitlesGetNoProgramNameAppended) {
    // The toolkit appends a display name that was set to every window title; the program's
    // name must therefore be its plain name, which a later name replaces.
    const QString before = QCoreApplication::applicationName();
    SetUpApplicationName();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Orvane Encoder");
    QCoreApplication::setApplicationName("probe");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
    QCoreApplication::setApplicationName(before);
}

}  // namespace
}  // namespace orvane::encoder::ui
