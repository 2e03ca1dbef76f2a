#pragma once
// A session bus of the test's own (a dbus-daemon it starts and ends), and running the desktop's
// command-line clients against it while this process keeps answering on the bus.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace orvane::test {

class PrivateBus {
public:
    PrivateBus() {
        daemon_.setProgram("dbus-daemon");
        daemon_.setArguments({"--session", "--nofork", "--print-address=1"});
        daemon_.start();
        if (!daemon_.waitForStarted(10000)) return;
        QElapsedTimer t;
        t.start();
        while (!address_.contains('\n') && t.elapsed() < 10000 && daemon_.waitForReadyRead(1000))
            address_ += QString::fromUtf8(daemon_.readAllStandardOutput());
        address_ = address_.trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Up() const { return !address_.isEmpty(); }
    const QString& Address() const { return address_; }

    // A connection of this process of its own, under a name.
    QDBusConnection Connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

    // The environment of a client of this bus (and of no system bus).
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        return env;
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

struct ClientRun {
    int exitCode = -1;
    std::string out;
};

// Runs a client program to its end (at most timeoutMs) while handling this process's events,
// so that objects this process serves on the bus answer it.
inline ClientRun RunClient(const QProcessEnvironment& env, const QString& program,
                           const QStringList& args, int timeoutMs = 20000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    ClientRun run;
    if (!p.waitForStarted(10000)) return run;
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        p.waitForFinished(5);
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(2000);
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput().trimmed().toStdString();
    return run;
}

// Handles this process's events for a while (real time; only for answers on the bus, never to
// let a described pause pass).
inline void Spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace orvane::test
