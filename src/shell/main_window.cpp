// The frame: menu, status bar, arrangement of the log windows, opening a log window, quitting.

#include "shell/main_window.h"

#include "alerts/desktop_notifier.h"
#include "alerts/tgradientcaption.h"
#include "colormemo/tcolormemo.h"
#include "config/window_config.h"
#include "help/helpsys.h"
#include "logwin/log_window.h"
#include "logwin/refused_senders_dialog.h"
#include "newwin/new_action.h"
#include "newwin/text_trim.h"
#include "newwin/new_window_dialog.h"
#include "platform/bring_to_front.h"
#include "platform/error_report.h"
#include "platform/form_layout.h"
#include "platform/message_box.h"
#include "platform/system_colors.h"
#include "platform/text_fit.h"
#include "shell/alert_tray.h"
#include "shell/command_line.h"
#include "shell/about_dialog.h"
#include "shell/options_dialog.h"
#include "shell/window_reopening.h"

#include <QAction>
#include <QCloseEvent>
#include <QShortcut>
#include <QCoreApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>

#include <cerrno>
#include <cstring>

namespace shell {

namespace {

// The shared image list of menu and actions: 0 cascade, 1 tile one above another,
// 2 tile side by side.
QIcon arrangement_image(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const auto draw_window = [&painter](const QRect& frame) {
        painter.setPen(QColor(0, 0, 0));
        painter.setBrush(Qt::white);
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.fillRect(QRect(frame.left() + 1, frame.top() + 1, frame.width() - 2, 2), QColor(0, 0, 128));
    };
    switch (index) {
    case 0:
        draw_window(QRect(0, 0, 10, 9));
        draw_window(QRect(3, 3, 10, 9));
        draw_window(QRect(6, 6, 10, 10));
        break;
    case 1:
        draw_window(QRect(0, 0, 16, 8));
        draw_window(QRect(0, 8, 16, 8));
        break;
    default:
        draw_window(QRect(0, 0, 8, 16));
        draw_window(QRect(8, 0, 8, 16));
        break;
    }
    return QIcon(pixmap);
}

QAction* make_action(QObject* owner, const char* name, const QString& caption)
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("VESMIRA"));
    setFont(platform::interface_font(10));
    help::set_help_context(this, help::context_frame);

    caption_bar = new TGradientCaption(this);
    caption_bar->setObjectName(QStringLiteral("GradientCaption1"));
    caption_bar->SetFormCaption(QStringLiteral("VESMIRA"));

    mdi_area = new QMdiArea(this);
    mdi_area->setObjectName(QStringLiteral("mdi_area"));
    mdi_area->setBackground(platform::resolve_color(platform::clBtnShadow));
    setCentralWidget(mdi_area);
    // A log window closes with the platform's close keys (Ctrl+W on Linux desktops) and with
    // Ctrl+F4, as on the desktops many users come from. Added only where the platform lacks it:
    // the same key bound twice would be ambiguous and do nothing.
    const QKeySequence ctrl_f4(Qt::CTRL | Qt::Key_F4);
    if (!QKeySequence::keyBindings(QKeySequence::Close).contains(ctrl_f4)) {
        auto* close_shortcut = new QShortcut(ctrl_f4, this);
        connect(close_shortcut, &QShortcut::activated, this, [this] {
            if (QMdiSubWindow* window = mdi_area->currentSubWindow())
                window->close();
        });
    }

    status_bar = new QStatusBar(this);
    status_bar->setObjectName(QStringLiteral("StatusBar1"));
    status_bar->setFixedHeight(16);
    for (int index = 0; index < 2; ++index) {
        status_panels[index] = new QLabel(status_bar);
        status_panels[index]->setObjectName(QStringLiteral("StatusPanel%1").arg(index));
        status_panels[index]->setFixedWidth(100);
        status_bar->addWidget(status_panels[index]);
    }
    status_panels[0]->setText(QStringLiteral("Ready"));
    setStatusBar(status_bar);

    create_menu();
    notifier = new alerts::DesktopNotifier(QDBusConnection::sessionBus(),
                                           alerts::DesktopNotifier::default_burst_interval_ms, this);
    alert_tray = new AlertTray([this] { platform::guarded([this] { platform::bring_to_front(this); }); }, this);

    resize(681, 519);
    if (const QScreen* display = screen())
        move(display->availableGeometry().center() - rect().center());
    platform::fit_text(this);

    frame_created();
}

