// The log window: layout, its log channel, closing, the actions of its alerts and what its
// alert editor needs of it.

#include "logwin/log_window.h"

#include "config/server_certificate.h"
#include "tls/fingerprints.h"
#include "tls/server_context.h"

#include "alerts/tgradientcaption.h"
#include "alerts/tmediaplayer.h"
#include "colormemo/tcolormemo.h"
#include "help/helpsys.h"
#include "logwin/find_bar.h"
#include "logwin/window_images.h"
#include "net/address_filter.h"
#include "net/socket_errors.h"
#include "platform/bring_to_front.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"
#include "platform/shell_open.h"
#include "platform/text_fit.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

namespace logwin {

using platform::interface_font;

namespace {

constexpr int opening_client_width = 543;
constexpr int opening_client_height = 410;

// The window's client area; its size hint is the size the window opens with.
class WindowContents : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {opening_client_width, opening_client_height}; }
};

}  // namespace

LogWindow::LogWindow(AlertCounter* counter, QWidget* parent)
    : QMdiSubWindow(parent),
      log_channel(new channel::LogChannel(*this, this)),
      alerts(log_channel->alerts()),
      alert_counter(counter)
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(interface_font(10));
    setWindowTitle(QStringLiteral("Form2"));
    help::set_help_context(this, help::context_log_window);

    auto* contents = new WindowContents;
    auto* layout = new QVBoxLayout(contents);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tool_bar = new QToolBar(contents);
    tool_bar->setObjectName(QStringLiteral("ToolBar1"));
    tool_bar->setFixedHeight(40);
    tool_bar->setMovable(false);
    tool_bar->setFloatable(false);
    acknowledge_button = new QToolButton(tool_bar);
    acknowledge_button->setObjectName(QStringLiteral("ToolButton1"));
    acknowledge_button->setText(QStringLiteral(" Ac&knowledge errors "));
    acknowledge_button->setIcon(acknowledge_image());
    acknowledge_button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    acknowledge_button->setAutoRaise(true);
    acknowledge_button->setFixedSize(113, 36);
    tool_bar->addWidget(acknowledge_button);
    connect(acknowledge_button, &QToolButton::clicked, this, [this] { acknowledge_alerts(); });
    build_log_file_button();
    layout->addWidget(tool_bar);

    tabs = new QTabWidget(contents);
    tabs->setObjectName(QStringLiteral("PageControl1"));
    view_tab = new QWidget;
    view_tab->setObjectName(QStringLiteral("TabSheet1"));
    auto* view_layout = new QVBoxLayout(view_tab);
    view_layout->setContentsMargins(0, 0, 0, 0);
    log_view_ = new TColorMemo(view_tab);
    log_view_->setObjectName(QStringLiteral("memo1"));
    log_view_->set_lines(log_channel->lines());
    // Rule 0: the catchwords of the active alerts, drawn in red.
    log_view_->add_highlight_rule();
    view_layout->addWidget(log_view_);
    build_find_bar();
    build_view_controls();
    tabs->addTab(view_tab, view_tab_image(), QStringLiteral("&View"));

    alert_editor = new AlertEditor(alerts, *this);
    tabs->addTab(alert_editor, alert_tab_image(), QStringLiteral("&Alert"));
    tabs->setCurrentIndex(0);
    layout->addWidget(tabs, 1);

    setWidget(contents);
    // The form's least size, taller by the alert conditions, so that they never lie over the
    // catchwords.
    setMinimumSize(346, 369 + alert_editor->conditions_height());
    resize(sizeHint());

    connect(log_channel, &channel::LogChannel::alert_fired, this,
            [this](const std::vector<alerts::AlertActions>& fired, std::string_view line) {
                run_fired_alerts(fired, line);
            });
    connect(log_channel, &channel::LogChannel::receive_failed, this, [] {
        platform::show_error_box(QStringLiteral("Can't add text to editfield. Possibly it's full."),
                                 QStringLiteral("Oops"), platform::ErrorSource::Network);
    });
    connect(log_channel, &channel::LogChannel::logging_failed, this,
            [this](const QString& message) { logging_failed(message); });

    sound_player = new TMediaPlayer(this);
    sound_player->setObjectName(QStringLiteral("medplay"));
    sound_player->OnNotify = [this](QObject*) { platform::guarded([this] { sound_finished(); }); };

    title_caption = new TGradientCaption(this);
    title_caption->setObjectName(QStringLiteral("GradientCaption1"));
    title_caption->SetStartColor(platform::clBlack);
    title_caption->SetFormCaption(QStringLiteral("Form2"));
    platform::fit_text(this);
}

