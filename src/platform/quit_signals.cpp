// Quit signals through a self-pipe: a handler may call only async-signal-safe functions, so it
// writes a byte and the event loop does the rest.

#include "platform/quit_signals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::array quit_signal_numbers{SIGTERM, SIGINT, SIGHUP};

// Shared with the handler, which can reach nothing else.
int handler_write_end = -1;
volatile sig_atomic_t quitting = 0;

void on_quit_signal(int signal_number)
{
    if (quitting != 0) {
        // The handler's own signal stays blocked until it returns, so the default action,
        // ending the program, takes the raised signal right after.
        signal(signal_number, SIG_DFL);
        raise(signal_number);
        return;
    }
    quitting = 1;
    const int saved_errno = errno;
    const auto byte = static_cast<unsigned char>(signal_number);
    // A full pipe already holds a request; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = write(handler_write_end, &byte, 1);
    errno = saved_errno;
}

void set_handler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls elsewhere in the program carry on as if nothing happened.
    action.sa_flags = SA_RESTART;
    for (const int signal_number : quit_signal_numbers)
        sigaction(signal_number, &action, nullptr);
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent)
{
    if (handler_write_end >= 0)
        throw std::logic_error("the quit signals are already being caught");
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("Can't watch for quit signals: no pipe.");
    read_end_ = ends[0];
    handler_write_end = ends[1];
    quitting = 0;
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(read_end_), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { read_signals(); });
    set_handler(on_quit_signal);
}

QuitSignals::~QuitSignals()
{
    set_handler(SIG_DFL);
    notifier_.reset();
    close(handler_write_end);
    handler_write_end = -1;
    close(read_end_);
}

void QuitSignals::read_signals()
{
    unsigned char byte = 0;
    while (read(read_end_, &byte, 1) == 1)
        Q_EMIT quit_requested(byte);
}

}  // namespace platform
