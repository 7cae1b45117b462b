// Child processes through fork, exec and pidfds; exit is watched on the event loop so that
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
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
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

// The child's side of start(), between fork and exec: async-signal-safe calls only.
[[noreturn]] void exec_child(const char* path, char* const argv[], pid_t dies_with, int report)
{
    // Killed by the kernel when the thread that forked it (the GUI thread, which lives as long
    // as the program) ends, however it ends. A parent that died before this took effect has
    // already orphaned us: end now rather than run unwatched.
    if (dies_with != 0 && (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != dies_with))
        _exit(127);
    // Only the standard streams pass; every other descriptor is closed, whatever its
    // close-on-exec flag, so a child never holds one of our listening sockets open. The report
    // pipe closes itself on exec.
    if (report > 3)
        close_range(3, static_cast<unsigned>(report) - 1, 0);
    close_range(static_cast<unsigned>(report) + 1, ~0U, 0);
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (signal_number != SIGKILL && signal_number != SIGSTOP)
            sigaction(signal_number, &default_action, nullptr);
    }
    sigset_t no_signals;
    sigemptyset(&no_signals);
    sigprocmask(SIG_SETMASK, &no_signals, nullptr);
    // execve, not execvp: the program part names the executable, no PATH search.
    execve(path, argv, environ);
    const int exec_error = errno;
    ssize_t written = 0;
    do
        written = write(report, &exec_error, sizeof exec_error);
    while (written < 0 && errno == EINTR);
    _exit(127);
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

std::unique_ptr<ChildProcess> ChildProcess::start(const QString& program, const QString& params, Lifetime lifetime,
                                                 int* error)
{
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> arguments{path};
    for (const QString& piece : split_params(params))
        arguments.push_back(QFile::encodeName(piece));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The child tells why exec failed through this pipe; a successful exec closes it unread.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        if (error != nullptr)
            *error = errno;
        return nullptr;
    }
    // No handler of ours may run in the child before it has reset them: ours write to pipes
    // the parent reads (a SIGTERM there would make the parent quit).
    sigset_t all_signals;
    sigfillset(&all_signals);
    sigset_t parent_mask;
    pthread_sigmask(SIG_SETMASK, &all_signals, &parent_mask);
    const pid_t parent = getpid();
    // fork, not posix_spawn: only a child of our own can ask the kernel for a death signal
    // before it runs the program. It calls nothing but system calls until exec.
    const pid_t pid = fork();
    if (pid == 0)
        exec_child(path.constData(), argv.data(), lifetime == Lifetime::ends_with_us ? parent : 0, report[1]);
    const int fork_error = errno;
    pthread_sigmask(SIG_SETMASK, &parent_mask, nullptr);
    close(report[1]);
    int exec_error = 0;
    if (pid < 0) {
        exec_error = fork_error;
    } else {
        ssize_t got = 0;
        do
            got = read(report[0], &exec_error, sizeof exec_error);
        while (got < 0 && errno == EINTR);
        if (got != static_cast<ssize_t>(sizeof exec_error))
            exec_error = 0;
    }
    close(report[0]);
    if (exec_error != 0) {
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        if (error != nullptr)
            *error = exec_error;
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
