#pragma once
// The frame's tray icon: the application icon, drawn red while alerts are pending, with their
// count in its tooltip; a click brings the frame forward.

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>

class QSystemTrayIcon;

namespace shell {

class AlertTray : public QObject {
    Q_OBJECT

public:
    // activate runs when the user clicks the icon. The icon is in the tray as long as a tray is
    // available; one that appears later is found at the next change of the count.
    explicit AlertTray(std::function<void()> activate, QObject* parent = nullptr);

    // Follows the frame's count of log windows with a pending alert.
    void show_pending(int count);

    // What the tray shows, kept also while there is no tray.
    int pending() const { return pending_; }
    QString tooltip() const { return tooltip_for(pending_); }
    QIcon icon() const { return pending_ > 0 ? pending_icon_ : base_icon_; }
    // Null while no tray is available.
    QSystemTrayIcon* tray_icon() const { return tray_; }

    // "Vesmira — no alerts pending", "Vesmira — 1 alert pending", "Vesmira — 2 alerts pending".
    static QString tooltip_for(int count);
    // The application icon washed over with red, so a glance at the tray tells pending from quiet.
    static QIcon red_variant(const QIcon& base);

private:
    // Puts the icon into the tray if there is one now and it isn't there yet.
    void find_tray();

    QIcon base_icon_;
    QIcon pending_icon_;
    int pending_ = 0;
    std::function<void()> activate_;
    QSystemTrayIcon* tray_ = nullptr;
};

}  // namespace shell
