#pragma once
// Test helpers: a private session bus (a dbus-daemon of the test's own) and a stand-in
// notification service on it that records the notifications it is sent and can report clicks.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace notification_service {

struct Call {
    QString app_name;
    uint replaces_id = 0;
    QString summary;
    QString body;
    QStringList actions;
    uint id = 0;  // what the stand-in answered
};

// Registered as org.freedesktop.Notifications; the slot is the service's method, the signal
// goes out on the bus when emitted.
class StandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    std::vector<Call> calls;

public Q_SLOTS:
    uint Notify(const QString& app_name, uint replaces_id, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int)
    {
        const uint id = replaces_id != 0 ? replaces_id : next_id++;
        calls.push_back({app_name, replaces_id, summary, body, actions, id});
        return id;
    }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& action_key);

private:
    uint next_id = 1;
};

// A dbus-daemon for the test alone, ended with the object. Connections are made by name.
class PrivateBus {
public:
    PrivateBus()
    {
        daemon.setProgram(QStringLiteral("dbus-daemon"));
        daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--print-address"), QStringLiteral("--nofork")});
        daemon.start();
        if (daemon.waitForStarted() && daemon.waitForReadyRead())
            address = QString::fromLatin1(daemon.readLine().trimmed());
    }
    ~PrivateBus()
    {
        for (const QString& name : names)
            QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool running() const { return !address.isEmpty(); }
    QDBusConnection connect(const QString& name)
    {
        names.append(name);
        return QDBusConnection::connectToBus(address, name);
    }
    // Puts the stand-in on the bus under the service's name, on a connection of its own.
    bool serve(StandIn& stand_in)
    {
        QDBusConnection service = connect(QStringLiteral("stand-in service"));
        service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        return service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &stand_in,
                                      QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
               && service.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    void stop_serving()
    {
        QDBusConnection(QStringLiteral("stand-in service")).unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    }

private:
    QProcess daemon;
    QString address;
    QStringList names;
};

}  // namespace notification_service
