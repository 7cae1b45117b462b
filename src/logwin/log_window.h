#pragma once
// The log window: a child window of the frame that shows, line by line, whatever senders write
// to its log channel's port, and acts on the channel's alerts.

#include "alerts/alert_set.h"
#include "alerts/notifier.h"
#include "channel/log_channel.h"
#include "logwin/alert_counter.h"
#include "logwin/alert_editor.h"
#include "platform/process.h"

#include <QElapsedTimer>
#include <QMdiSubWindow>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QCloseEvent;
class QLabel;
class QTabWidget;
class QToolBar;
class QToolButton;
class QWidget;
class TColorMemo;
class TGradientCaption;
class TMediaPlayer;

namespace logwin {

class FindBar;

class LogWindow : public QMdiSubWindow, private alerts::HighlightList, private AlertEditorHost {
    Q_OBJECT

public:
    // counter: the frame, told about raised and acknowledged alerts; may be null (no frame).
    explicit LogWindow(AlertCounter* counter, QWidget* parent = nullptr);
    ~LogWindow() override;

    // --- Fields; set_up fills them after creation. ---
    // What the window receives and keeps: listener, lines, alert check, filter and log file.
    channel::LogChannel* const log_channel;
    // The channel's alerts; the window runs their actions and lists them on the "&Alert" tab.
    alerts::AlertSet& alerts;
    // The process started for the window command; null when none runs.
    std::unique_ptr<platform::ChildProcess> process_handle;
    bool is_saved = false;
    QString config_name;
    QString command_program;
    // Begins with its separating blank.
    QString command_params;
    std::int32_t listen_port = 0;
    // Only senders on this computer reach the window (its listener takes loopback addresses only).
    bool local_only = false;
    // "Accept from" as the window was opened with it; empty: everyone.
    QString allow_from;
    // What a sender over TLS must show, as the configuration keeps it.
    QString tls_auth;
    QString tls_ca;
    QString tls_fingerprints;
    net::Protocol protocol = net::Protocol::lines;
    bool alert_raised = false;
    // Shows a firing line of an alert with "&Notify" set outside the frame; null: none is shown.
    alerts::Notifier* notifier = nullptr;
    // Why set_up couldn't listen: the errno of the call that failed, 0 when unknown.
    int listen_error = 0;
    // A fragment is shown whose line feed hasn't arrived yet.
    bool last_line_open() const { return log_channel->last_line_open(); }

    // The command the window was opened with: its two parts joined directly, since the
    // parameter part already begins with its blank.
    QString window_command() const { return command_program + command_params; }

    // The whole log, shown while no filter is set; its rule 0 draws the alerts' catchwords.
    TColorMemo* log_view() const { return log_view_; }
    // Under the text on the "&View" tab; hidden until the user asks to find.
    FindBar* find_bar() const { return find_bar_; }

    // --- Handlers and operations. ---
    // How far set_up got.
    enum class SetUp { not_listening, tls_not_ready, command_not_started, done };
    // Why set_up couldn't use TLS (the certificate or the check of senders).
    QString setup_error;
    // The log window's part of opening it for config, in the order the frame opens windows:
    // listens on the port (and does nothing more when it can't), takes the configuration,
    // shows caption and label_text, loads a saved configuration's alerts and starts its
    // command. A store error while loading propagates; the command is then not started.
    // saved_name names the saved configuration the window is opened for; empty: not saved.
    SetUp set_up(const config::WindowConfiguration& configuration, const QString& saved_name, const QString& caption,
                 const QString& label_text);
    // Terminates the window's process and closes its listener. The frame runs it directly at
    // quit; a user's close runs it and then destroys the window.
    void shut_down();
    // Syslog over TLS with the certificate of the global options and the configuration's check of
    // senders; the reason when it can't.
    QString use_tls(const config::WindowConfiguration& configuration);
    // The memo on screen: the filtered view while a filter is set, else log_view.
    TColorMemo* shown_memo() const;
    // The most bytes of text the window keeps (see lines::LogLines::set_text_limit).
    void set_text_limit(std::int64_t bytes);
    std::int64_t text_limit() const { return log_channel->text_limit(); }
    // Find: shows the "&View" tab with its find bar, the focus in the find field.
    void open_find_bar();
    void find_next();
    void find_previous();
    // The find bar's filter fields changed: filters anew, or shows every line again.
    void apply_filter();
    // Empties the view and gives back its memory; listening, alerts and the lines being
    // received go on (a line's next bytes start a new line).
    void clear_view();
    // Whether the view shows each line's arrival time left of it; off in a new window.
    bool shows_arrival_times() const;
    void set_shows_arrival_times(bool on);
    // The user's choice: shown or not, and remembered by a saved window.
    void choose_arrival_times(bool on);
    // The same for each line's sender address.
    bool shows_sender_addresses() const;
    void set_shows_sender_addresses(bool on);
    void choose_sender_addresses(bool on);
    // "2 senders · 1,204,311 lines · 118 MB"; a syslog window's begins with "syslog · " and
    // ends with "· 3 lost" and "· 1 framing error" when there were any.
    QString holdings_text() const;
    // Saves every line on screen, or only the selected text, to a file the user chooses; the
    // save goes on in slices while lines arrive. Does nothing while a save runs.
    void save_log_as(bool selection_only);
    bool saving() const { return log_save != nullptr; }
    // Asks for the file to save to (empty: none); unset, a file dialog asks, whose check box
    // "with &arrival times" sets save_arrival_times.
    std::function<QString()> ask_save_file_name;
    // A saved log has each line's arrival time before it ("HH:MM:SS.mmm "); the dialog's last
    // choice in this window.
    bool save_arrival_times = false;
    // The acknowledge button: restores the title bar and tells the frame.
    void acknowledge_alerts();
    // The log file button, checked or unchecked by the user: asks for a file and starts
    // logging to it, or stops logging; a saved window remembers the file.
    void log_to_file_clicked(bool checked);
    // The file chosen for logging; empty when the user cancels. Tests put their own in.
    std::function<QString()> ask_log_file_name;
    // The file completed lines are appended to; empty while not logging.
    QString log_file_name() const;
    // The media player's end-of-playback notification: releases the sound device.
    void sound_finished();
    // The alerts that matched one completed line, before it is shown: runs their actions.
    void run_fired_alerts(const std::vector<alerts::AlertActions>& fired, std::string_view line);
    // Fills the alert list and collection of a saved window from the store. Store errors
    // propagate to the caller.
    void load_alerts();