MainWindow::~MainWindow()
{
    // The log windows go after the frame's own members: their going must not reach back into it.
    mdi_area->disconnect(this);
    frame_destroyed();
}

void MainWindow::frame_created()
{
    help_system = std::make_unique<help::THookHelpSystem>(QStringLiteral("vesmira.chm"), QString(), 0);
    pending_alerts = 0;
}

void MainWindow::frame_destroyed()
{
    help_system.reset();
}

void MainWindow::create_menu()
{
    new_action = make_action(this, "new", QStringLiteral("&New"));
    new_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    help::set_help_context(new_action, help::context_new_action);
    connect(new_action, &QAction::triggered, this, [this] {
        platform::guarded([this] {
            if (new_window_dialog == nullptr)
                return;
            newwin::run_new_action(*new_window_dialog, [this](const auto&... arguments) {
                open_log_window(arguments...);
            });
        });
    });
    save_log_action = make_action(this, "save_log_action", QStringLiteral("&Save log as..."));
    save_log_action->setShortcut(QKeySequence::Save);
    connect(save_log_action, &QAction::triggered, this,
            [this] { on_active_log_window([](logwin::LogWindow& window) { window.save_log_as(false); }); });
    save_selection_action = make_action(this, "save_selection_action", QStringLiteral("Save &selection as..."));
    connect(save_selection_action, &QAction::triggered, this,
            [this] { on_active_log_window([](logwin::LogWindow& window) { window.save_log_as(true); }); });
    for (QAction* action : {save_log_action, save_selection_action})
        help::set_help_context(action, help::context_log_window);
    quit_action = make_action(this, "Quit1", QStringLiteral("&Quit"));
    quit_action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit_action, &QAction::triggered, this, [this] { quit_triggered(); });

    global_options_action = make_action(this, "global_options", QStringLiteral("&Global"));
    connect(global_options_action, &QAction::triggered, this, [this] {
        platform::guarded([this] {
            if (options_dialog == nullptr || !edit_global_options(*options_dialog))
                return;
            // A changed limit holds for the open windows at once, not only for new ones.
            const std::int64_t limit = std::int64_t{options_dialog->text_limit_mb()} << 20;
            for (int index = 0; index < log_window_count(); ++index)
                log_window(index)->set_text_limit(limit);
        });
    });

    find_action = make_action(this, "find_action", QStringLiteral("&Find..."));
    find_action->setShortcut(QKeySequence::Find);
    connect(find_action, &QAction::triggered, this, [this] { on_active_log_window(&logwin::LogWindow::open_find_bar); });
    find_next_action = make_action(this, "find_next_action", QStringLiteral("Find &Next"));
    find_next_action->setShortcut(QKeySequence::FindNext);
    connect(find_next_action, &QAction::triggered, this, [this] { on_active_log_window(&logwin::LogWindow::find_next); });
    find_previous_action = make_action(this, "find_previous_action", QStringLiteral("Find &Previous"));
    find_previous_action->setShortcut(QKeySequence::FindPrevious);
    connect(find_previous_action, &QAction::triggered, this,
            [this] { on_active_log_window(&logwin::LogWindow::find_previous); });
    for (QAction* action : {find_action, find_next_action, find_previous_action})
        help::set_help_context(action, help::context_find_bar);
    clear_action = make_action(this, "clear_action", QStringLiteral("C&lear"));
    clear_action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    help::set_help_context(clear_action, help::context_log_window);
    connect(clear_action, &QAction::triggered, this, [this] { on_active_log_window(&logwin::LogWindow::clear_view); });

    cascade_action = make_action(this, "WindowCascade1", QStringLiteral("&Cascade"));
    cascade_action->setIcon(arrangement_image(0));
    connect(cascade_action, &QAction::triggered, this, [this] { cascade_triggered(); });
    minimize_all_action = make_action(this, "WindowMinimizeAll1", QStringLiteral("&Minimize all"));
    connect(minimize_all_action, &QAction::triggered, this, [this] { minimize_all_triggered(); });
    tile_rows_action = make_action(this, "WindowTileHorizontal1", QStringLiteral("Tile &vertical"));
    tile_rows_action->setIcon(arrangement_image(1));
    connect(tile_rows_action, &QAction::triggered, this, [this] { tile_rows_triggered(); });
    tile_columns_action = make_action(this, "WindowTileVertical1", QStringLiteral("Tile &horizontal"));
    tile_columns_action->setIcon(arrangement_image(2));
    connect(tile_columns_action, &QAction::triggered, this, [this] { tile_columns_triggered(); });

    help_contents_action = make_action(this, "Contents1", QStringLiteral("&Contents"));
    connect(help_contents_action, &QAction::triggered, this, [this] { help_contents_triggered(); });
    about_action = make_action(this, "About1", QStringLiteral("&About"));
    connect(about_action, &QAction::triggered, this, [this] { about_triggered(); });

    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    vesmira_menu = bar->addMenu(QStringLiteral("&Vesmira"));
    vesmira_menu->setObjectName(QStringLiteral("Vesmira1"));
    vesmira_menu->addAction(new_action);
    vesmira_menu->addAction(save_log_action);
    vesmira_menu->addAction(save_selection_action);
    vesmira_menu->addSeparator();
    vesmira_menu->addAction(quit_action);
    edit_menu = bar->addMenu(QStringLiteral("&Edit"));
    edit_menu->setObjectName(QStringLiteral("Edit1"));
    edit_menu->addAction(find_action);
    edit_menu->addAction(find_next_action);
    edit_menu->addAction(find_previous_action);
    edit_menu->addSeparator();
    edit_menu->addAction(clear_action);
    arrival_times_action = add_strip_action("arrival_times_action", QStringLiteral("Show &arrival times"),
                                            &logwin::LogWindow::shows_arrival_times,
                                            &logwin::LogWindow::choose_arrival_times);
    sender_addresses_action = add_strip_action("sender_addresses_action", QStringLiteral("Show &sender addresses"),
                                               &logwin::LogWindow::shows_sender_addresses,
                                               &logwin::LogWindow::choose_sender_addresses);
    edit_menu->addSeparator();
    refused_senders_action = make_action(this, "refused_senders_action", QStringLiteral("&Refused senders..."));
    help::set_help_context(refused_senders_action, help::context_log_window);
    connect(refused_senders_action, &QAction::triggered, this, [this] {
        on_active_log_window([](logwin::LogWindow& window) {
            logwin::RefusedSendersDialog dialog(window.log_channel->last_refusals(), window.log_channel->refused(),
                                                &window);
            dialog.exec();
        });
    });
    edit_menu->addAction(refused_senders_action);
    // Find acts on the active log window: without one there is nothing to find in.
    const auto enable_edit_actions = [this] {
        const bool has_window = active_log_window() != nullptr;
        for (QAction* action : edit_menu->actions())
            action->setEnabled(has_window);
    };
    enable_edit_actions();
    connect(mdi_area, &QMdiArea::subWindowActivated, this, enable_edit_actions);
    // Saving needs a window that isn't saving already; the selection, a selection on screen.
    const auto enable_save_actions = [this] {
        const logwin::LogWindow* window = active_log_window();
        const bool can_save = window != nullptr && !window->saving();
        save_log_action->setEnabled(can_save);
        save_selection_action->setEnabled(can_save && window->shown_memo()->selection_length() > 0);
    };
    enable_save_actions();
    connect(vesmira_menu, &QMenu::aboutToShow, this, enable_save_actions);
    connect(mdi_area, &QMdiArea::subWindowActivated, this, enable_save_actions);
    options_menu = bar->addMenu(QStringLiteral("&Options"));
    options_menu->setObjectName(QStringLiteral("Options1"));
    options_menu->addAction(global_options_action);
    window_menu = bar->addMenu(QStringLiteral("&Window"));
    window_menu->setObjectName(QStringLiteral("Window1"));
    window_menu->addAction(cascade_action);
    window_menu->addAction(minimize_all_action);
    window_menu->addAction(tile_rows_action);
    window_menu->addAction(tile_columns_action);
    connect(window_menu, &QMenu::aboutToShow, this, [this] { list_windows_in_menu(); });
    help_menu = bar->addMenu(QStringLiteral("&Help"));
    help_menu->setObjectName(QStringLiteral("Help1"));
    help_menu->addAction(help_contents_action);
    help_menu->addSeparator();
    help_menu->addAction(about_action);
}

