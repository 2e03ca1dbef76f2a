// A music library converted the way a user converts it: Plimo's wizard with its library check,
// the library's page, the target's options and the processing window, driven under the
// offscreen platform with the real jobs behind them. The library is three short files made by
// FFmpeg's tool and tagged by metaflac; what comes out is read with ffprobe and mutagen.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/settings_store.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/ui/views.h"
#include "encoder/formats/opus_job.h"
#include "encoder/library/library_run.h"
#include "encoder/mp3/mp3_jobs.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "tests/encoder/app/ui/window_script.h"

namespace orvane::library {
namespace {

namespace sfs = std::filesystem;
using namespace encoder::ui::script;

std::string Q(const sfs::path& p) { return test::ShellQuote(p.string()); }

long long Stamp(const sfs::path& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mtim.tv_sec * 1000000000ll + info.st_mtim.tv_nsec;
}

// What the field's tools read of a file: ffprobe's codec, mutagen's length, title, artist and
// number of pictures.
// With ORVANE_SHOTS set to a folder, a picture of the window is kept there.
void Shot(QWidget* w, const char* name) {
    if (const char* shots = std::getenv("ORVANE_SHOTS"))
        w->grab().save(QString(shots) + "/" + name);
}

std::map<std::string, std::string> Probe(const sfs::path& file) {
    std::map<std::string, std::string> values;
    const test::ProgramResult codec = test::RunShell(
        "ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 " +
        Q(file));
    values["codec"] = codec.output.substr(0, codec.output.find('\n'));
    static const char* kScript =
        "import sys, mutagen\n"
        "f = mutagen.File(sys.argv[1], easy=True)\n"
        "print('length=%.2f' % f.info.length)\n"
        "for k in ('title', 'artist'):\n"
        "    print('%s=%s' % (k, '|'.join((f.tags or {}).get(k, []))))\n"
        "g = mutagen.File(sys.argv[1])\n"
        "n = len(g.tags.getall('APIC')) if hasattr(g.tags, 'getall') else\\\n"
        "    len((g.tags or {}).get('metadata_block_picture', []))\n"
        "print('pictures=%d' % n)\n";
    const test::ProgramResult r =
        test::RunShell("/usr/bin/python3 -c \"$(printf '%s' " + Q(kScript) + ")\" " + Q(file));
    EXPECT_EQ(r.status, 0) << file << r.output;
    std::size_t at = 0;
    while (at < r.output.size()) {
        std::size_t end = r.output.find('\n', at);
        if (end == std::string::npos) end = r.output.size();
        const std::string line = r.output.substr(at, end - at);
        if (const std::size_t eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    return values;
}

class LibraryWizard : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::RunShell("ffprobe -version && metaflac --version").status != 0)
            GTEST_SKIP() << "no ffprobe or metaflac";
        encoder::EncoderApp& app = encoder::TheApp();
        app.settings = &settings_;
        app.appFolder = test::DistDir().string() + "/";
        app.splashPending = 0;
        app.windowEffects = 0;
        app.parallelJobs = 2;
        if (app.genreList.empty()) encoder::FillGenreList(app.genreList);
        encoder::RegisterMp3Jobs();
        formats::RegisterOpusJob();
        RegisterLibraryJob();
        app.libraryAvailable = true;

        const sfs::path in = In();
        sfs::create_directories(in / "Disc 2");
        auto make = [&](const std::string& lavfi, const std::string& args, const std::string& rel) {
            const test::ProgramResult r = test::RunShell("ffmpeg -v error -y -f lavfi -i '" +
                                                         lavfi + "' " + args + " " + Q(in / rel));
            ASSERT_EQ(r.status, 0) << rel << r.output;
        };
        make("sine=f=440:r=44100:d=0.4", "-ac 2 -c:a flac", "01 one.flac");
        make("color=c=red:s=8x8:d=1", "-frames:v 1", "cover.png");
        make("sine=f=330:r=44100:d=0.3", "-ac 2 -c:a alac -metadata title=Two", "Disc 2/two.m4a");
        make("sine=f=550:r=48000:d=0.2", "-ac 1 -c:a pcm_s16le", "Disc 2/three.wav");
        ASSERT_EQ(
            test::RunShell("metaflac --set-tag='TITLE=Premi\xC3\xA8re' --set-tag=ARTIST=Band " +
                           Q(in / "01 one.flac"))
                .status,
            0);
    }
    void TearDown() override { clock::Install(nullptr); }

    sfs::path In() const { return dir_ / "library"; }

