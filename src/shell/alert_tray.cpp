// The tray icon and its two faces.

#include "shell/alert_tray.h"

#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <utility>

// Resources of a static library must be registered by name from the global namespace.
static void register_tray_resources()
{
    Q_INIT_RESOURCE(shell);
}

namespace shell {

namespace {

// The sizes trays and panels ask for.
constexpr int icon_sizes[] = {16, 22, 24, 32, 48, 64};

}  // namespace

AlertTray::AlertTray(std::function<void()> activate, QObject* parent)
    : QObject(parent), activate_(std::move(activate))
{
    register_tray_resources();
    base_icon_ = QIcon(QStringLiteral(":/shell/vesmira.png"));
    pending_icon_ = red_variant(base_icon_);
    find_tray();
}

QString AlertTray::tooltip_for(int count)
{
    if (count <= 0)
        return QStringLiteral("Vesmira — no alerts pending");
    if (count == 1)
        return QStringLiteral("Vesmira — 1 alert pending");
    return QStringLiteral("Vesmira — %1 alerts pending").arg(count);
}

QIcon AlertTray::red_variant(const QIcon& base)
{
    QIcon red;
    for (const int size : icon_sizes) {
        QPixmap pixmap = base.pixmap(size);
        if (pixmap.isNull())
            continue;
        QPainter painter(&pixmap);
        // Only where the icon is drawn: its transparent parts stay transparent.
        painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        painter.fillRect(pixmap.rect(), QColor(230, 0, 0, 190));
        painter.end();
        red.addPixmap(pixmap);
    }
    return red;
}

void AlertTray::show_pending(int count)
{
    pending_ = count;
    find_tray();
    if (tray_ == nullptr)
        return;
    tray_->setIcon(icon());
    tray_->setToolTip(tooltip());
}

void AlertTray::find_tray()
{
    if (tray_ != nullptr || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    tray_ = new QSystemTrayIcon(icon(), this);
    tray_->setObjectName(QStringLiteral("tray_icon"));
    tray_->setToolTip(tooltip());
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            activate_();
    });
    tray_->show();
}

}  // namespace shell
