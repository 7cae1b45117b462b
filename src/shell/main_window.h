#pragma once
// The frame: the program's main window, holding the log windows, the menu, the status bar with
// the alert state, and the operation that creates and starts a log window.

#include "config/window_config.h"
#include "logwin/alert_counter.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCloseEvent;
class QLabel;
class QMdiArea;
class QMenu;
class QStatusBar;
class TGradientCaption;

namespace alerts {
class DesktopNotifier;
}
namespace help {
class THookHelpSystem;
}
namespace logwin {
class LogWindow;
}
namespace newwin {
class NewWindowDialog;
}

namespace shell {

class AlertTray;
class AboutDialog;
struct CommandLine;
class OptionsDialog;

class MainWindow : public QMainWindow, public logwin::AlertCounter {
    Q_OBJECT

public:
    // Runs frame_created: the help object for "vesmira.chm" and a cleared alert counter.
    explicit MainWindow(QWidget* parent = nullptr);
    // Runs frame_destroyed, then the log windows go with the frame.
    ~MainWindow() override;

    // Log windows with a pending alert, as counted by note_alert_raised/acknowledged.
    std::int32_t pending_alerts = 0;
    std::unique_ptr<help::THookHelpSystem> help_system;
    // Handed to every log window: shows its firing alerts on the desktop.
    alerts::DesktopNotifier* notifier = nullptr;
    // The tray icon, following pending_alerts.
    AlertTray* alert_tray = nullptr;
    // The dialogs created at start-up; their menu items do nothing while they are unset.
    newwin::NewWindowDialog* new_window_dialog = nullptr;
    OptionsDialog* options_dialog = nullptr;
    AboutDialog* about_dialog = nullptr;

    // Creates a log window, starts its listener on port, fills its fields, caption and label,
    // loads its alerts when saved and starts its command. A port that can't be listened on
    // leaves no window; a command that can't be started leaves a listening window.
    // saved_name: the configuration the window is saved under; empty for an unsaved window.
    void open_log_window(const config::WindowConfiguration& configuration, const QString& saved_name,
                         const config::WindowTitles& titles);
    void note_alert_raised() override;
    void note_alert_acknowledged() override;
    // Records the open saved windows when the global option asks for it, runs every log
    // window's close handler, then tells the application to terminate.
    void save_windows_and_quit();
    // Start-up: opens the windows recorded at the last quit when the global option is set.
    void reopen_windows();
    // Start-up, after reopening: opens the saved configurations named, in order, as the New
    // window dialog opens a pre-configured one, then an unsaved window on its port with its
    // command, listening for its protocol.
    void open_requested_windows(const CommandLine& command_line);

    // The open log windows in creation order (a window being closed is no longer counted).
    int log_window_count() const;
    logwin::LogWindow* log_window(int index) const;

    // --- Components; each carries its design name as objectName. ---
    TGradientCaption* caption_bar = nullptr;
    QMdiArea* mdi_area = nullptr;
    QStatusBar* status_bar = nullptr;
    QLabel* status_panels[2] = {nullptr, nullptr};
    QMenu* vesmira_menu = nullptr;
    QMenu* edit_menu = nullptr;
    QMenu* options_menu = nullptr;
    QMenu* window_menu = nullptr;
    QMenu* help_menu = nullptr;
    // Actions and menu items.
    QAction* new_action = nullptr;
    // Save the active log window's lines, or its selected text, to a file.
    QAction* save_log_action = nullptr;
    QAction* save_selection_action = nullptr;
    QAction* quit_action = nullptr;
    QAction* global_options_action = nullptr;
    // "&Edit": find in the active log window.
    QAction* find_action = nullptr;
    QAction* find_next_action = nullptr;
    QAction* find_previous_action = nullptr;
    QAction* clear_action = nullptr;
    // Checked while the active log window shows when its lines arrived, or who sent them.
    QAction* arrival_times_action = nullptr;
    QAction* sender_addresses_action = nullptr;
    QAction* refused_senders_action = nullptr;
    QAction* cascade_action = nullptr;
    QAction* minimize_all_action = nullptr;
    QAction* tile_rows_action = nullptr;
    QAction* tile_columns_action = nullptr;
    QAction* help_contents_action = nullptr;
    QAction* about_action = nullptr;

    // --- Handlers. ---
    void quit_triggered();
    void help_contents_triggered();
    void about_triggered();
    void cascade_triggered();
    void minimize_all_triggered();
    // One above another, each as wide as the client area.
    void tile_rows_triggered();
    // Side by side, each as high as the client area.
    void tile_columns_triggered();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void frame_created();
    void frame_destroyed();
    void create_menu();
    // Puts the open log windows' captions at the end of the "&Window" menu.
    void list_windows_in_menu();
    // A checkable "&Edit" item showing a strip left of the active window's lines: checked as
    // that window shows it, and choosing for it.
    QAction* add_strip_action(const char* name, const QString& text, bool (logwin::LogWindow::*shows)() const,
                              void (logwin::LogWindow::*choose)(bool));
    // The log window whose frame is active; null when none is.
    logwin::LogWindow* active_log_window() const;
    // Runs `step` on the active log window, when there is one.
    void on_active_log_window(const std::function<void(logwin::LogWindow&)>& step);
    void tile(Qt::Orientation stacking);
};

}  // namespace shell
