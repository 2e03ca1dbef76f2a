#pragma once
// Starting one of the window programs on a fresh registry and ending it once its start-up has
// created the keys the installation leaves. The wait follows the registry folder (each hive is
// rewritten by a rename into it), so it ends as soon as the keys are there; the limit only ends
// a start-up that went astray.

#include <stdlib.h>
#include <sys/stat.h>

#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <filesystem>
#include <string>

#include "common/installed_keys.h"
#include "platform/registry/winreg.h"

namespace orvane::test {

// Points this process's registry at folder (and drops what it had cached).
inline void UseRegistryFolder(const std::filesystem::path& folder) {
    ::setenv("ORVANE_REGISTRY_DIR", folder.c_str(), 1);
    registry::ResetForTesting();
}

// True when every key of kInstalledKeys is in this process's registry.
inline bool InstalledKeysPresent() {
    registry::ResetForTesting();
    for (const char* path : kInstalledKeys) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
    }
    return true;
}

// Starts program with the registry in `home`/registry (which must not hold any hive yet) and
// the user's folders under `home`, on no screen; returns once the installed keys exist there
// (true) or the program ended or limitMs passed first (false, with the reason in why). The
// program is ended before returning. This process's registry is left pointing at the folder.
inline bool RunFirstStart(const std::string& program, const std::filesystem::path& home,
                          std::string& why, int limitMs = 60000) {
    const std::filesystem::path registry = home / "registry";
    std::filesystem::create_directories(registry);
    std::filesystem::create_directories(home / "runtime");
    ::chmod((home / "runtime").c_str(), 0700);
    UseRegistryFolder(registry);

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORVANE_REGISTRY_DIR", QString::fromStdString(registry.string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        env.insert(name, QString::fromStdString((home / name).string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString((home / "runtime").string()));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);

    QEventLoop loop;
    QFileSystemWatcher watcher({QString::fromStdString(registry.string())});
    bool present = false;
    auto check = [&] {
        if (InstalledKeysPresent()) {
            present = true;
            loop.quit();
        }
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, check);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    process.start(QString::fromStdString(program), {});
    if (!process.waitForStarted(30000)) {
        why = program + ": " + process.errorString().toStdString();
        return false;
    }
    limit.start(limitMs);
    check();
    if (!present) loop.exec();
    const bool ended = process.state() == QProcess::NotRunning;
    if (!ended) {
        process.kill();
        process.waitForFinished(30000);
    }
    if (!present) present = InstalledKeysPresent();
    if (!present)
        why = ended ? program + " ended before making the keys"
                    : program + " made no keys within the limit";
    return present;
}

}  // namespace orvane::test