LogWindow::~LogWindow()
{
    // The channel goes first: its listener's events reach into the window, and the views let go
    // of its lines before.
    log_view_->clear_source();
    filtered_view->clear_source();
    delete log_channel;
    sound_player->OnNotify = nullptr;
}

QString LogWindow::use_tls(const config::WindowConfiguration& configuration)
{
    const config::ServerCertificate certificate = config::server_certificate();
    if (!certificate.error.isEmpty())
        return certificate.error;
    tls::ServerSettings settings;
    settings.certificate_file = certificate.certificate_file.toStdString();
    settings.key_file = certificate.key_file.toStdString();
    if (configuration.tls_auth == config::tls_auth_ca) {
        settings.sender_check = tls::SenderCheck::ca;
        settings.ca_file = configuration.tls_ca.toStdString();
    } else if (configuration.tls_auth == config::tls_auth_fingerprint) {
        // A stored list that doesn't parse (edited by hand) is refused: no sender is let in on it.
        tls::FingerprintList listed = tls::parse_fingerprint_list(configuration.tls_fingerprints.toStdString());
        if (!listed.error.empty())
            return QString::fromStdString(listed.error);
        settings.sender_check = tls::SenderCheck::fingerprint;
        settings.fingerprints = std::move(listed.fingerprints);
    }
    return log_channel->use_tls(settings);
}

LogWindow::SetUp LogWindow::set_up(const config::WindowConfiguration& configuration, const QString& saved_name,
                                   const QString& caption, const QString& label_text)
{
    // A stored list that doesn't parse (edited by hand) lets nobody send rather than everyone;
    // each sender is then refused and counted, which the tool bar shows.
    const auto accept_from = net::AddressFilter::parse(configuration.allow_from);
    const auto* filter = std::get_if<net::AddressFilter>(&accept_from);
    log_channel->set_accept_from(filter ? *filter : net::AddressFilter::nobody());
    if (configuration.protocol == net::Protocol::syslog_tls) {
        setup_error = use_tls(configuration);
        if (!setup_error.isEmpty())
            return SetUp::tls_not_ready;
    }
    try {
        log_channel->listen(configuration.port, configuration.local_only, configuration.protocol);
    } catch (const net::ESocketError& error) {
        listen_error = error.code();
        return SetUp::not_listening;
    } catch (...) {
        listen_error = 0;
        return SetUp::not_listening;
    }
    listen_port = configuration.port;
    local_only = configuration.local_only;
    allow_from = configuration.allow_from;
    tls_auth = configuration.tls_auth;
    tls_ca = configuration.tls_ca;
    tls_fingerprints = configuration.tls_fingerprints;
    protocol = configuration.protocol;
    find_bar_->set_shows_severity(protocol != net::Protocol::lines);
    is_saved = !saved_name.isEmpty();
    config_name = saved_name;
    title_caption->SetFormCaption(caption);
    setWindowTitle(caption);
    alert_editor->set_configuration_label(label_text);
    if (is_saved) {
        load_alerts();
        restore_window_choices();
    }
    if (configuration.command.isEmpty())
        return SetUp::done;
    const auto parts = platform::split_command(configuration.command);
    // Found as a shell finds it, so "ssh -N ..." needs no full path; no shell runs it.
    const QString program = platform::find_command_program(parts.program);
    if (!program.isEmpty())
        process_handle =
            platform::ChildProcess::start(program, parts.params, platform::ChildProcess::Lifetime::ends_with_us);
    if (!process_handle)
        return SetUp::command_not_started;
    command_program = parts.program;
    command_params = parts.params;
    return SetUp::done;
}

void LogWindow::shut_down()
{
    if (process_handle) {
        if (!process_handle->terminate())
            platform::show_message(
                QStringLiteral("Couldn't stop the running process. Next connect might\r\nfail if you are running ssh."),
                QStringLiteral("Error"), platform::MessageIcon::Error);
        // Killed or found ended: either way there is nothing left to hold, and a second close
        // must not report a failure again.
        process_handle.reset();
    }
    stop_logging();
    log_channel->close();
}

void LogWindow::acknowledge_alerts()
{
    platform::guarded([this] {
        title_caption->SetFontInactiveColor(platform::clInactiveCaptionText);
        title_caption->SetActive(false);
        title_caption->SetStartColor(platform::clBlack);
        title_caption->SetActive(true);
        alert_raised = false;
        alerts.acknowledge();
        if (alert_counter != nullptr)
            alert_counter->note_alert_acknowledged();
    });
}

void LogWindow::sound_finished()
{
    sound_player->SetNotifyNext(false);
    sound_player->SetWaitNext(true);
    sound_player->CloseDevice();
}

