#pragma once
// Desktop notifications of firing alerts through the freedesktop notification service
// (org.freedesktop.Notifications) on the session bus. Needs no widgets.

#include "alerts/notifier.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QObject>

#include <map>

namespace alerts {

class DesktopNotifier final : public QObject, public Notifier {
    Q_OBJECT

public:
    // bus: where the notification service is looked for. A source sends at most one
    // notification per burst interval; the lines that fire meanwhile are shown as one when it
    // has passed.
    explicit DesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                             int burst_interval_ms = default_burst_interval_ms, QObject* parent = nullptr);

    static constexpr int default_burst_interval_ms = 2000;

    void notify(QObject* source, const QString& summary, const QString& body,
                std::function<void()> activate) override;

    // The longest line a body shows, in characters; a longer one is cut and ends with "…".
    static constexpr int max_line_length = 200;
    // The body as the service gets it: the line with control characters as blanks, cut, its
    // markup characters escaped (the service may read the body as markup), and after it
    // "(N more lines)" when more lines fired since the last notification.
    static QString body_markup(const QString& line, int more_lines);

private Q_SLOTS:
    // The service's signal: the user chose an action of notification `id`; a click is "default".
    void action_invoked(uint id, const QString& action_key);

private:
    struct Source {
        uint id = 0;             // the service's id of the source's notification; 0 before one
        bool in_flight = false;  // a Notify call awaits its reply
        bool scheduled = false;  // a send waits for the burst interval to end
        QElapsedTimer last_sent;
        QString summary;
        QString line;            // the latest line, not yet shown
        int waiting = 0;         // lines fired since the last send
        std::function<void()> activate;
    };
    // Sends the source's waiting line now, or when its burst interval ends.
    void send_when_due(QObject* source);
    void send(QObject* source);

    QDBusConnection bus_;
    int burst_interval_ms_;
    std::map<QObject*, Source> sources_;
};

}  // namespace alerts
