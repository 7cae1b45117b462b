// Reading the command line with Qt's conventions (-h/--help, -v/--version, "--" ending the
// options), and printing what a request that starts nothing asks for.

#include "shell/command_line.h"

#include "config/window_config.h"
#include "platform/error_report.h"
#include "platform/int_conversion.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <exception>

namespace shell {

namespace {

const QString help_option = QStringLiteral("help");
const QString help_all_option = QStringLiteral("help-all");
const QString version_option = QStringLiteral("version");
const QString port_option = QStringLiteral("port");
const QString command_option = QStringLiteral("command");
const QString protocol_option = QStringLiteral("protocol");

constexpr std::int32_t lowest_port = 1;
constexpr std::int32_t highest_port = 65535;

// The options QApplication takes out of the arguments itself when it starts. The command line is
// read before it starts (so that --help needs no display), so they must be known here too, or
// "-style fusion" would be refused as an unknown option.
struct ToolkitOption {
    const char* name;
    const char* value;  // null for a switch
    const char* description;
};
constexpr ToolkitOption toolkit_options[] = {
    {"platform", "name[:options]", "Uses this windowing platform plugin (xcb, wayland, offscreen ...)."},
    {"platformpluginpath", "path", "Looks for platform plugins in this folder too."},
    {"platformtheme", "theme", "Uses this platform theme."},
    {"plugin", "plugin", "Loads this generic input plugin."},
    {"qwindowgeometry", "geometry", "Places the main window: WIDTHxHEIGHT+X+Y."},
    {"geometry", "geometry", "The same as -qwindowgeometry (X11)."},
    {"qwindowicon", "icon", "Uses this icon for the windows."},
    {"icon", "icon", "The same as -qwindowicon (X11)."},
    {"qwindowtitle", "title", "Uses this title for the main window."},
    {"title", "title", "The same as -qwindowtitle (X11)."},
    {"reverse", nullptr, "Lays the windows out from right to left."},
    {"session", "session", "Restores the desktop session of this id."},
    {"display", "display", "Connects to this X display."},
    {"name", "name", "Uses this resource name for the windows (X11)."},
    {"visual", "id", "Uses this X visual."},
    {"nograb", nullptr, "Never grabs the mouse or the keyboard (X11)."},
    {"dograb", nullptr, "Grabs the mouse and the keyboard even in a debugger (X11)."},
    {"style", "style", "Uses this widget style (Fusion, Windows ...)."},
    {"stylesheet", "file", "Applies this style sheet."},
    {"widgetcount", nullptr, "Prints the number of widgets left at exit."},
};

// Everything the parser knows; the toolkit's options are shown by --help-all only.
void define_options(QCommandLineParser& parser, bool show_toolkit_options)
{
    // "-platform" is one option as Qt programs spell it, not the six switches -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Receives log text (text lines over TCP, or syslog over UDP and TCP) on ports and shows it\n"
        "line by line, one log window per port,\n"
        "with catchwords that raise alerts. Without arguments it opens the windows that were\n"
        "open at the last quit, when the global option to reopen them is set."));
    parser.addOption({{QStringLiteral("h"), help_option}, QStringLiteral("Prints this help and exits.")});
    parser.addOption({help_all_option, QStringLiteral("Prints this help with the options of the Qt toolkit and exits.")});
    parser.addOption({{QStringLiteral("v"), version_option}, QStringLiteral("Prints the program's name and version and exits.")});
    parser.addOption({port_option,
                      QStringLiteral("Opens a log window listening on <port> (%1 to %2) that is not saved as a window "
                                     "configuration, after the windows named.")
                          .arg(lowest_port)
                          .arg(highest_port),
                      QStringLiteral("port")});
    parser.addOption({command_option,
                      QStringLiteral("Starts <command> with the window of --port and stops it when the window closes, "
                                     "as a command typed in the New window dialog: the text up to the first blank "
                                     "names the program (looked up on PATH when it holds no \"/\"), the rest gives "
                                     "its arguments; no shell runs it. Needs --port."),
                      QStringLiteral("command")});
    parser.addOption({protocol_option,
                      QStringLiteral("What the window of --port listens for: \"lines\" (text lines over TCP, the "
                                     "default), \"syslog\" (syslog over UDP and TCP) or \"syslog-tls\" (syslog "
                                     "over TLS). Needs --port."),
                      QStringLiteral("protocol")});
    parser.addPositionalArgument(
        QStringLiteral("name"),
        QStringLiteral("Opens the saved window configuration of this name (as saved in the New window dialog), with "
                       "its port, command and alerts. Several names open in the order given; put \"--\" before a name "
                       "that begins with \"-\"."),
        QStringLiteral("[name...]"));
    for (const ToolkitOption& toolkit : toolkit_options) {
        QCommandLineOption option(QString::fromLatin1(toolkit.name), QString::fromLatin1(toolkit.description));
        if (toolkit.value != nullptr)
            option.setValueName(QString::fromLatin1(toolkit.value));
        if (!show_toolkit_options)
            option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

CommandLine refused(const QString& error)
{
    CommandLine command_line;
    command_line.request = CommandLine::Request::error;
    command_line.error = error;
    return command_line;
}

QString help_text(bool show_toolkit_options)
{
    QCommandLineParser parser;
    define_options(parser, show_toolkit_options);
    return parser.helpText();
}

}  // namespace

CommandLine parse_command_line(const QStringList& arguments)
{
    QCommandLineParser parser;
    define_options(parser, false);
    if (!parser.parse(arguments))
        return refused(parser.errorText());
    // A request to print wins over everything else asked, as with other Qt programs.
    CommandLine command_line;
    if (parser.isSet(version_option)) {
        command_line.request = CommandLine::Request::version;
        return command_line;
    }
    if (parser.isSet(help_option) || parser.isSet(help_all_option)) {
        command_line.request =
            parser.isSet(help_all_option) ? CommandLine::Request::help_all : CommandLine::Request::help;
        return command_line;
    }

    const QStringList ports = parser.values(port_option);
    if (ports.size() > 1)
        return refused(QStringLiteral("--port can be given only once."));
    if (parser.values(command_option).size() > 1)
        return refused(QStringLiteral("--command can be given only once."));
    if (parser.isSet(command_option) && ports.isEmpty())
        return refused(QStringLiteral("--command needs --port: it is started with the window opened for the port."));
    if (parser.values(protocol_option).size() > 1)
        return refused(QStringLiteral("--protocol can be given only once."));
    if (parser.isSet(protocol_option) && ports.isEmpty())
        return refused(QStringLiteral("--protocol needs --port: it is what the window opened for the port listens for."));
    if (!ports.isEmpty()) {
        // The program's own number rules, as the port field of the New window dialog is read.
        std::int32_t port = 0;
        if (!platform::try_str_to_int(ports.front().toStdString(), port) || port < lowest_port || port > highest_port)
            return refused(QStringLiteral("'%1' is not a port number; give one from %2 to %3.")
                               .arg(ports.front())
                               .arg(lowest_port)
                               .arg(highest_port));
        command_line.port = port;
        command_line.command = parser.value(command_option);
        if (parser.isSet(protocol_option)) {
            const std::optional<net::Protocol> protocol = config::protocol_named(parser.value(protocol_option));
            if (!protocol)
                return refused(QStringLiteral("'%1' is not a protocol; give \"lines\", \"syslog\" or \"syslog-tls\".")
                                   .arg(parser.value(protocol_option)));
            command_line.protocol = *protocol;
        }
    }
    command_line.names = parser.positionalArguments();
    return command_line;
}

void check_names(CommandLine& command_line, const std::function<bool(const QString& name)>& is_saved)
{
    if (command_line.request != CommandLine::Request::run)
        return;
    QString error;
    for (const QString& name : command_line.names) {
        try {
            if (!is_saved(name))
                error = QStringLiteral("there is no saved window configuration named '%1'.").arg(name);
        } catch (const std::exception& failure) {
            error = QStringLiteral("can't read the saved window configurations: ") +
                    platform::error_report_text(failure.what());
        }
        if (!error.isEmpty())
            break;
    }
    if (!error.isEmpty())
        command_line = refused(error);
}

QString version_text()
{
    return QStringLiteral("Vesmira " VESMIRA_VERSION);
}

int answer_without_starting(const CommandLine& command_line)
{
    const auto print = [](std::FILE* stream, const QString& text) {
        std::fputs(text.toLocal8Bit().constData(), stream);
        std::fflush(stream);
    };
    switch (command_line.request) {
    case CommandLine::Request::help:
    case CommandLine::Request::help_all:
        print(stdout, help_text(command_line.request == CommandLine::Request::help_all));
        return 0;
    case CommandLine::Request::version:
        print(stdout, version_text() + QLatin1Char('\n'));
        return 0;
    case CommandLine::Request::error:
        print(stderr, QStringLiteral("vesmira: %1\nTry 'vesmira --help' for more information.\n").arg(command_line.error));
        return exit_usage;
    case CommandLine::Request::run:
        break;
    }
    return 0;
}

}  // namespace shell
