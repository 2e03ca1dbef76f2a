#include "encoder/app/encoder_app.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "encoder/app/status_dialog.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/tags/paths.h"
#include "platform/base/wintypes.h"

namespace orvane::encoder {

EncoderApp& TheApp() {
    static EncoderApp app;
    return app;
}

int ClampReadBufferSize(bool found, const std::string& text) {
    if (!found) return 16;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value <= 0) return 16;
    if (value > 256) return 256;
    return static_cast<int>(value);
}

std::string AppFolderOf(const std::string& modulePath) {
    return WithTrailingSlash(DriveAndDirectory(modulePath));
}

void ReadSettings(EncoderApp& app) {
    SettingsStore& s = *app.settings;
    app.windowEffects = static_cast<int>(s.GetProfileInt("Preferences", "WindowEffects", 1));
    app.freeDbServer = s.GetProfileString("Preferences", "FreeDBServer", kDefaultFreeDbServer);
    app.useProxy = static_cast<int>(s.GetProfileInt("Preferences", "UseProxy", 0));
    app.proxyServer = s.GetProfileString("Preferences", "ProxyServer", "");
    app.proxyPort = static_cast<int>(s.GetProfileInt("Preferences", "ProxyPort", 8080));
    app.introOnly = static_cast<int>(s.GetProfileInt("Preferences", "IntroOnly", 0));
    app.introSeconds = static_cast<int>(s.GetProfileInt("Preferences", "IntroSeconds", 15));
    app.parallelJobs =
        ParallelJobsSetting(static_cast<int>(s.GetProfileInt("Preferences", "ParallelJobs", 0)));
    app.lastCd = s.GetProfileString("Preferences", "LastCD", "");
    app.namePattern = s.GetProfileString("Preferences", "FileNamePattern", "");
    app.formatFolders =
        s.GetProfileString("Preferences", "MultiFormatFolders", kDefaultFormatFolders);
    app.writeId3v2 = static_cast<int>(s.GetProfileInt("Preferences", "WriteID3v2", 1));
    app.cdaReadSpeed =
        std::clamp(static_cast<int>(s.GetProfileInt("Preferences", "CDAReadSpeed", 0)), 0,
                   EncoderApp::kMaxCdaReadSpeed);
    app.cdaDeemphasis = s.GetProfileInt("Preferences", "CDADeemphasis", 0) != 0 ? 1 : 0;
    app.cdInfoSource = static_cast<int>(s.GetProfileInt("Preferences", "CDInfoSource", 0));
    app.musicBrainzServer =
        s.GetProfileString("Preferences", "MusicBrainzServer", kDefaultMusicBrainzServer);
    std::string text;
    bool found = s.ReadMachineValue("HKEY_LOCAL_MACHINE", kMachineKey, "CDAReadBufferSize", text);
    app.cdaReadBufferSize = ClampReadBufferSize(found, text);
}

int RunJobLoop(EncoderApp& app, const std::function<int(ProcessingStatusDialog&)>& run) {
    int turns = 0;
    for (;;) {
        auto dialog = std::make_unique<ProcessingStatusDialog>(app);
        app.currentStatusDialog = dialog.get();
        int result = run(*dialog);
        ++turns;
        dialog.reset();
        app.currentStatusDialog = nullptr;
        if (app.exitRequested) break;
        if (result != IDCANCEL) break;
    }
    return turns;
}

bool Startup(EncoderApp& app, const std::string& modulePath, const StartupHooks& hooks) {
    if (app.genreList.empty()) FillGenreList(app.genreList);
    SettingsStore& s = *app.settings;
    if (s.GetProfileInt("Components", "WMARedist", 0) == 0) {
        int ok = hooks.installWmaComponents ? hooks.installWmaComponents() : 1;
        if (!ok) return false;
        s.WriteProfileInt("Components", "WMARedist", 1);
    }
    ReadSettings(app);
    app.appFolder = AppFolderOf(modulePath);
    if (hooks.loadSharedBitmaps) hooks.loadSharedBitmaps();
    if (hooks.runStatusDialog) RunJobLoop(app, hooks.runStatusDialog);
    return false;
}

}  // namespace orvane::encoder
