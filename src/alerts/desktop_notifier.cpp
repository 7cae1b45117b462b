// The desktop notifier: one notification per log window, replaced in place and coalesced in
// bursts, sent without waiting; a missing bus or service costs nothing and says nothing.

#include "alerts/desktop_notifier.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace alerts {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString object_path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface_name = QStringLiteral("org.freedesktop.Notifications");
// The installed icon and menu entry go by the program's desktop id; the service shows that
// icon and may group the notifications under the entry.
const QString app_id = QStringLiteral(VESMIRA_APP_ID);
const QString click_action = QStringLiteral("default");

}  // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, int burst_interval_ms, QObject* parent)
    : QObject(parent), bus_(bus), burst_interval_ms_(burst_interval_ms)
{
    if (bus_.isConnected())
        bus_.connect(service, object_path, interface_name, QStringLiteral("ActionInvoked"), this,
                     SLOT(action_invoked(uint, QString)));
}

QString DesktopNotifier::body_markup(const QString& line, int more_lines)
{
    QString text = line;
    for (QChar& character : text)
        if (character.category() == QChar::Other_Control)
            character = QLatin1Char(' ');
    text = text.trimmed();
    if (text.size() > max_line_length)
        text = text.left(max_line_length - 1) + QChar(0x2026);
    text = text.toHtmlEscaped();
    if (more_lines == 1)
        text += QStringLiteral("\n(1 more line)");
    else if (more_lines > 1)
        text += QStringLiteral("\n(%1 more lines)").arg(more_lines);
    return text;
}

void DesktopNotifier::notify(QObject* source, const QString& summary, const QString& body,
                             std::function<void()> activate)
{
    // No session bus: the desktop has nowhere to show it.
    if (!bus_.isConnected())
        return;
    const auto [found, added] = sources_.try_emplace(source);
    if (added)
        connect(source, &QObject::destroyed, this, [this, source] { sources_.erase(source); });
    Source& entry = found->second;
    entry.summary = summary;
    entry.line = body;
    entry.activate = std::move(activate);
    ++entry.waiting;
    send_when_due(source);
}

void DesktopNotifier::send_when_due(QObject* source)
{
    Source& entry = sources_.at(source);
    // A send under way picks the waiting lines up when its reply is in: it knows the id to
    // replace only then.
    if (entry.waiting == 0 || entry.in_flight || entry.scheduled)
        return;
    const qint64 due_in = entry.last_sent.isValid() ? burst_interval_ms_ - entry.last_sent.elapsed() : 0;
    if (due_in <= 0) {
        send(source);
        return;
    }
    entry.scheduled = true;
    QTimer::singleShot(int(due_in), this, [this, source] {
        const auto found = sources_.find(source);
        if (found == sources_.end())
            return;
        found->second.scheduled = false;
        send_when_due(source);
    });
}

void DesktopNotifier::send(QObject* source)
{
    Source& entry = sources_.at(source);
    QDBusMessage call = QDBusMessage::createMethodCall(service, object_path, interface_name, QStringLiteral("Notify"));
    call << QCoreApplication::applicationName() << entry.id << app_id << entry.summary
         << body_markup(entry.line, entry.waiting - 1) << QStringList{click_action, QStringLiteral("Show window")}
         << QVariantMap{{QStringLiteral("desktop-entry"), app_id}} << qint32(-1);
    entry.waiting = 0;
    entry.in_flight = true;
    entry.last_sent.start();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, source](QDBusPendingCallWatcher* reply_watcher) {
        reply_watcher->deleteLater();
        const auto found = sources_.find(source);
        if (found == sources_.end())
            return;
        Source& replied = found->second;
        replied.in_flight = false;
        // No service, or one that refused: the line is lost, as a notification nobody shows.
        const QDBusPendingReply<uint> reply = *reply_watcher;
        if (reply.isValid())
            replied.id = reply.value();
        send_when_due(source);
    });
}

void DesktopNotifier::action_invoked(uint id, const QString& action_key)
{
    if (id == 0 || action_key != click_action)
        return;
    const auto clicked = std::find_if(sources_.begin(), sources_.end(),
                                      [id](const auto& entry) { return entry.second.id == id; });
    if (clicked == sources_.end() || !clicked->second.activate)
        return;
    // A copy: activating may let other handlers run, and those may change the sources.
    const std::function<void()> activate = clicked->second.activate;
    activate();
}

}  // namespace alerts
