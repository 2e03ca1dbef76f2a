#include "encoder/plimo/screenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <set>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/settings_store.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/app/ui/views.h"
#include "encoder/cdda/ui/cdda_views.h"
#include "encoder/controls/ui/gradient_progress_bar.h"
#include "encoder/formats/flac_job.h"
#include "encoder/formats/opus_job.h"
#include "encoder/freedb/cddb_server.h"
#include "encoder/freedb/freedb_resource.h"
#include "encoder/freedb/ui/freedb_views.h"
#include "encoder/mp3/mp3_jobs.h"
#include "encoder/wma/settings_page.h"
#include "encoder/wma/ui/settings_page_view.h"
#include "platform/cdrom/drives.h"
#include "platform/shell/sysinfo.h"

namespace orvane::plimo {

namespace {

// A 16-bit stereo 44.1 kHz WAVE file with a few seconds of a chord.
bool WriteTestWave(const std::string& path, int seconds) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return false;
    const std::uint32_t rate = 44100, frames = rate * seconds, data = frames * 4;
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + data);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(2);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(data);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double v = 0.3 * std::sin(2 * M_PI * 220 * t) + 0.2 * std::sin(2 * M_PI * 330 * t) +
                         0.1 * std::sin(2 * M_PI * 440 * t * (1 + 0.01 * std::sin(t)));
        const auto s = static_cast<std::int16_t>(v * 32000);
        u16(static_cast<std::uint16_t>(s));
        u16(static_cast<std::uint16_t>(s));
    }
    return static_cast<bool>(out);
}

template <typename T = QWidget>
T* Find(QWidget* window, int id) {
    return window->findChild<T*>(QString("id%1").arg(id));
}

class Driver {
public:
    Driver(QString folder, std::string input) : folder_(std::move(folder)), input_(input) {}

    // The disc the match list looks up (the demo disc, served by a local CD database).
    void SetDisc(std::vector<std::uint32_t> lbas, std::uint32_t leadOut) {
        discLbas_ = std::move(lbas);
        discLeadOut_ = leadOut;
    }

    void Shown(QWidget* window, int id) {
        // Actions run after the window has settled, never inside the hook itself.
        QPointer<QWidget> w(window);
        QTimer::singleShot(30, [this, w, id] {
            if (w) Step(w, id);
        });
    }

    int Answer(const std::string& text) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        if (status_) {
            std::fprintf(stderr, "longest wait of the GUI thread during the job: %lld ms\n",
                         static_cast<long long>(longestGapMs_));
        }
        if (status_ && !saved_.count("status-window.png")) Save(status_, "status-window.png");
        return IDOK;
    }

    bool Done() const { return saved_.size() == kPictures; }
    static constexpr size_t kPictures = 14;
    // From now on the status window is pictured once several files run in it.
    void ExpectSeveralFiles() { severalFiles_ = true; }
    const std::set<std::string>& Saved() const { return saved_; }

