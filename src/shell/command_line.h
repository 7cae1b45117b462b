#pragma once
// The program's command line: what the user asked for, read before anything graphical starts,
// so that --help, --version and a mistake need no display, no store write and no window.

#include "net/protocol.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace shell {

struct CommandLine {
    enum class Request {
        run,        // start the program and open the windows below
        help,       // print the options and stop
        help_all,   // the same with the toolkit's own options
        version,    // print the name and version and stop
        error,      // print `error` and stop with exit_usage
    };
    Request request = Request::run;
    // Saved window configurations to open after the reopened windows, in the order given.
    QStringList names;
    // An unsaved window on this port, with `command` (may be empty), listening for `protocol`.
    std::optional<std::int32_t> port;
    QString command;
    net::Protocol protocol = net::Protocol::lines;
    // What is wrong, naming the bad argument; without the program name.
    QString error;
};

// Exit status of a command line the program refuses.
inline constexpr int exit_usage = 2;

// Reads the arguments (the program's name first, as in argv). The toolkit's start-up options
// (-platform, -style, -reverse, -display ...) are accepted and left to the toolkit.
CommandLine parse_command_line(const QStringList& arguments);

// Turns a run request into an error when one of its names is not a saved window
// configuration. is_saved may raise: a store that can't be read is an error too.
void check_names(CommandLine& command_line, const std::function<bool(const QString& name)>& is_saved);

// "Vesmira <version>".
QString version_text();

// Prints what a request other than run asks for (help or version on standard output, an error
// on standard error) and returns the exit status. The usage line names the program as it was
// started, so a QCoreApplication must exist.
int answer_without_starting(const CommandLine& command_line);

}  // namespace shell
