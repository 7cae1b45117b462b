#pragma once
// The help viewer: a window that shows the topics of a compiled help file, opened at the topic
// of a context id. Stands in for the platform's HTML help viewer.

#include <QString>

class QWidget;

namespace help {

// Command of html_help: show the topic for a context id.
inline constexpr int HH_HELP_CONTEXT = 0x000F;

// Asks the viewer to show the topic of `data` in the help file `path` (a relative path is taken
// from the run directory); a context the file doesn't map shows its default topic. Returns the
// viewer window, or nullptr when the file can't be opened or the command is unknown. The
// window is the viewer's own: it lives on by itself until the application ends.
QWidget* html_help(const QString& path, int command, int data);

// Raises a viewer window above the others and gives it the focus.
void bring_to_front(QWidget* window);

// The viewer window html_help last used, or nullptr (for tests).
QWidget* help_viewer_window();

}  // namespace help
