// The log window's view controls on its tool bar: clearing the view, following new lines, and
// what the window holds.

#include "colormemo/tcolormemo.h"
#include "logwin/find_bar.h"
#include "logwin/log_window.h"
#include "platform/error_report.h"

#include <QLabel>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace logwin {

namespace {

// The holdings change with every read; people read them this often at most.
constexpr int holdings_interval_ms = 500;

QToolButton* new_tool_button(QToolBar* bar, const char* name, const QString& text, const QIcon& icon)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFixedHeight(36);
    bar->addWidget(button);
    return button;
}

QString megabytes_text(std::int64_t bytes)
{
    const double megabytes = static_cast<double>(bytes) / double(1 << 20);
    return megabytes < 10 ? QStringLiteral("%1 MB").arg(megabytes, 0, 'f', 1)
                          : QStringLiteral("%1 MB").arg(count_text(static_cast<std::int64_t>(megabytes + 0.5)));
}

}  // namespace

void LogWindow::build_view_controls()
{
    // The tool bar gives its buttons its icon size; the style's is too large for a caption under
    // the icon in the bar's 40 pixels, and the acknowledge image is drawn at 16.
    tool_bar->setIconSize(QSize(16, 16));
    // No Alt key: every letter of it is taken in the window (R by the alert conditions' first box);
    // Ctrl+Shift+L clears.
    clear_button = new_tool_button(tool_bar, "clear_button", QStringLiteral("Clear"),
                                   style()->standardIcon(QStyle::SP_DialogResetButton));
    clear_button->setToolTip(QStringLiteral("Empty the view (Ctrl+Shift+L)"));
    connect(clear_button, &QToolButton::clicked, this, [this] { platform::guarded([this] { clear_view(); }); });

    follow_button = new_tool_button(tool_bar, "follow_button", QStringLiteral("&Follow"),
                                    style()->standardIcon(QStyle::SP_ArrowDown));
    follow_button->setCheckable(true);
    follow_button->setChecked(true);
    follow_button->setToolTip(QStringLiteral("Keep the newest line in view (Scroll Lock)"));
    connect(follow_button, &QToolButton::toggled, this,
            [this](bool on) { platform::guarded([this, on] { shown_memo()->set_follows(on); }); });
    for (TColorMemo* memo : {log_view_, filtered_view})
        connect(memo, &colormemo::TextView::follows_changed, this, [this, memo](bool on) {
            if (memo == shown_memo())
                follow_button->setChecked(on);
        });
    // Scroll Lock does what it says: the view stops moving, or moves on again.
    auto* scroll_lock = new QShortcut(QKeySequence(Qt::Key_ScrollLock), this);
    scroll_lock->setContext(Qt::WidgetWithChildrenShortcut);
    connect(scroll_lock, &QShortcut::activated, follow_button, &QToolButton::toggle);

    auto* spacer = new QWidget(tool_bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    tool_bar->addWidget(spacer);
    holdings_label = new QLabel(tool_bar);
    holdings_label->setObjectName(QStringLiteral("holdings_label"));
    holdings_label->setContentsMargins(0, 0, 6, 0);
    tool_bar->addWidget(holdings_label);
    auto* holdings_timer = new QTimer(this);
    holdings_timer->setInterval(holdings_interval_ms);
    connect(holdings_timer, &QTimer::timeout, this, [this] {
        const QString text = holdings_text();
        if (holdings_label->text() != text)
            holdings_label->setText(text);
    });
    holdings_timer->start();
    holdings_label->setText(holdings_text());
}

QString LogWindow::holdings_text() const
{
    const auto counted = [](std::int64_t count, const char* one, const char* many) {
        return count_text(count) + QLatin1Char(' ') + QString::fromLatin1(count == 1 ? one : many);
    };
    QString text = counted(log_channel->senders(), "sender", "senders") + QStringLiteral(" · ")
                   + counted(log_view_->line_count(), "line", "lines") + QStringLiteral(" · ")
                   + megabytes_text(log_channel->lines().byte_total());
    // Losses and refusals are never hidden, and shown only when there are any.
    if (protocol != net::Protocol::lines) {
        if (const std::int64_t lost = log_channel->lost(); lost > 0)
            text += QStringLiteral(" · ") + count_text(lost) + QStringLiteral(" lost");
        if (const std::int64_t errors = log_channel->framing_errors(); errors > 0)
            text += QStringLiteral(" · ") + counted(errors, "framing error", "framing errors");
    }
    if (const std::int64_t refused = log_channel->refused(); refused > 0)
        text += QStringLiteral(" · ") + count_text(refused) + QStringLiteral(" refused");
    return protocol != net::Protocol::lines ? QStringLiteral("syslog · ") + text : text;
}

void LogWindow::clear_view()
{
    // The filtered view empties with the log; the filter goes on with the lines that arrive.
    log_channel->clear();
    holdings_label->setText(holdings_text());
}

bool LogWindow::shows_arrival_times() const { return log_view_->shows_arrival_times(); }

void LogWindow::set_shows_arrival_times(bool on)
{
    for (TColorMemo* memo : {log_view_, filtered_view})
        memo->set_shows_arrival_times(on);
}

bool LogWindow::shows_sender_addresses() const { return log_view_->shows_sender_addresses(); }

void LogWindow::set_shows_sender_addresses(bool on)
{
    for (TColorMemo* memo : {log_view_, filtered_view})
        memo->set_shows_sender_addresses(on);
}

}  // namespace logwin
