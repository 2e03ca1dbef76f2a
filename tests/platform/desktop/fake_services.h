#pragma once
// Stand-ins of the desktop's services on a private bus: they record each call and answer as the
// real ones do (a notification id, a screen-saver cookie).

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QString>
#include <QVariant>

namespace orvane::test {

class FakeService final : public QDBusVirtualObject {
public:
    struct Call {
        QString member;
        QList<QVariant> args;
    };

    // Serves path under name on bus; false when the name could not be had.
    bool Serve(QDBusConnection bus, const QString& name, const QString& path) {
        bus_ = bus;
        name_ = name;
        path_ = path;
        return bus.registerVirtualObject(path, this) && bus.registerService(name);
    }
    ~FakeService() override {
        if (!name_.isEmpty()) {
            bus_.unregisterService(name_);
            bus_.unregisterObject(path_);
        }
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        calls.push_back({message.member(), message.arguments()});
        QList<QVariant> reply;
        if (message.member() == "Notify") reply << quint32(7);
        if (message.member() == "Inhibit") reply << quint32(42);
        QDBusConnection(connection).send(message.createReply(reply));
        return true;
    }

    int Count(const QString& member) const {
        int n = 0;
        for (const Call& c : calls)
            n += c.member == member ? 1 : 0;
        return n;
    }

    QList<Call> calls;

private:
    QDBusConnection bus_{""};
    QString name_, path_;
};

}  // namespace orvane::test
