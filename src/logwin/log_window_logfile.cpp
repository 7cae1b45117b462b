// The log window's "&Log to file" button: every completed line appended to a file the user
// picks. The file and whether arrival times show are remembered by a saved configuration and
// taken up again when it reopens.

#include "logwin/log_window.h"

#include "config/window_config.h"
#include "platform/error_report.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <optional>

namespace logwin {

void LogWindow::build_log_file_button()
{
    log_to_file_button = new QToolButton(tool_bar);
    log_to_file_button->setObjectName(QStringLiteral("ToolButton2"));
    log_to_file_button->setText(QStringLiteral("&Log to file"));
    log_to_file_button->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    log_to_file_button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    log_to_file_button->setAutoRaise(true);
    log_to_file_button->setCheckable(true);
    log_to_file_button->setFixedSize(std::max(80, log_to_file_button->sizeHint().width()), 36);
    tool_bar->addWidget(log_to_file_button);
    // clicked, not toggled: the window checks and unchecks the button itself as logging
    // starts and stops, and those changes must not ask for a file or touch the store.
    connect(log_to_file_button, &QToolButton::clicked, this, [this](bool checked) { log_to_file_clicked(checked); });

    ask_log_file_name = [this] {
        // Logging appends, so an existing file is no reason to ask again.
        return QFileDialog::getSaveFileName(this, QStringLiteral("Log to file"), QString(), QString(), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
}

void LogWindow::log_to_file_clicked(bool checked)
{
    platform::guarded([this, checked] {
        if (!checked) {
            stop_logging();
            remember_log_file({});
            return;
        }
        const QString file = ask_log_file_name ? ask_log_file_name() : QString();
        if (file.isEmpty() || !start_logging(file)) {
            log_to_file_button->setChecked(false);
            return;
        }
        remember_log_file(file);
    });
}

QString LogWindow::log_file_name() const { return log_channel->log_file_name(); }

bool LogWindow::start_logging(const QString& file)
{
    const QString error = log_channel->start_logging(file);
    if (!error.isEmpty()) {
        log_to_file_button->setChecked(false);
        platform::show_message(QStringLiteral("Can't log to ") + file + QStringLiteral(": ") + error + QLatin1Char('.'),
                               QStringLiteral("Error"), platform::MessageIcon::Error);
        return false;
    }
    log_to_file_button->setChecked(true);
    log_to_file_button->setToolTip(QStringLiteral("Logging to ") + file);
    return true;
}

void LogWindow::stop_logging()
{
    // A write error on the way is told through logging_failed.
    log_channel->stop_logging();
    show_not_logging();
}

void LogWindow::logging_failed(const QString& message)
{
    show_not_logging();
    // Told from the event loop: this may run in the middle of line assembly, which must not
    // be entered again by the reads a message box's own loop would serve; and a window
    // closing now is gone before the box could be shown.
    QTimer::singleShot(0, QCoreApplication::instance(), [message] {
        platform::show_message(message, QStringLiteral("Error"), platform::MessageIcon::Error);
    });
}

void LogWindow::show_not_logging()
{
    log_to_file_button->setChecked(false);
    log_to_file_button->setToolTip(QString());
}

void LogWindow::restore_window_choices()
{
    const std::optional<config::WindowChoices> choices = config::read_window_choices(config_name);
    if (!choices)
        return;
    set_shows_arrival_times(choices->arrival_times);
    set_shows_sender_addresses(choices->sender_addresses);
    if (!choices->log_file.isEmpty())
        start_logging(choices->log_file);
}

void LogWindow::remember_log_file(const QString& file)
{
    if (is_saved)
        config::remember_window_choice(config_name, &config::WindowChoices::log_file, file);
}

void LogWindow::choose_arrival_times(bool on)
{
    set_shows_arrival_times(on);
    if (is_saved)
        config::remember_window_choice(config_name, &config::WindowChoices::arrival_times, on);
}

void LogWindow::choose_sender_addresses(bool on)
{
    set_shows_sender_addresses(on);
    if (is_saved)
        config::remember_window_choice(config_name, &config::WindowChoices::sender_addresses, on);
}

}  // namespace logwin