void LogWindow::run_fired_alerts(const std::vector<alerts::AlertActions>& fired, std::string_view line)
{
    // What to do was taken before anything is done: an action may let other handlers run, and
    // those may change the alerts or match further lines.
    bool notify = false;
    for (const alerts::AlertActions& actions : fired) {
        run_alert_actions(actions);
        notify = notify || actions.notify;
    }
    if (notify)
        notify_line(line);
}

void LogWindow::notify_line(std::string_view line)
{
    if (notifier == nullptr)
        return;
    // The notifier calls back only while this window lives.
    notifier->notify(this, windowTitle(), QString::fromUtf8(line.data(), qsizetype(line.size())),
                     [this] { show_from_notification(); });
}

void LogWindow::show_from_notification()
{
    platform::guarded([this] {
        platform::bring_to_front(this);
        if (isMinimized())
            showNormal();
        if (QMdiArea* area = mdiArea())
            area->setActiveSubWindow(this);
    });
}

void LogWindow::run_alert_actions(const alerts::AlertActions& actions)
{
    if (!alert_raised) {
        if (alert_counter != nullptr)
            alert_counter->note_alert_raised();
        alert_raised = true;
    }
    if (actions.color_titlebar) {
        title_caption->SetStartColor(platform::clRed);
        title_caption->SetFontInactiveColor(platform::clRed);
    }
    if (!actions.sound.isEmpty())
        play_sound(actions.sound);
    if (!actions.command.isEmpty())
        open_alert_command(actions.command);
}

void LogWindow::play_sound(const QString& sound)
{
    if (sound == last_sound && last_sound_started.isValid() &&
        last_sound_started.elapsed() < sound_restart_interval_ms)
        return;
    last_sound = sound;
    last_sound_started.start();
    sound_player->SetFileName(sound);
    sound_player->SetWaitNext(true);
    sound_player->SetNotifyNext(false);
    try {
        sound_player->OpenDevice();
        sound_player->SetWaitNext(false);
        sound_player->SetNotifyNext(true);
        sound_player->StartPlayback();
    } catch (...) {
        // A sound is an optional action: no file, no device or a format the back end can't
        // play leave the alert's other actions to run, without a word.
    }
}

void LogWindow::open_alert_command(const QString& command)
{
    // Matching lines come from the network, so a peer decides how often this runs: only so
    // many commands of this window may run at once, and the rest are skipped like failures.
    std::erase_if(alert_commands, [](const std::unique_ptr<platform::ChildProcess>& child) { return !child->running(); });
    if (alert_commands.size() >= max_running_alert_commands)
        return;
    const auto parts = platform::split_command(command);
    if (auto child = platform::shell_open(parts.program, parts.params))
        alert_commands.push_back(std::move(child));
}

// ---------------------------------------------------------------------------------------
// The alert editor.

void LogWindow::load_alerts()
{
    alert_editor->load_alerts();
}

bool LogWindow::configuration_saved() const
{
    return is_saved;
}

QString LogWindow::configuration_name() const
{
    return config_name;
}

config::WindowConfiguration LogWindow::configuration_to_save() const
{
    config::WindowConfiguration configuration;
    configuration.port = listen_port;
    configuration.command = window_command();
    configuration.local_only = local_only;
    configuration.protocol = protocol;
    configuration.allow_from = allow_from;
    configuration.tls_auth = tls_auth;
    configuration.tls_ca = tls_ca;
    configuration.tls_fingerprints = tls_fingerprints;
    configuration.choices = {log_file_name(), shows_arrival_times(), shows_sender_addresses()};
    return configuration;
}

bool LogWindow::lines_have_severity() const
{
    return log_channel->protocol() != net::Protocol::lines;
}

void LogWindow::configuration_saved_as(const QString& name)
{
    is_saved = true;
    config_name = name;
}

void LogWindow::add_keyword(std::string_view word)
{
    colormemo::add_keyword(log_view_->ColorRules().Items(0).Keywords(), word);
}

void LogWindow::blank_keyword(std::string_view word)
{
    colormemo::blank_keyword(log_view_->ColorRules().Items(0).Keywords(), word);
}

void LogWindow::keywords_changed()
{
    log_view_->recompile_rules();
    if (log_channel->filter().active())
        filtered_view->SetColorRules(log_view_->ColorRules());
}

void LogWindow::closeEvent(QCloseEvent* event)
{
    bool closed = false;
    platform::guarded([&] {
        shut_down();
        closed = true;
    });
    // A close handler that failed leaves the window open, as its error report says.
    if (!closed) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace logwin
