// Child processes through posix_spawn and pidfds; exit is watched on the event loop so that
// every child is reaped without a SIGCHLD handler (which would fight QProcess's own).

#include "platform/process.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <vector>

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// glibc 2.36 knows the pidfd id type only through the kernel headers, and its <sys/pidfd.h>
// lacks C linkage for C++, so the calls go through syscall().
constexpr idtype_t id_type_pidfd = static_cast<idtype_t>(3);

int open_pidfd(pid_t pid)
{
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int send_signal(int pidfd, int signal_number)
{
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal_number, nullptr, 0));
}

// How long terminate() waits for a killed child before leaving it to the exit watch. SIGKILL
// can't be caught, so this is only reached by a child stuck in the kernel.
constexpr int kill_wait_ms = 200;

bool child_ended(int pidfd)
{
    siginfo_t info{};
    if (waitid(id_type_pidfd, static_cast<id_t>(pidfd), &info, WEXITED | WNOHANG) != 0)
        return errno == ECHILD;  // someone else collected it: gone all the same
    return info.si_pid != 0;
}

// Takes over the pidfd of a child whose owner went away while it ran, and collects the child
// when it ends. Without an application there is no loop to watch it; the kernel then reparents
// the child when we exit.
void hand_to_reaper(int pidfd)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        close(pidfd);
        return;
    }
    auto* watch = new QSocketNotifier(static_cast<qintptr>(pidfd), QSocketNotifier::Read, application);
    QObject::connect(watch, &QSocketNotifier::activated, watch, [watch, pidfd] {
        if (!child_ended(pidfd))
            return;
        watch->setEnabled(false);
        close(pidfd);
        watch->deleteLater();
    });
}

}  // namespace

CommandParts<QString> split_command(const QString& command)
{
    const qsizetype blank = command.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return {command, QString()};
    return {command.left(blank), command.mid(blank)};
}

CommandParts<std::string> split_command(std::string_view command)
{
    const std::size_t blank = command.find(' ');
    if (blank == std::string_view::npos)
        return {std::string(command), std::string()};
    return {std::string(command.substr(0, blank)), std::string(command.substr(blank))};
}

QStringList split_params(const QString& params)
{
    return params.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

ChildProcess::ChildProcess(int pidfd, pid_t pid) : pidfd_(pidfd), pid_(pid)
{
    if (QCoreApplication::instance() == nullptr)
        return;
    exit_watch_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(pidfd_), QSocketNotifier::Read);
    QObject::connect(exit_watch_.get(), &QSocketNotifier::activated, exit_watch_.get(), [this] { reap(); });
}

ChildProcess::~ChildProcess()
{
    exit_watch_.reset();
    if (reap())
        close(pidfd_);
    else
        hand_to_reaper(pidfd_);
}

QString find_command_program(const QString& program)
{
    if (program.contains(QLatin1Char('/')))
        return program;
    return QStandardPaths::findExecutable(program);
}

std::unique_ptr<ChildProcess> ChildProcess::start(const QString& program, const QString& params, int* error)
{
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> arguments{path};
    for (const QString& piece : split_params(params))
        arguments.push_back(QFile::encodeName(piece));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // Only the standard streams pass; every other descriptor is closed in the child, whatever
    // its close-on-exec flag, so a child never holds one of our listening sockets open.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t no_signals;
    sigemptyset(&no_signals);
    sigset_t all_signals;
    sigfillset(&all_signals);
    sigdelset(&all_signals, SIGKILL);
    sigdelset(&all_signals, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &no_signals);
    posix_spawnattr_setsigdefault(&attributes, &all_signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    // posix_spawn, not posix_spawnp: the program part names the executable, no PATH search.
    const int result = posix_spawn(&pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        if (error != nullptr)
            *error = result;
        return nullptr;
    }

    // The child stays a zombie until we collect it, and nothing in the program collects
    // children it didn't start, so the pid can't be recycled before the pidfd holds it.
    const int pidfd = open_pidfd(pid);
    if (pidfd < 0) {
        const int open_error = errno;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        if (error != nullptr)
            *error = open_error;
        return nullptr;
    }
    return std::unique_ptr<ChildProcess>(new ChildProcess(pidfd, pid));
}

bool ChildProcess::reap()
{
    if (!ended_ && child_ended(pidfd_)) {
        ended_ = true;
        if (exit_watch_)
            exit_watch_->setEnabled(false);
    }
    return ended_;
}

bool ChildProcess::running()
{
    return !reap();
}

bool ChildProcess::terminate()
{
    if (reap())
        return false;
    if (send_signal(pidfd_, SIGKILL) != 0) {
        reap();
        return false;
    }
    pollfd ready{pidfd_, POLLIN, 0};
    if (poll(&ready, 1, kill_wait_ms) > 0)
        reap();
    return true;
}

}  // namespace platform
