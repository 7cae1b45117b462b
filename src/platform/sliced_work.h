#pragma once
// Long work over a window's lines done on the event loop in short slices, so that painting and
// arriving lines get their turns between them, with the time it has taken to tell whether its
// progress is worth showing.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace platform {

class SlicedWork : public QObject {
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;
    // One slice of the work, to end once `deadline` has passed; true when nothing is left to do.
    using Step = std::function<bool(Clock::time_point deadline)>;

    // A slice leaves most of a frame to painting and to the lines that keep arriving.
    static constexpr auto slice_time = std::chrono::milliseconds(4);
    // Work that takes longer than this shows how far it got.
    static constexpr qint64 progress_after_ms = 500;

    explicit SlicedWork(Step step, QObject* parent = nullptr);

    // Starts the work anew: its time counts from now, and slices follow without a pause.
    void start();
    // More to do for work that may have finished (lines arrived, say): slices follow again,
    // its time going on from its start.
    void resume();
    // No more slices; one under way ends as it is, without signals.
    void cancel();
    // The pause before each next slice, until the next start(): work that waits for something
    // else (a disk) would otherwise only spin the event loop.
    void set_pause(std::chrono::milliseconds pause) { pause_ = pause; }

    // A slice is under way or to come.
    bool running() const { return in_slice_ || timer_.isActive(); }
    qint64 elapsed_ms() const { return clock_.isValid() ? clock_.elapsed() : 0; }
    // Still running after progress_after_ms.
    bool progress_due() const { return running() && elapsed_ms() >= progress_after_ms; }

signals:
    // After every slice, the last one too.
    void sliced();
    // The step said it was done (after sliced()).
    void finished();

private:
    void run_slice();

    Step step_;
    QTimer timer_;
    QElapsedTimer clock_;
    std::chrono::milliseconds pause_{0};
    bool in_slice_ = false;
    bool cancelled_ = false;
};

}  // namespace platform
