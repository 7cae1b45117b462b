#pragma once
// The signals that ask a program to end (SIGTERM from a logout or `kill`, SIGINT from Ctrl+C in
// its terminal, SIGHUP when that terminal closes), turned into a request on the event loop so
// that quitting runs its usual course.

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace platform {

// While one exists, the quit signals are caught: the handler only writes the signal's number
// to a pipe, and the event loop reads it and emits quit_requested. A second signal while
// quitting ends the program at once, as the signal's default would: somebody who presses
// Ctrl+C twice means it. Only one may exist at a time.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(QObject* parent = nullptr);
    // Gives the signals back their default handling.
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

Q_SIGNALS:
    void quit_requested(int signal_number);

private:
    void read_signals();

    int read_end_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform
