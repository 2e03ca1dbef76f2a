// Tarvo.EXE: the CD player. It reads no command line of its own (the shell's "/play" and drive
// are ignored); "--screenshots FOLDER" writes pictures of its windows for review.

#include <QApplication>

#include "cdplayer/ui/player_app.h"
#include "tools/artwork/resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The player ends when its window closes, not when its last visible window goes (it may be
    // hidden in the tray).
    QApplication::setQuitOnLastWindowClosed(false);
    orvane::artwork::InitTarvoResources();
    orvane::cdplayer::ui::CPlayerApp player;
    return player.Run(QApplication::arguments());
}
