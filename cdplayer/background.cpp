#include "cdplayer/background.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern char** environ;

namespace orvane::cdplayer {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr const char* kRequest = "take over\n";

bool SocketAddress(sockaddr_un& address) {
    const std::string path = BackgroundSocketPath();
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Waits until fd is ready for events or timeoutMs have passed.
bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

// Reads one short line (at most 63 bytes) within timeoutMs.
std::string ReadLine(int fd, int timeoutMs) {
    std::string line;
    char c = 0;
    while (line.size() < 63 && WaitFor(fd, POLLIN, timeoutMs)) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line += c;
    }
    return line;
}

void WriteText(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string BackgroundSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/TarvoBackground.sock";
    return "/tmp/TarvoBackground-" + std::to_string(::getuid()) + ".sock";
}

bool KeepPlayingInBackground(PlayerState& player, const std::string& program, std::string& why) {
    why.clear();
    Lock lock(player.lock);
    auto& device = player.device;
    if (player.settings.StopCDOnExit == 1 || program.empty() || player.driveLetter == 0)
        return false;
    const DWORD mode = device.Status(0, MCI_STATUS_MODE, 0);
    if (mode != MCI_MODE_PLAY && mode != MCI_MODE_PAUSE) return false;
    const bool paused = mode == MCI_MODE_PAUSE;
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
    const DWORD msf = device.Status(0, MCI_STATUS_POSITION, 0);

    sockaddr_un address;
    if (!SocketAddress(address)) {
        why = "the path of the hand-over socket is too long";
        return false;
    }
    int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener >= 0 && listener <= 3) {
        // Descriptor 3 is where the child expects it; keep the parent's copy elsewhere.
        const int moved = ::fcntl(listener, F_DUPFD_CLOEXEC, 10);
        ::close(listener);
        listener = moved;
    }
    if (listener < 0) {
        why = std::string("no socket: ") + std::strerror(errno);
        return false;
    }
    ::unlink(address.sun_path);  // left by a background process that ended
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0) {
        why = std::string("cannot listen on ") + address.sun_path + ": " + std::strerror(errno);
        ::close(listener);
        return false;
    }

    char drive[4] = {player.driveLetter, ':', 0, 0};
    const std::string position = std::to_string(msf);
    const char* argv[] = {
        program.c_str(), "--keep-playing", drive, position.c_str(), paused ? "paused" : nullptr,
        nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, listener, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: the terminal or desktop session of the player does not end it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    // Play stops here first, so the disc is never heard twice.
    device.Stop();
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                 const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(listener);
    if (rc != 0) {
        why = program + ": " + std::strerror(rc);
        ::unlink(address.sun_path);
        device.Play(msf, kToEnd);  // the time format is MSF
        if (paused) device.Pause();
        return false;
    }
    return true;
}

std::optional<HandedOver> TakeOverFromBackground(unsigned timeoutMs) {
    sockaddr_un address;
    if (!SocketAddress(address)) return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    std::optional<HandedOver> state;
    // No background process: no socket, or nobody listening on it (connect fails at once).
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        WriteText(fd, kRequest);
        const std::string answer = ReadLine(fd, static_cast<int>(timeoutMs));
        char letter = 0;
        unsigned long msf = 0;
        char mode[16] = {};
        if (std::sscanf(answer.c_str(), "%c: %lu %15s", &letter, &msf, mode) == 3 &&
            (std::strcmp(mode, "playing") == 0 || std::strcmp(mode, "paused") == 0)) {
            state = HandedOver{letter, static_cast<DWORD>(msf), std::strcmp(mode, "paused") == 0};
        }
    }
    ::close(fd);
    return state;
}

void ContinueHandedOver(PlayerState& player, const HandedOver& state) {
    Lock lock(player.lock);
    if (state.drive != player.driveLetter) return;
    player.device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
    player.device.Play(state.msf, kToEnd);
    if (state.paused) player.device.Pause();
}

int RunBackgroundPlayback(PlayerState& player, DWORD msf, bool paused, int listenFd) {
    ::signal(SIGPIPE, SIG_IGN);
    {
        Lock lock(player.lock);
        player.device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
        if (player.device.Play(msf, kToEnd) != 0) return 1;
        // A paused disc stays paused at its place, as a drive holds a pause.
        if (paused && player.device.Pause() != 0) return 1;
    }
    bool takenOver = false;
    while (!takenOver) {
        if (WaitFor(listenFd, POLLIN, 250)) {
            const int peer = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (peer >= 0 && ReadLine(peer, 2000) + "\n" == kRequest) {
                std::string answer;
                {
                    Lock lock(player.lock);
                    auto& device = player.device;
                    const DWORD mode = device.Status(0, MCI_STATUS_MODE, 0);
                    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
                    const DWORD at = device.Status(0, MCI_STATUS_POSITION, 0);
                    device.Stop();
                    answer = std::string(1, player.driveLetter) + ": " + std::to_string(at) +
                             (mode == MCI_MODE_PLAY    ? " playing\n"
                              : mode == MCI_MODE_PAUSE ? " paused\n"
                                                       : " stopped\n");
                }
                WriteText(peer, answer);
                takenOver = true;
            }
            if (peer >= 0) ::close(peer);
            if (takenOver) break;
        }
        // The disc ended, or the tray opened: nothing left to keep. Looked at after every
        // connection too, so callers that only knock cannot keep it alive.
        Lock lock(player.lock);
        const DWORD mode = player.device.Status(0, MCI_STATUS_MODE, 0);
        if (mode != MCI_MODE_PLAY && mode != MCI_MODE_PAUSE) break;
    }
    {
        Lock lock(player.lock);
        player.device.Stop();
        player.device.Close();
    }
    ::close(listenFd);
    // Once taken over, the path belongs to the player that asked (its own exit may bind anew).
    if (!takenOver) ::unlink(BackgroundSocketPath().c_str());
    return 0;
}

}  // namespace orvane::cdplayer