private:
    void Save(QWidget* w, const char* name) {
        const QString file = QDir(folder_).filePath(name);
        if (w->grab().save(file, "PNG")) {
            saved_.insert(name);
            std::fprintf(stderr, "wrote %s\n", file.toLocal8Bit().constData());
        } else {
            std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
        }
    }

    static void Click(QWidget* window, int id) {
        if (auto* b = Find<QAbstractButton>(window, id)) b->click();
    }

    // Types the walk's input file into page 1's input edit, as the user would.
    void TypeInput(QWidget* w) {
        if (auto* edit = Find<QLineEdit>(w, IDC_INPUT)) {
            const QString text = QString::fromStdString(input_);
            edit->setText(text);
            emit edit->textEdited(text);
        }
    }

    static void Fill(QWidget* w, std::initializer_list<std::pair<int, const char*>> texts) {
        for (const auto& [field, text] : texts) {
            if (auto* e = Find<QLineEdit>(w, field)) e->setText(text);
        }
    }

    static void ChooseFirstRow(QWidget* w, int list) {
        if (auto* tree = Find<QTreeWidget>(w, list)) tree->setCurrentItem(tree->topLevelItem(0));
    }

    void Step(QWidget* w, int id) {
        switch (id) {
            case IDB_SPLASH:
                Save(w, "splash.png");
                break;
            case IDD_PAGE1:
                PageOne(w);
                break;
            case IDD_ID3TAG:
                TagDialog(w);
                break;
            case IDD_FREEDB_OPTIONS:
                Save(w, "options-dialog.png");
                options_ = w;
                Click(w, IDC_OPT_BROWSE);
                break;
            case IDD_FREEDB_SERVERS:
                ServerList(w);
                break;
            case IDD_FREEDB_QUERY:
                ChooseFirstRow(w, IDC_MATCH_LIST);
                Save(w, "match-list.png");
                Click(w, IDOK);
                break;
            case IDD_PAGE2:
                Save(w, "wizard-page2.png");
                Click(w, ID_WIZNEXT);
                break;
            case IDD_PAGE3:
                // The second summary is the FLAC job's, which then runs in the window.
                Save(w, pageOneVisits_ >= 2 ? "format-summary.png" : "wizard-page3.png");
                Click(w, ID_WIZFINISH);
                break;
            case IDD_FORMAT_SETTINGS:
                if (auto* gain = Find<QAbstractButton>(w, IDC_FMT_REPLAYGAIN))
                    gain->setChecked(true);
                Save(w, "format-settings.png");
                Click(w, ID_WIZNEXT);
                break;
            case IDD_WMA_SETTINGS:
                Fill(w, {{wma::IDC_WMA_TITLE, "Evening Chord"},
                         {wma::IDC_WMA_AUTHOR, "Test Ensemble"},
                         {wma::IDC_WMA_COPYRIGHT, "(c) 2001 Test Ensemble"},
                         {wma::IDC_WMA_RATING, "General audience"}});
                if (auto* d = Find<QPlainTextEdit>(w, wma::IDC_WMA_DESCRIPTION))
                    d->setPlainText("A chord for the review pictures.");
                Save(w, "wma-settings.png");
                Click(w, IDCANCEL);
                break;
            case IDD_PROCESSING_STATUS:
                StatusWindow(w);
                break;
            default:
                break;
        }
    }

    // Page 1 is seen three times: first the MP3 job with a tag, then (back after the job) the
    // FLAC / Opus target and its page, then (after the FLAC job) the WMA settings page, whose
    // picture ends the run.
    void PageOne(QWidget* w) {
        const int visit = pageOneVisits_++;
        if (visit == 1) {
            Click(w, IDC_TO_FORMATS);
            TypeInput(w);
            Save(w, "wizard-page1-formats.png");
            Click(w, ID_WIZNEXT);
        } else if (visit > 1) {
            Click(w, IDC_TO_WMA);
            TypeInput(w);
            Click(w, ID_WIZNEXT);
        } else {
            TypeInput(w);
            Save(w, "wizard-page1.png");
            sheet_ = w;
            Click(w, IDC_ID3TAG);
        }
    }

    void TagDialog(QWidget* w) {
        Fill(w, {{IDC_TAG_TITLE, "Evening Chord"},
                 {IDC_TAG_ARTIST, "Test Ensemble"},
                 {IDC_TAG_ALBUM, "Review Pictures"},
                 {IDC_TAG_YEAR, "2001"},
                 {IDC_TAG_COMMENT, "made by Plimo"}});
        if (auto* genre = Find<QComboBox>(w, IDC_TAG_GENRE)) {
            genre->setCurrentIndex(genre->findText("Ambient"));
        }
        Save(w, "tag-dialog.png");
        Click(w, IDOK);
        // Back on page 1: the Internet options, then on to the MP3 options.
        QTimer::singleShot(30, [this] {
            if (sheet_) Click(sheet_, IDC_OPTIONS);
        });
    }

    void ServerList(QWidget* w) {
        ChooseFirstRow(w, IDC_SERVER_LIST);
        Save(w, "server-list.png");
        Click(w, IDOK);
        // Then the match list of the demo disc, over the options dialog.
        QTimer::singleShot(30, [this] {
            if (!options_) return;
            freedb::ui::DiscLookup found;
            freedb::ui::LookUpDisc(encoder::TheApp(), discLbas_, discLeadOut_, found, options_);
            if (options_) Click(options_, IDCANCEL);
            QTimer::singleShot(30, [this] {
                if (sheet_) Click(sheet_, ID_WIZNEXT);
            });
        });
    }

    void StatusWindow(QWidget* w) {
        status_ = w;
        // The picture is taken once the job is well under way.
        auto* poll = new QTimer(w);
        QObject::connect(poll, &QTimer::timeout, w, [this, w, poll] {
            auto* bar = Find<QProgressBar>(w, IDC_STATUS_FILEBAR);
            auto* gbar = dynamic_cast<controls::GradientProgressBar*>(bar);
            if (!gbar || gbar->Maximum() <= 0) return;
            const double share = static_cast<double>(gbar->Pos()) / gbar->Maximum();
            if (severalFiles_) {
                // The other running files listed below the described controls.
                QWidget* others = Find(w, IDC_STATUS_OTHERS);
                if (share >= 0.35 && others && others->isVisible()) {
                    Save(w, "status-window-several-files.png");
                    poll->stop();
                }
                return;
            }
            if (share >= 0.35 && !saved_.count("status-window.png")) {
                Save(w, "status-window.png");
                latency_.restart();  // the picture itself is not the job's doing
                poll->stop();
            }
        });
        poll->start(20);
        // How long the GUI thread was kept from its events while the job ran: the largest gap
        // between ticks of a 10 ms timer.
        auto* probe = new QTimer(w);
        latency_.start();
        QObject::connect(probe, &QTimer::timeout, w,
                         [this] { longestGapMs_ = std::max(longestGapMs_, latency_.restart()); });
        probe->start(10);
    }

    QString folder_;
    std::string input_;
    std::set<std::string> saved_;
    QPointer<QWidget> sheet_;
    QPointer<QWidget> options_;
    std::vector<std::uint32_t> discLbas_;
    std::uint32_t discLeadOut_ = 0;
    QPointer<QWidget> status_;
    int pageOneVisits_ = 0;
    bool severalFiles_ = false;
    QElapsedTimer latency_;
    qint64 longestGapMs_ = 0;
};

}  // namespace