logwin::LogWindow* MainWindow::active_log_window() const
{
    // The current one also while another application has the focus.
    return qobject_cast<logwin::LogWindow*>(mdi_area->currentSubWindow());
}

void MainWindow::on_active_log_window(const std::function<void(logwin::LogWindow&)>& step)
{
    platform::guarded([&] {
        if (logwin::LogWindow* window = active_log_window())
            step(*window);
    });
}

QAction* MainWindow::add_strip_action(const char* name, const QString& text,
                                      bool (logwin::LogWindow::*shows)() const,
                                      void (logwin::LogWindow::*choose)(bool))
{
    QAction* action = make_action(this, name, text);
    action->setCheckable(true);
    help::set_help_context(action, help::context_log_window);
    connect(action, &QAction::triggered, this, [this, choose](bool on) {
        platform::guarded([&] {
            if (logwin::LogWindow* window = active_log_window())
                (window->*choose)(on);
        });
    });
    // Each window keeps its own choice; the check mark shows the active one's.
    connect(mdi_area, &QMdiArea::subWindowActivated, this, [this, action, shows] {
        const logwin::LogWindow* window = active_log_window();
        action->setChecked(window != nullptr && (window->*shows)());
    });
    edit_menu->addAction(action);
    return action;
}

void MainWindow::list_windows_in_menu()
{
    // Everything after the four arrangement actions is the previous listing.
    const QList<QAction*> items = window_menu->actions();
    for (qsizetype index = 4; index < items.size(); ++index) {
        window_menu->removeAction(items[index]);
        items[index]->deleteLater();
    }
    const int count = log_window_count();
    if (count == 0)
        return;
    window_menu->addSeparator();
    QMdiSubWindow* active = mdi_area->activeSubWindow();
    for (int index = 0; index < count; ++index) {
        logwin::LogWindow* window = log_window(index);
        QString caption = window->windowTitle();
        QAction* item = window_menu->addAction(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setCheckable(true);
        item->setChecked(window == active);
        QPointer<logwin::LogWindow> target(window);
        connect(item, &QAction::triggered, this, [this, target] {
            if (target)
                mdi_area->setActiveSubWindow(target);
        });
    }
}

int MainWindow::log_window_count() const
{
    int count = 0;
    for (QMdiSubWindow* child : mdi_area->subWindowList(QMdiArea::CreationOrder))
        if (qobject_cast<logwin::LogWindow*>(child) != nullptr && !child->isHidden())
            ++count;
    return count;
}

logwin::LogWindow* MainWindow::log_window(int index) const
{
    for (QMdiSubWindow* child : mdi_area->subWindowList(QMdiArea::CreationOrder)) {
        auto* window = qobject_cast<logwin::LogWindow*>(child);
        if (window == nullptr || window->isHidden())
            continue;
        if (index-- == 0)
            return window;
    }
    return nullptr;
}

void MainWindow::open_log_window(const config::WindowConfiguration& configuration, const QString& saved_name,
                                 const config::WindowTitles& titles)
{
    const std::int32_t port = configuration.port;
    auto* window = new logwin::LogWindow(this);
    window->notifier = notifier;
    mdi_area->addSubWindow(window);
    window->show();
    window->set_text_limit(stored_text_limit_bytes());

    switch (window->set_up(configuration, saved_name, titles.caption, titles.label)) {
    case logwin::LogWindow::SetUp::not_listening: {
        // The box's nested loop lets the user close the window meanwhile.
        QPointer<logwin::LogWindow> doomed(window);
        // A port in use is what the message always said; any other reason is said as it is.
        const int reason = window->listen_error;
        const QString text = reason == 0 || reason == EADDRINUSE
                                 ? QStringLiteral("You are already listening on port %1.").arg(port)
                                 : QStringLiteral("Can't listen on port %1: %2.").arg(port).arg(
                                       QString::fromLocal8Bit(std::strerror(reason)));
        platform::show_message(text, QStringLiteral("Error"), platform::MessageIcon::Error);
        delete doomed.data();
        return;
    }
    case logwin::LogWindow::SetUp::tls_not_ready: {
        QPointer<logwin::LogWindow> doomed(window);
        platform::show_message(
            QStringLiteral("Can't receive syslog over TLS on port %1: %2").arg(port).arg(window->setup_error),
            QStringLiteral("Error"), platform::MessageIcon::Error);
        delete doomed.data();
        return;
    }
    case logwin::LogWindow::SetUp::command_not_started:
        platform::show_message(QStringLiteral("Couldn't run your command."), QStringLiteral("Error"),
                               platform::MessageIcon::Error);
        return;
    case logwin::LogWindow::SetUp::done:
        return;
    }
}

void MainWindow::note_alert_raised()
{
    if (pending_alerts < log_window_count())
        ++pending_alerts;
    if (pending_alerts == 1)
        status_panels[1]->setText(QStringLiteral("Alerts pending"));
    alert_tray->show_pending(pending_alerts);
}

void MainWindow::note_alert_acknowledged()
{
    if (pending_alerts > 0)
        --pending_alerts;
    if (pending_alerts == 0)
        status_panels[1]->setText(QStringLiteral("No alerts"));
    alert_tray->show_pending(pending_alerts);
}

void MainWindow::save_windows_and_quit()
{
    // A store that can't be written must not keep the user from quitting: the error is
    // reported and quitting goes on.
    platform::guarded([this] {
        std::vector<OpenWindowRecord> records;
        for (int index = 0; index < log_window_count(); ++index) {
            const logwin::LogWindow* window = log_window(index);
            records.push_back({window->is_saved, window->config_name});
        }
        record_open_windows(records);
    });

    // Taken up front: a close handler's message box lets the user close windows meanwhile.
    QList<QPointer<logwin::LogWindow>> windows;
    for (int index = 0; index < log_window_count(); ++index)
        windows.append(log_window(index));
    for (const QPointer<logwin::LogWindow>& window : windows) {
        // Each in its own guard: one window's failure must not keep the others' processes
        // running or the program from ending.
        if (window)
            platform::guarded([&window] { window->shut_down(); });
    }
    QCoreApplication::quit();
}

void MainWindow::reopen_windows()
{
    reopen_recorded_windows([this](const auto&... arguments) { open_log_window(arguments...); });
}

void MainWindow::open_requested_windows(const CommandLine& command_line)
{
    for (const QString& name : command_line.names) {
        // One configuration that can't be read must not keep the others from opening.
        platform::guarded([&] {
            // Read as the New window dialog shows it: a command it can't read leaves the window without one.
            const std::optional<config::WindowConfiguration> stored =
                config::read_window_configuration(name, config::Reading::to_show);
            if (!stored)
                return;  // removed since the command line was checked
            config::WindowConfiguration configuration = *stored;
            configuration.command = newwin::trim_text(stored->command);
            open_log_window(configuration, name, config::saved_window_titles(name));
        });
    }
    if (command_line.port) {
        config::WindowConfiguration configuration;
        configuration.port = *command_line.port;
        configuration.command = newwin::trim_text(command_line.command);
        configuration.protocol = command_line.protocol;
        open_log_window(configuration, QString(), config::unsaved_window_titles(QString::number(*command_line.port)));
    }
}

void MainWindow::quit_triggered()
{
    platform::guarded([this] { save_windows_and_quit(); });
}

void MainWindow::help_contents_triggered()
{
    platform::guarded([this] {
        if (help_system)
            help_system->ShowHelpContext(help::context_contents);
    });
}

void MainWindow::about_triggered()
{
    platform::guarded([this] {
        if (about_dialog != nullptr)
            about_dialog->exec();
    });
}

void MainWindow::cascade_triggered()
{
    platform::guarded([this] { mdi_area->cascadeSubWindows(); });
}

void MainWindow::minimize_all_triggered()
{
    platform::guarded([this] {
        for (int index = log_window_count() - 1; index >= 0; --index)
            log_window(index)->showMinimized();
    });
}

void MainWindow::tile_rows_triggered()
{
    platform::guarded([this] { tile(Qt::Vertical); });
}

void MainWindow::tile_columns_triggered()
{
    platform::guarded([this] { tile(Qt::Horizontal); });
}

void MainWindow::tile(Qt::Orientation stacking)
{
    // Minimised windows keep their place, as the standard tiling leaves them.
    QList<logwin::LogWindow*> windows;
    for (int index = 0; index < log_window_count(); ++index)
        if (!log_window(index)->isMinimized())
            windows.append(log_window(index));
    if (windows.isEmpty())
        return;
    const QRect area = mdi_area->viewport()->rect();
    const auto count = static_cast<int>(windows.size());
    for (int index = 0; index < count; ++index) {
        logwin::LogWindow* window = windows[index];
        if (window->isMaximized())
            window->showNormal();
        if (stacking == Qt::Vertical) {
            const int top = area.height() * index / count;
            const int bottom = area.height() * (index + 1) / count;
            window->setGeometry(0, top, area.width(), bottom - top);
        } else {
            const int left = area.width() * index / count;
            const int right = area.width() * (index + 1) / count;
            window->setGeometry(left, 0, right - left, area.height());
        }
    }
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    platform::guarded([this] { save_windows_and_quit(); });
    QMainWindow::closeEvent(event);
}

}  // namespace shell