    // Alert commands started by this window that may be running at once; more are skipped.
    static constexpr std::size_t max_running_alert_commands = 16;
    // A sound that started this recently is not started over for the same file: opening the
    // device holds the window for tens of milliseconds, and a peer sending matching lines
    // back to back would otherwise freeze it for as long as it likes.
    static constexpr qint64 sound_restart_interval_ms = 250;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class LogSave;
    QString ask_save_file(bool selection_only);

    void build_find_bar();
    void build_view_controls();
    void build_log_file_button();
    // Opens file and logs every completed line to it from now on; false, after telling the
    // user, when the file can't be opened.
    bool start_logging(const QString& file);
    // Writes what is buffered and closes the file; a write error is reported.
    void stop_logging();
    // The log file failed: logging stopped, and the user is told why, once.
    void logging_failed(const QString& message);
    void show_not_logging();
    // The choices a saved configuration remembers (log file, arrival times): read at set-up,
    // written as the user changes them.
    void restore_window_choices();
    void remember_log_file(const QString& file);
    // Shows every line again, with the line at the top of the filtered view at the top.
    void end_filter();
    void update_filter_status();
    // The highlight keywords of the alerts are those of log_view's rule 0.
    void add_keyword(std::string_view word) override;
    void blank_keyword(std::string_view word) override;
    void keywords_changed() override;
    void run_alert_actions(const alerts::AlertActions& actions);
    // One notification for a line, however many of its alerts ask for it.
    void notify_line(std::string_view line);
    // A click on the window's notification: the frame in front, this window active in it.
    void show_from_notification();
    void play_sound(const QString& sound);
    void open_alert_command(const QString& command);
    bool configuration_saved() const override;
    QString configuration_name() const override;
    config::WindowConfiguration configuration_to_save() const override;
    void configuration_saved_as(const QString& name) override;
    bool lines_have_severity() const override;

    // --- Components, owned by the window; each widget carries its form name as objectName. ---
    TColorMemo* log_view_ = nullptr;
    // Shows the lines that pass the filter, read-only, in log_view's place, while a filter is set.
    TColorMemo* filtered_view = nullptr;
    FindBar* find_bar_ = nullptr;
    // Tool bar: empties the view; shows and switches whether it follows new lines; how many
    // senders are connected and what the window holds.
    QToolButton* clear_button = nullptr;
    QToolButton* follow_button = nullptr;
    QLabel* holdings_label = nullptr;
    TMediaPlayer* sound_player = nullptr;
    TGradientCaption* title_caption = nullptr;
    QToolBar* tool_bar = nullptr;
    QToolButton* acknowledge_button = nullptr;
    // "&Log to file": checked while received lines are appended to a file.
    QToolButton* log_to_file_button = nullptr;
    QTabWidget* tabs = nullptr;
    QWidget* view_tab = nullptr;

    AlertCounter* alert_counter;
    // The "&Alert" tab.
    AlertEditor* alert_editor = nullptr;
    // The save under way, a child of the window; null when none runs.
    LogSave* log_save = nullptr;
    QString last_sound;
    QElapsedTimer last_sound_started;
    std::vector<std::unique_ptr<platform::ChildProcess>> alert_commands;
};

}  // namespace logwin