    // One run of the wizard: page 1 with the library check and the target, the library's page
    // (subfolders: whether the box is to be on; it is checked against what was stored), the
    // target's page, the summary and the processing window. Returns the final message.
    std::string RunWizard(int target, const sfs::path& out, bool subfolders, bool storedSubfolders,
                          std::string& log) {
        Script script;
        script.On(IDD_PAGE1, [&](QWidget* w) {
            Click(w, target);
            EXPECT_TRUE(Enabled(w, IDC_LIBRARY));
            Click(w, IDC_LIBRARY);
            EXPECT_EQ(TextOf(w, IDC_INPUT_LABEL), "&Input Folder:");
            EXPECT_EQ(TextOf(w, IDC_SOURCE_CAPTION), "Music Library");
            Type(w, IDC_INPUT, In().string() + "/");
            Type(w, IDC_OUTPUT, out.string() + "/");
            Shot(w, "wizard-page1-library.png");
            Click(w, ID_WIZNEXT);
        });
        script.On(IDD_LIBRARY, [&](QWidget* w) {
            QWidget* page = CurrentPage(w);
            auto* sub = Find<QAbstractButton>(page, IDC_LIB_SUBFOLDERS);
            auto* skip = Find<QAbstractButton>(page, IDC_LIB_SKIP);
            ASSERT_TRUE(sub && skip);
            EXPECT_EQ(sub->isChecked(), storedSubfolders);
            EXPECT_TRUE(skip->isChecked());
            if (sub->isChecked() != subfolders) sub->click();
            Shot(w, "library-page.png");
            Click(w, ID_WIZNEXT);
        });
        script.On(IDD_FORMAT_SETTINGS, [](QWidget* w) {
            Click(CurrentPage(w), IDC_FMT_OPUS);
            Click(w, ID_WIZNEXT);
        });
        script.On(IDD_PAGE2, [](QWidget* w) { Click(w, ID_WIZNEXT); });
        script.On(IDD_PAGE3, [this](QWidget* w) {
            clock::Install(&clock_);
            Click(w, ID_WIZFINISH);
        });
        // The status window's log as the final message finds it: a run with nothing to do can
        // end before the window's own script step has run, so the log is looked up afresh.
        log.clear();
        std::string message;
        encoder::ui::Hooks().messageBox = [&](const std::string& text, const std::string&,
                                              unsigned) {
            message = text;
            const QString name = QString("id%1").arg(IDC_STATUS_LOG);
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* edit = top->findChild<QPlainTextEdit*>(name); edit && log.empty())
                    log = edit->toPlainText().toStdString();
            return IDOK;
        };
        {
            Watchdog watchdog(120000);
            encoder::ProcessingStatusDialog dialog(encoder::TheApp());
            encoder::ui::RunStatusDialog(dialog);
        }
        clock::Install(nullptr);
        return message;
    }

    test::TempDir dir_;
    clock::VirtualClock clock_{true};
    encoder::MemorySettings settings_;
};

// The whole tree into Opus files with the tags and the cover beside them; again with only the
// input folder's own file into MP3; then once more into the Opus tree, where everything is up
// to date and nothing is written.
TEST_F(LibraryWizard, ALibraryBecomesOpusAndMp3FilesAndOnlyWhatChangedIsConvertedAgain) {
    const sfs::path opus = dir_ / "opus", mp3 = dir_ / "mp3";
    EXPECT_FALSE(settings_.HasProfileValue("Library", "Subfolders"));
    std::string log;
    EXPECT_EQ(RunWizard(IDC_TO_FORMATS, opus, true, true, log),
              "Music Library Conversion Finished.\nConverted 3, skipped 0, copied 0.");
    EXPECT_EQ(test::FilesBelow(opus),
              (std::set<std::string>{"01 one.opus", "Disc 2/three.opus", "Disc 2/two.opus"}));
    // The log holds each file's line, in the library's order.
    const std::size_t one = log.find("converted 01 one.flac -> 01 one.opus"),
                      two = log.find("converted Disc 2/two.m4a -> Disc 2/two.opus");
    EXPECT_NE(one, std::string::npos) << log;
    EXPECT_NE(two, std::string::npos) << log;
    EXPECT_LT(one, two) << log;
    std::map<std::string, std::string> m = Probe(opus / "01 one.opus");
    EXPECT_EQ(m["codec"], "opus");
    EXPECT_EQ(m["length"], "0.40");
    EXPECT_EQ(m["title"], "Premi\xC3\xA8re");
    EXPECT_EQ(m["artist"], "Band");
    EXPECT_EQ(m["pictures"], "1");
    m = Probe(opus / "Disc 2/two.opus");
    EXPECT_EQ(m["codec"], "opus");
    EXPECT_EQ(m["title"], "Two");
    EXPECT_EQ(m["pictures"], "0");
    EXPECT_EQ(Probe(opus / "Disc 2/three.opus")["length"], "0.20");
    EXPECT_EQ(settings_.GetProfileInt("Library", "Subfolders", 9), 1u);
    EXPECT_EQ(settings_.GetProfileInt("Library", "SkipConverted", 9), 1u);

    EXPECT_EQ(RunWizard(IDC_TO_MP3, mp3, false, true, log),
              "Music Library Conversion Finished.\nConverted 1, skipped 0, copied 0.");
    EXPECT_EQ(test::FilesBelow(mp3), std::set<std::string>{"01 one.mp3"});
    m = Probe(mp3 / "01 one.mp3");
    EXPECT_EQ(m["codec"], "mp3");
    EXPECT_EQ(m["title"], "Premi\xC3\xA8re");
    EXPECT_EQ(m["pictures"], "1");
    EXPECT_EQ(settings_.GetProfileInt("Library", "Subfolders", 9), 0u);

    std::map<std::string, long long> before;
    for (const std::string& rel : test::FilesBelow(opus))
        before[rel] = Stamp(opus / rel);
    EXPECT_EQ(RunWizard(IDC_TO_FORMATS, opus, true, false, log),
              "Music Library Conversion Finished.\nConverted 0, skipped 3, copied 0.");
    for (const auto& [rel, stamp] : before)
        EXPECT_EQ(Stamp(opus / rel), stamp) << rel << " was written again";
    EXPECT_NE(log.find("left alone (up to date): 3 files"), std::string::npos) << log;
}

}  // namespace
}  // namespace orvane::library
