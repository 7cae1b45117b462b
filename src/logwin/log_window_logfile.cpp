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
    ToolButton2 = new QToolButton(ToolBar1);
    ToolButton2->setObjectName(QStringLiteral("ToolButton2"));
    ToolButton2->setText(QStringLiteral("&Log to file"));
    ToolButton2->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    ToolButton2->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolButton2->setAutoRaise(true);
    ToolButton2->setCheckable(true);
    ToolButton2->setFixedSize(std::max(80, ToolButton2->sizeHint().width()), 36);
    ToolBar1->addWidget(ToolButton2);
    // clicked, not toggled: the window checks and unchecks the button itself as logging
    // starts and stops, and those changes must not ask for a file or touch the store.
    connect(ToolButton2, &QToolButton::clicked, this, [this](bool checked) { ToolButton2Click(checked); });

    ask_log_file_name = [this] {
        // Logging appends, so an existing file is no reason to ask again.
        return QFileDialog::getSaveFileName(this, QStringLiteral("Log to file"), QString(), QString(), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
}

void LogWindow::ToolButton2Click(bool checked)
{
    platform::guarded([this, checked] {
        if (!checked) {
            stop_logging();
            remember_log_file({});
            return;
        }
        const QString file = ask_log_file_name ? ask_log_file_name() : QString();
        if (file.isEmpty() || !start_logging(file)) {
            ToolButton2->setChecked(false);
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
        ToolButton2->setChecked(false);
        platform::show_message(QStringLiteral("Can't log to ") + file + QStringLiteral(": ") + error + QLatin1Char('.'),
                               QStringLiteral("Error"), platform::MessageIcon::Error);
        return false;
    }
    ToolButton2->setChecked(true);
    ToolButton2->setToolTip(QStringLiteral("Logging to ") + file);
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
    ToolButton2->setChecked(false);
    ToolButton2->setToolTip(QString());
}

void LogWindow::restore_window_choices()
{
    const std::optional<config::WindowChoices> choices = config::read_window_choices(config_name);
    if (!choices)
        return;
    set_shows_arrival_times(choices->arrival_times);
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

}  // namespace logwin
