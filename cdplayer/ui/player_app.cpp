#include "cdplayer/ui/player_app.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>
#include <optional>

#include "cdplayer/background.h"
#include "cdplayer/commands.h"
#include "cdplayer/ui/dialogs_ui.h"
#include "common/installed_keys.h"
#include "platform/cdrom/drives.h"
#include "platform/shell/sysinfo.h"

namespace orvane::cdplayer::ui {

bool OfferDefaultCdPlayer(PlayCommandKey& key, Messenger& messenger,
                          const std::string& executablePath, const DesktopFolders& folders) {
    if (!OfferDefaultPlayer(key, messenger, executablePath)) return false;
    std::string error;
    // As with the registry value, a failed write is not reported to the user.
    if (!RegisterDefaultCdPlayer(executablePath, folders, error))
        std::fprintf(stderr, "Tarvo: %s\n", error.c_str());
    return true;
}

CPlayerApp::CPlayerApp() : profile_(kCompanyKey), instance_("TarvoMutex") {}

CPlayerApp::~CPlayerApp() {
    if (status_) status_->Stop();
}

bool CPlayerApp::InitInstance(bool screenshots, int& exitCode) {
    exitCode = 0;
    // 1. Settings.
    player_.settings.Load(profile_);
    player_.databasePath = DefaultDatabasePath();
    if (screenshots) {
        // Pictures are taken without anyone to answer: every box takes its first choice, and
        // the question about the default player is answered No.
        messenger_.SetHandler([](const std::string& text, const std::string&, unsigned flags) {
            std::fprintf(stderr, "Tarvo: %s\n", text.c_str());
            return (flags & 0x0F) == MB_YESNO ? IDNO : IDOK;
        });
    }
    // 2. One player at a time; a second start ends without a word.
    if (!screenshots && !instance_.Acquire()) return false;
    // A disc left playing by the previous player goes on here, where it was.
    std::optional<HandedOver> handedOver;
    if (!screenshots) handedOver = TakeOverFromBackground(3000);
    // 3. The default-player offer, on the key the installation leaves (made here when the
    // registry is fresh).
    if (!screenshots) {
        std::string keyError;
        if (!CreateInstalledKeys(keyError)) std::fprintf(stderr, "Tarvo: %s\n", keyError.c_str());
        const auto key = RegistryPlayCommandKey();
        OfferDefaultCdPlayer(*key, messenger_, shell::ModuleFileName(),
                             DesktopFoldersFromEnvironment());
    }
    // 4-6. The main window, hidden, with its regions.
    frame_ = std::make_unique<CPlayerFrame>(player_, messenger_, &profile_);
    messenger_.SetOwner(frame_.get());
    const DriveTypeFn driveType = [](const std::string& root) {
        return GetDriveType(root.c_str());
    };
    frame_->SetDriveType(driveType);
    frame_->OnClosed([] { QCoreApplication::quit(); });
    if (!screenshots) frame_->SetBackgroundProgram(shell::ModuleFolder() + "tarvo-headless");
    frame_->BuildRegions();
    // 7. Controls, icons, tray icon; shown.
    frame_->CreateControls();
    frame_->AddTrayIcon();
    frame_->show();
    // 9. The slide panel.
    frame_->CreateSlidePanel();
    // 10. The device.
    frame_->show();
    // A program's window comes up in front, with the keyboard (on Play).
    frame_->activateWindow();
    // A disc image the drive configuration names but that was refused (too long for a CD, a
    // damaged sheet) is said here, or the user would only learn that there is no drive.
    cdrom::Drives();  // discovers them, if nothing has yet
    for (const std::string& problem : cdrom::DriveMessages())
        messenger_.MessageBox(problem, "", MB_ICONWARNING);
    if (!StartDevice(player_, messenger_, driveType)) {
        exitCode = 1;
        return false;
    }
    // The desktop's media controls, once the device is open; never for a second player.
    if (!screenshots) {
        mpris_ = std::make_unique<mpris::MprisService>(
            player_, mpris::MprisService::Hooks{
                         [this] { frame_->TrayActivated(QSystemTrayIcon::DoubleClick); },
                         [this] { frame_->close(); }, mpris::ReadDriveTexts});
        mpris_->Start(desktop::SessionBus());
        tap_ = std::make_unique<mpris::PollTap>(*frame_, *mpris_);
    }
    // 11. The status thread, the slider, On Top, play on start-up.
    status_ = std::make_unique<CStatusThread>(player_,
                                              tap_ ? static_cast<PlayerDisplay&>(*tap_) : *frame_);
    frame_->SetStatusThread(status_.get());
    status_->Start();
    frame_->CreateSlider();
    frame_->SetOnTop(true);
    if (handedOver)
        ContinueHandedOver(player_, *handedOver);
    else if (player_.settings.PlayOnStartUp == 1)
        PlayOnStartUp(player_);
    // 12. Tooltips.
    frame_->CreateTooltips();
    return true;
}

int CPlayerApp::Run(const QStringList& arguments) {
    const int at = static_cast<int>(arguments.indexOf("--screenshots"));
    const bool screenshots = at >= 0;
    if (screenshots && at + 1 >= arguments.size()) {
        std::fprintf(stderr, "usage: Tarvo.EXE --screenshots FOLDER\n");
        return 2;
    }
    int exitCode = 0;
    if (!InitInstance(screenshots, exitCode)) return exitCode;
    if (screenshots) return Screenshots(arguments[at + 1].toStdString());
    return QApplication::exec();
}

namespace {

// Handles window messages for a while on the real clock (the status thread keeps polling).
void Settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

// The window as the user sees it: pixels outside its shape are transparent.
QImage Shaped(QWidget& window, const QRegion& shape) {
    QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!shape.contains(QPoint(x, y))) image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return image;
}

bool Save(const QImage& image, const QDir& dir, const char* name) {
    const QString path = dir.filePath(name);
    if (image.save(path, "PNG")) {
        std::printf("%s\n", path.toLocal8Bit().constData());
        return true;
    }
    std::fprintf(stderr, "Tarvo: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

bool SaveDialog(QWidget& dialog, const QDir& dir, const char* name) {
    dialog.show();
    Settle(150);
    const bool ok = Save(dialog.grab().toImage(), dir, name);
    dialog.hide();
    return ok;
}

}  // namespace

int CPlayerApp::Screenshots(const std::string& folder) {
    QDir dir(QString::fromStdString(folder));
    if (!dir.mkpath(".")) {
        std::fprintf(stderr, "Tarvo: cannot create %s\n", folder.c_str());
        return 1;
    }
    bool ok = true;
    frame_->SetWait([](unsigned) { QCoreApplication::processEvents(); });
    PlayPauseCommand(player_);
    Settle(1600);
    ok &= Save(Shaped(*frame_, frame_->Shape()), dir, "tarvo-compact.png");
    frame_->ToggleFullSize();
    Settle(1200);
    ok &= Save(Shaped(*frame_, frame_->Shape()), dir, "tarvo-full.png");

    {
        CAboutDlg about(frame_.get());
        ok &= SaveDialog(about, dir, "tarvo-about.png");
    }
    {
        CSetupProp sheet(
            player_, messenger_, [](const std::string& root) { return GetDriveType(root.c_str()); },
            frame_.get());
        ok &= SaveDialog(sheet, dir, "tarvo-preferences.png");
    }
    {
        CCdDatabaseDlg database(player_, messenger_, frame_.get());
        ok &= SaveDialog(database, dir, "tarvo-cd-database.png");
    }
    {
        CProgramDlg program(player_, messenger_, frame_.get());
        for (int row : {2, 0, 1}) {
            program.Tracks()->setCurrentRow(row);
            program.Add();
        }
        ok &= SaveDialog(program, dir, "tarvo-program.png");
    }
    StopCommand(player_);
    frame_->close();
    return ok ? 0 : 1;
}

}  // namespace orvane::cdplayer::ui
