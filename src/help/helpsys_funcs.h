#pragma once
// The help module's functions below the help object: the start-up state, the path and
// context calls that reach the viewer, the error report and the diagnostic log "HHDebug.txt".

#include <QString>

namespace help {

// Computed once by initialize_help() and unchanged afterwards.
struct HelpModuleState {
    QString _RunDir;  // the program's directory, no trailing separator
    bool _debugMarkerFound = false;
    bool _hhInstalled = false;
    QString _hhVerStr;
    QString _hhFriendlyVerStr;
    bool _ieInstalled = false;
    QString _ieVerStr;
    QString _ieFriendlyVerStr;
};
const HelpModuleState& help_module_state();

// Test hook: replaces the start-up verdict on whether the help viewer can be used.
void set_viewer_installed_for_testing(bool installed);

// Viewer kinds; only kind 0, the HTML help viewer's programming interface, is used.
inline constexpr int viewer_html_help = 0;

// Prefix kinds for FormatHelpPath; the program uses none.
enum class HelpPathPrefix { None, MsIts, MkMsItss };

int HHHelpContext(const QString& file, int context_id, const QString& window_definition, int kind);
QString FormatHelpPath(const QString& file, const QString& topic, const QString& window_definition,
                       HelpPathPrefix prefix);
int ShowContext(const QString& path, int context_id, int kind);
// Shows the message for a nonzero code in a "Warnung" box, then logs it.
void HHShowError(int code);
// The message HHShowError shows for a code; empty for 0.
QString hh_error_message(int code);

// Where a help file named without a folder is: beside the program (a build tree) first, then in
// the installed program's data folder (../share/vesmira from the program's folder). When it is
// in neither, the path beside the program.
QString help_file_path(const QString& file);

// Appends one line to "HHDebug.txt" in the log folder: the message ("-" becomes 80 dashes),
// a tab and the local date and time. A line that can't be written is dropped.
void debug_log(const QString& message);
// Where the log lives: beside the program when it runs where it was built and the user may
// write there, otherwise $XDG_STATE_HOME/vesmira (~/.local/state/vesmira). The marker file
// "debug.debug" is looked for in the same folder. Empty while there is no program directory.
QString debug_log_path();

}  // namespace help
