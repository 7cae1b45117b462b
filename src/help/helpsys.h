#pragma once
// The program's help object and the small help API every form uses: help contexts on widgets
// and menu items, F1 handling, and the one call behind every "&Help" button.

#include <QString>

#include <functional>

class QAction;
class QWidget;

namespace help {

// Context numbers the help file maps to topics.
inline constexpr int context_contents = 1000;
inline constexpr int context_new_action = 1001;
inline constexpr int context_frame = 1400;
inline constexpr int context_new_window_dialog = 1500;
inline constexpr int context_global_options = 1600;
inline constexpr int context_save_configuration = 1700;
inline constexpr int context_log_window = 1800;
inline constexpr int context_alert_tab = 1900;
inline constexpr int context_find_bar = 2000;
inline constexpr int context_syslog = 2100;

// Help commands the application raises: show a context topic, or show it as a pop-up.
inline constexpr int help_command_context = 1;
inline constexpr int help_command_context_popup = 8;

// The application's help handler: gets every help event (command, data) F1 raises. It sets
// call_help to ask for the application's own fallback, which does nothing in this program.
using HelpHandler = std::function<bool(int command, int data, bool& call_help)>;

// Installs a new application help handler and returns the one it replaces (may be empty).
// While a handler is installed, F1 in a widget walks from the focused widget up to its window
// and raises command 1 with the first nonzero help context found (nothing when there is none);
// F1 on a highlighted menu item raises command 1 with the item's help context (0 without one).
// Needs a QApplication.
HelpHandler set_application_help_handler(HelpHandler handler);

// A form's, control's or menu item's help context; 0 means none.
void set_help_context(QWidget* widget, int context);
void set_help_context(QAction* action, int context);
int help_context(const QWidget* widget);
int help_context(const QAction* action);

// Asks the installed help object to show a context topic; does nothing while none exists.
// This is what every "&Help" button and "&Contents" call.
void show_help_context(int context);

// Start-up detection, called once by main() after the QApplication exists and before the
// frame is created: finds the program's directory and the folder of the log, looks for
// "debug.debug", deletes the previous run's "HHDebug.txt", decides whether the help viewer can be used and, with the
// marker file, writes the log header.
void initialize_help();
// The same with another directory standing in for the program's directory (tests use a
// temporary folder so that the log and the help file lookup stay out of the build tree).
void initialize_help(const QString& run_dir);

// The help object: owned by the frame as `help_system`. While it exists it is the
// application's help handler and the object show_help_context() asks.
class THookHelpSystem {
public:
    // viewer_kind is accepted and not kept: every request uses the HTML help viewer (kind 0).
    THookHelpSystem(const QString& help_file, const QString& window_definition, int viewer_kind);
    // Puts the previous application help handler back.
    ~THookHelpSystem();

    THookHelpSystem(const THookHelpSystem&) = delete;
    THookHelpSystem& operator=(const THookHelpSystem&) = delete;

    // Shows the topic of a context id; the result code is 0, or 1 when no viewer is installed.
    int ShowHelpContext(int context_id);

    // The application help handler: commands 1 and 8 show the context topic `data`.
    bool HelpHook(int command, int data, bool& call_help);

private:
    HelpHandler previous_handler_;
    QString help_file_;
    QString window_definition_;
};

}  // namespace help
