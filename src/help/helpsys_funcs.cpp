// The help module below the help object: start-up detection, the calls that hand a context id
// to the viewer, the error report and the diagnostic log.

#include "help/helpsys_funcs.h"

#include "help/help_viewer.h"
#include "help/helpsys.h"
#include "platform/message_box.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QVersionNumber>

namespace help {

namespace {

HelpModuleState module_state;
bool module_initialized = false;
// Where "HHDebug.txt" and its marker "debug.debug" live; empty while logging is off.
QString log_folder;

// The viewer is this program's own; its version only tells the debug header which one ran.
constexpr const char* viewer_version = "1.0.0.0";
constexpr const char* viewer_friendly_version = "Vesmira help viewer 1.0";

QString four_part_version(const QVersionNumber& version)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(version.segmentAt(0))
        .arg(version.segmentAt(1))
        .arg(version.segmentAt(2))
        .arg(version.segmentAt(3));
}

// The viewer is a widgets window: it can be used exactly when the program runs a widgets
// application (chmlib is linked in, so it is always there). The offscreen platform counts.
bool viewer_usable()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return application != nullptr && application->inherits("QApplication");
}

void ensure_initialized()
{
    if (!module_initialized)
        initialize_help();
}

QString yes_no(bool value) { return value ? QStringLiteral("YES") : QStringLiteral("NO"); }

// The installed program's data folder, seen from the folder of the program; the build computes
// the relative path, so an installed tree moved to another prefix still finds its data.
QString data_folder(const QString& run_dir)
{
    return QDir::cleanPath(QDir(run_dir).filePath(QStringLiteral(VESMIRA_DATA_FROM_BINDIR)));
}

// The user's state folder for this program: $XDG_STATE_HOME/vesmira, with ~/.local/state when
// XDG_STATE_HOME is unset or relative.
QString user_state_folder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/vesmira"));
}

// A program run where it was built logs beside itself. An installed one (its data folder
// exists), or one in a folder the user can't write, logs to the user's state folder instead,
// so that nothing lands in a folder on PATH.
QString choose_log_folder(const QString& run_dir)
{
    if (run_dir.isEmpty())
        return {};
    if (QFileInfo(run_dir).isWritable() && !QFileInfo(data_folder(run_dir)).isDir())
        return run_dir;
    const QString state = user_state_folder();
    QDir().mkpath(state);
    return state;
}

}  // namespace

const HelpModuleState& help_module_state()
{
    ensure_initialized();
    return module_state;
}

void set_viewer_installed_for_testing(bool installed)
{
    ensure_initialized();
    module_state._hhInstalled = installed;
}

void initialize_help()
{
    // Without an application object there is no program directory; the log then stays off.
    initialize_help(QCoreApplication::instance() != nullptr ? QCoreApplication::applicationDirPath() : QString());
}

void initialize_help(const QString& run_dir)
{
    module_initialized = true;
    module_state = HelpModuleState{};

    // cleanPath also drops a trailing separator.
    const QString dir = run_dir.isEmpty() ? QString() : QDir::cleanPath(run_dir);
    module_state._RunDir = dir;
    log_folder = choose_log_folder(dir);
    module_state._debugMarkerFound =
        !log_folder.isEmpty() && QFileInfo::exists(QDir(log_folder).filePath(QStringLiteral("debug.debug")));

    // The log holds the current run only, with or without the marker file.
    if (!log_folder.isEmpty())
        QFile::remove(debug_log_path());

    const bool usable = viewer_usable();
    if (usable) {
        module_state._hhVerStr = QString::fromLatin1(viewer_version);
        module_state._hhFriendlyVerStr = QString::fromLatin1(viewer_friendly_version);
    }
    module_state._hhInstalled = !module_state._hhVerStr.isEmpty();

    // The viewer draws its topics with Qt's rich-text browser; that is the browser reported.
    if (usable) {
        module_state._ieVerStr = four_part_version(QVersionNumber::fromString(QString::fromLatin1(qVersion())));
        module_state._ieFriendlyVerStr = QStringLiteral("Qt text browser %1").arg(QString::fromLatin1(qVersion()));
    }
    module_state._ieInstalled = !module_state._ieVerStr.isEmpty();

    if (module_state._debugMarkerFound) {
        debug_log(QStringLiteral("_RunDir = \"%1\"").arg(module_state._RunDir));
        debug_log(QStringLiteral("-"));
        debug_log(QStringLiteral("_hhInstalled = %1").arg(yes_no(module_state._hhInstalled)));
        debug_log(QStringLiteral("_hhVerStr = %1").arg(module_state._hhVerStr));
        debug_log(QStringLiteral("_hhFriendlyVerStr = %1").arg(module_state._hhFriendlyVerStr));
        debug_log(QStringLiteral("-"));
        debug_log(QStringLiteral("_ieInstalled = %1").arg(yes_no(module_state._ieInstalled)));
        debug_log(QStringLiteral("_ieVerStr = %1").arg(module_state._ieVerStr));
        debug_log(QStringLiteral("_ieFriendlyVerStr = %1").arg(module_state._ieFriendlyVerStr));
        debug_log(QStringLiteral("-"));
    }
}

