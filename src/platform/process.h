#pragma once
// Child processes: splitting a command into program and parameters, starting the program
// without inheriting anything of ours, and terminating it through a handle that can never
// hit a recycled process id.

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace platform {

// The program part is the text before the first blank; the parameter part is the rest from
// that blank on, blank included. A command without a blank is all program part.
template <typename Text>
struct CommandParts {
    Text program;
    Text params;
};
CommandParts<QString> split_command(const QString& command);
CommandParts<std::string> split_command(std::string_view command);

// The executable a program part names, found as a shell finds it: a part with a '/' as it
// stands; a bare name as the first executable file of that name on PATH, empty when there is
// none (a bare name is never taken from the current directory unless PATH says so).
QString find_command_program(const QString& program);

// The arguments a parameter part stands for: its pieces between blanks, empty pieces dropped.
QStringList split_params(const QString& params);

// A started child process, held by a pidfd. The child is reaped as soon as it ends, whether it
// ends on its own or is terminated, so it never stays behind as a zombie.
class ChildProcess {
public:
    // Whether a child ends when we do. A window command belongs to its window and must not
    // outlive the program, even one killed by SIGKILL or a crash; an alert command is handed
    // off and runs on by its own choice.
    enum class Lifetime { ends_with_us, outlives_us };

    // Starts program, named exactly (no search of PATH; a name without '/' is taken relative to
    // the current directory), with params split at blanks as its arguments. The child gets our
    // environment, current directory and standard streams, default signal handling, and no
    // other descriptor of ours. Returns null on failure, a program that can't be executed
    // included; error receives the errno then.
    static std::unique_ptr<ChildProcess> start(const QString& program, const QString& params, Lifetime lifetime,
                                                int* error = nullptr);
    // Never kills: a child still running is handed to a reaper that collects it when it ends.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // False once the child has ended (it is reaped by this call if it just did).
    bool running();
    // Sends SIGKILL through the pidfd and reaps the child. Fails, as terminating a process that
    // has already ended does, when the child ended before.
    bool terminate();

private:
    ChildProcess(int pidfd, pid_t pid);
    // Collects the child if it has ended; true when it is gone.
    bool reap();

    int pidfd_ = -1;
    pid_t pid_ = 0;
    bool ended_ = false;
    // Readable when the child ends, so a child that exits on its own is reaped at once.
    std::unique_ptr<QSocketNotifier> exit_watch_;
};

}  // namespace platform
