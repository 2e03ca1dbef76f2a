// Plimo, the encoder front-end: start-up, then the wizard and one job after another until the
// wizard is cancelled.
//   Plimo [input]              the command line becomes the wizard's input text
//   Plimo --screenshots DIR    drives one job through the windows and writes pictures of them

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>

#include "common/installed_keys.h"
#include "encoder/app/encoder_app.h"
#include "encoder/app/profile_settings.h"
#include "encoder/app/resource.h"
#include "encoder/app/ui/views.h"
#include "encoder/app/ui/windows.h"
#include "encoder/cdda/disc_extras.h"
#include "encoder/cdda/ui/cd_info_lookup.h"
#include "encoder/cdda/ui/cdda_views.h"
#include "encoder/formats/flac_job.h"
#include "encoder/formats/opus_job.h"
#include "encoder/freedb/ui/freedb_views.h"
#include "encoder/library/library_run.h"
#include "encoder/mp3/mp3_jobs.h"
#include "encoder/plimo/desktop_glue.h"
#include "encoder/plimo/screenshots.h"
#include "encoder/wma/install.h"
#include "encoder/wma/settings_page.h"
#include "encoder/wma/ui/settings_page_view.h"
#include "platform/base/command_line.h"
#include "platform/shell/sysinfo.h"
#include "platform/window/qt/qt_window_port.h"
#include "tools/artwork/resources.h"

namespace {

constexpr const char* kHelp =
    "Usage: plimo [INPUT]\n"
    "  or:  plimo --screenshots FOLDER\n"
    "\n"
    "The encoder front-end: a wizard that turns WAVE files, folders of them and audio-CD tracks\n"
    "into MP3 or WMA files and MP3 files back into WAVE files, one job after another.\n"
    "\n"
    "  INPUT                 the wizard's input file or folder (the whole command line)\n"
    "  --screenshots FOLDER  write pictures of every window into FOLDER and end\n"
    "  --help                show this help and end\n"
    "  --version             show the version and end\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, so no display is needed.
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "Plimo", kHelp); answered >= 0)
        return answered;
    QApplication qapp(argc, argv);
    // The program runs its own modal windows one after another; closing one never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    orvane::encoder::ui::SetUpApplicationName();
    orvane::artwork::InitPlimoResources();
    QApplication::setWindowIcon(QIcon(QString(":/icons/%1.png").arg(IDR_MAINFRAME)));

    orvane::cdda::ui::RegisterCddaViews();

    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (!args.isEmpty() && args.first() == "--screenshots") {
        if (args.size() != 2) {
            std::fprintf(stderr, "usage: Plimo --screenshots FOLDER\n");
            return 2;
        }
        return orvane::plimo::RunScreenshots(args[1].toStdString());
    }
    for (const QString& a : args)
        if (a.startsWith("--"))
            return orvane::UsageError("Plimo", kHelp, "unknown option " + a.toStdString());

    // The keys the installation leaves behind are opened, never created, by the dialogs and
    // the start-up below; a fresh registry gets them here.
    std::string keyError;
    if (!orvane::CreateInstalledKeys(keyError))
        std::fprintf(stderr, "Plimo: %s\n", keyError.c_str());

    orvane::encoder::ProfileSettings settings;
    orvane::encoder::EncoderApp& app = orvane::encoder::TheApp();
    app.settings = &settings;
    app.commandLine = args.join(' ').toStdString();
    // A job that ends while the user works elsewhere is told on the desktop.
    orvane::plimo::PlimoDesktop desktop(
        settings, [] { return QApplication::activeWindow() != nullptr; },
        orvane::desktop::SessionBus());
    desktop.Install();
    // The CD jobs' verified rips end in the desktop's notice.
    orvane::encoder::RegisterMp3Jobs();
    orvane::cdda::ui::InstallCdJobs(desktop.RipListener());
    orvane::wma::InstallWmaEncoding(app);
    orvane::wma::ui::RegisterWmaSettingsPage();
    orvane::formats::RegisterFlacJob();
    orvane::formats::RegisterOpusJob();
    // A music library of any audio format, converted file by file by the jobs above.
    orvane::library::RegisterLibraryJob();
    app.libraryAvailable = true;
    orvane::freedb::ui::RegisterOptionsWithWizard(app);
    // The grabber's "&Get CD Info" asks MusicBrainz when chosen, and the CD database through the
    // match list.
    orvane::cdda::ui::GetCdInfoHook() = orvane::cdda::ui::CdInfoLookupOf(app);
    // The grabber's rows and tags take the ISRCs and CD-Text the drive itself tells.
    orvane::cdda::ui::GetDiscExtrasHook() = orvane::cdda::ReadDiscExtras;
    orvane::encoder::StartupHooks hooks;
    // No window exists yet: the installation's messages are owner-less boxes.
    orvane::QtWindowPort messages(nullptr);
    hooks.installWmaComponents = [&] {
        return orvane::wma::InstallWmaComponents(messages, settings, orvane::shell::ModuleFolder());
    };
    hooks.loadSharedBitmaps = orvane::encoder::ui::LoadSharedBitmaps;
    hooks.runStatusDialog = [](orvane::encoder::ProcessingStatusDialog& dialog) {
        return orvane::encoder::ui::RunStatusDialog(dialog);
    };
    orvane::encoder::Startup(app, orvane::shell::ModuleFileName(), hooks);
    return 0;
}