QString debug_log_path()
{
    ensure_initialized();
    return log_folder.isEmpty() ? QString() : QDir(log_folder).filePath(QStringLiteral("HHDebug.txt"));
}

QString help_file_path(const QString& file)
{
    if (QDir::isAbsolutePath(file))
        return file;
    const QString& run_dir = help_module_state()._RunDir;
    const QString beside = QDir(run_dir).filePath(file);
    const QString installed = QDir(data_folder(run_dir)).filePath(file);
    return !QFileInfo::exists(beside) && QFileInfo::exists(installed) ? installed : beside;
}

void debug_log(const QString& message)
{
    const QString path = debug_log_path();
    if (path.isEmpty())
        return;
    const QString text = message == QLatin1String("-") ? QString(80, QLatin1Char('-')) : message;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString stamp = QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    file.write((text + QLatin1Char('\t') + stamp + QLatin1Char('\n')).toUtf8());
    file.flush();
}

int HHHelpContext(const QString& file, int context_id, const QString& window_definition, int kind)
{
    debug_log(QStringLiteral("HHHelpContext(\"%1\", %2, \"%3\", %4)")
                  .arg(file)
                  .arg(context_id)
                  .arg(window_definition)
                  .arg(kind));
    const QString path = FormatHelpPath(file, QString(), window_definition, HelpPathPrefix::None);
    return ShowContext(path, context_id, kind);
}

QString FormatHelpPath(const QString& file, const QString& topic, const QString& window_definition,
                       HelpPathPrefix prefix)
{
    const QString trimmed_file = file.trimmed();
    QString trimmed_topic = topic.trimmed();
    const QString trimmed_window = window_definition.trimmed();

    QString path = trimmed_file;
    if (!trimmed_topic.isEmpty()) {
        trimmed_topic.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (!trimmed_topic.startsWith(QLatin1Char('/')))
            trimmed_topic.prepend(QLatin1Char('/'));
        path = trimmed_file.isEmpty() ? trimmed_topic : trimmed_file + QStringLiteral("::") + trimmed_topic;
    }
    if (!trimmed_window.isEmpty())
        path += QLatin1Char('>') + trimmed_window;
    switch (prefix) {
    case HelpPathPrefix::None:
        break;
    case HelpPathPrefix::MsIts:
        path.prepend(QStringLiteral("ms-its:"));
        break;
    case HelpPathPrefix::MkMsItss:
        path.prepend(QStringLiteral("mk:@MSITStore:"));
        break;
    }
    return path;
}

int ShowContext(const QString& path, int context_id, int kind)
{
    // The log line carries the viewer kind where one would expect the id; kept as it always was.
    debug_log(QStringLiteral("ShowContext(\"%1\", %2)").arg(path).arg(kind));
    int code = 0;
    if (!help_module_state()._hhInstalled) {
        code = 1;
    } else if (kind == viewer_html_help) {
        if (QWidget* window = html_help(path, HH_HELP_CONTEXT, context_id))
            bring_to_front(window);
    } else {
        // The other viewer kinds are programs of another platform; none of them exists here.
        code = kind == 2 ? 4 : 2;
    }
    debug_log(QStringLiteral("  returned - %1").arg(code));
    return code;
}

QString hh_error_message(int code)
{
    switch (code) {
    case 0:
        return {};
    case 1:
        return QStringLiteral("MS Html Help is not installed on this PC.");
    case 2:
        return QStringLiteral("System file KeyHH.EXE was not found in the Windows folder.");
    case 3:
        return QStringLiteral("System file HH.EXE was not found in the Windows folder.");
    case 4:
        return QStringLiteral("HH.EXE does not support help by context Id");
    default:
        return QStringLiteral("Unknown error returned by HHHelpContext");
    }
}

void HHShowError(int code)
{
    if (code == 0)
        return;
    const QString message = hh_error_message(code);
    platform::show_message(message, QStringLiteral("Warnung"), platform::MessageIcon::Warning);
    debug_log(QStringLiteral("HHShowError(%1), \"%2\"").arg(code).arg(message));
}

}  // namespace help