int RunScreenshots(const std::string& folder) {
    const QString out = QString::fromStdString(folder);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create the folder %s\n", folder.c_str());
        return 1;
    }
    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot create a scratch folder\n");
        return 1;
    }
    const std::string input = QDir(work.path()).filePath("song.wav").toStdString();
    if (!WriteTestWave(input, 120)) {
        std::fprintf(stderr, "cannot write the test input %s\n", input.c_str());
        return 1;
    }
    Driver driver(out, input);
    encoder::ui::Hooks().splashMs = 400;
    encoder::ui::Hooks().shown = [&](QWidget* w, int id) { driver.Shown(w, id); };
    encoder::ui::Hooks().messageBox = [&](const std::string& text, const std::string&, unsigned) {
        return driver.Answer(text);
    };
    encoder::ui::Hooks().picker = [](int, const std::string&, const std::string&) {
        return std::string();
    };

    // A local CD database with the demo disc's entry answers the server and match lists.
    freedb::ServedEntry demo;
    std::string why;
    if (!freedb::EntryFromCueSheet(cdrom::DemoDiscPath(), demo, why)) {
        std::fprintf(stderr, "cannot build the demo disc's entry: %s\n", why.c_str());
        return 1;
    }
    std::vector<std::uint32_t> lbas;
    for (int offset : demo.info.trackOffsets)
        lbas.push_back(static_cast<std::uint32_t>(offset - 150));
    driver.SetDisc(lbas, static_cast<std::uint32_t>(demo.info.discLength * 75 - 150));
    freedb::CddbServer server({demo});
    if (!server.Listen("127.0.0.1", 0, why)) {
        std::fprintf(stderr, "cannot start the local CD database: %s\n", why.c_str());
        return 1;
    }
    freedb::ServingThread serving(server);
    const std::string local = "127.0.0.1:" + std::to_string(server.Port());

    // Settings in memory: a review run leaves the user's profile alone.
    encoder::MemorySettings settings;
    settings.WriteProfileString("Preferences", "FreeDBServer", local);
    settings.WriteProfileString("Preferences", "CDDBMainServer", local);
    encoder::EncoderApp& app = encoder::TheApp();
    app.settings = &settings;
    encoder::RegisterMp3Jobs();
    wma::InstallWmaEncoding(app);
    wma::ui::RegisterWmaSettingsPage();
    formats::RegisterFlacJob();
    formats::RegisterOpusJob();
    encoder::StartupHooks hooks;
    hooks.runStatusDialog = [](encoder::ProcessingStatusDialog& d) {
        return encoder::ui::RunStatusDialog(d);
    };
    freedb::ui::RegisterOptionsWithWizard(app);
    encoder::Startup(app, shell::ModuleFileName(), hooks);
    // A folder batch of three files at once in the same window (the single file above ran in
    // the window as it is with one file at a time).
    encoder::JobRequest batch;
    batch.kind = encoder::JobKind::EncodeMp3;
    batch.batch = true;
    batch.input = QDir(work.path()).filePath("batch").toStdString();
    batch.output = QDir(work.path()).filePath("mp3").toStdString();
    batch.appFolder = app.appFolder;
    batch.parallelJobs = 3;
    bool written = QDir().mkpath(QString::fromStdString(batch.input)) &&
                   QDir().mkpath(QString::fromStdString(batch.output));
    for (const char* name : {"01 Opening.wav", "02 Second.wav", "03 Third.wav", "04 Last.wav"})
        written = written && WriteTestWave(batch.input + "/" + name, 40);
    if (!written) {
        std::fprintf(stderr, "cannot write the batch's inputs in %s\n", batch.input.c_str());
        return 1;
    }
    driver.ExpectSeveralFiles();
    {
        encoder::ProcessingStatusDialog status(app);
        encoder::ui::RunStatusDialogFor(status, batch);
    }
    encoder::ui::Hooks() = {};
    const bool cdShots = cdda::ui::WriteCddaScreenshots(folder);
    if (!driver.Done()) {
        std::fprintf(stderr, "only %zu of %zu pictures were written\n", driver.Saved().size(),
                     Driver::kPictures);
        return 1;
    }
    return cdShots ? 0 : 1;
}

}  // namespace orvane::plimo
