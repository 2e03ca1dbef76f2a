// Tarvo.EXE: the CD player. It reads no command line of its own (the shell's "/play" and drive
// are ignored); "--screenshots FOLDER" writes pictures of its windows for review.

#include <QApplication>

#include "cdplayer/ui/player_app.h"
#include "platform/base/command_line.h"
#include "tools/artwork/resources.h"

namespace {

constexpr const char* kHelp =
    "Usage: tarvo\n"
    "  or:  tarvo --screenshots FOLDER\n"
    "\n"
    "The CD player: plays the audio CD of the first drive (the demo disc when the machine has\n"
    "none), with random, programmed, intro-scan and A-B repeat play and its own song database.\n"
    "Right-click the player for its menu; drag it by its background. One player runs at a\n"
    "time. Other arguments (such as /play and a drive) are ignored.\n"
    "\n"
    "  --screenshots FOLDER  write pictures of the player and each dialog into FOLDER and end\n"
    "  --help                show this help and end\n"
    "  --version             show the version and end\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, so no display is needed.
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "Tarvo", kHelp); answered >= 0)
        return answered;
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == "--screenshots")
            ++i;
        else if (args[i].startsWith("--"))
            return orvane::UsageError("Tarvo", kHelp, "unknown option " + args[i].toStdString());
    }
    // The player ends when its window closes, not when its last visible window goes (it may be
    // hidden in the tray).
    QApplication::setQuitOnLastWindowClosed(false);
    orvane::artwork::InitTarvoResources();
    orvane::cdplayer::ui::CPlayerApp player;
    return player.Run(QApplication::arguments());
}
