#pragma once
// The longest event-loop stall while a benchmark runs: the largest gap between the ticks of a
// 1 ms timer, which only fire when the loop gets back to them. Also the most processor time the
// thread used within one gap: on a shared machine a gap also holds the time the system gave
// other processes, which the program can't help.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <ctime>

namespace bench {

class StallMeter {
public:
    StallMeter()
    {
        ticker_.setInterval(1);
        QObject::connect(&ticker_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            max_stall_ = std::max(max_stall_, now - last_tick_);
            last_tick_ = now;
            const qint64 used = thread_time_ns();
            max_busy_ = std::max(max_busy_, used - last_used_);
            last_used_ = used;
        });
    }

    void start()
    {
        clock_.start();
        last_tick_ = 0;
        max_stall_ = 0;
        last_used_ = thread_time_ns();
        max_busy_ = 0;
        ticker_.start();
    }
    void stop() { ticker_.stop(); }
    // Nanoseconds since start().
    qint64 elapsed_ns() const { return clock_.nsecsElapsed(); }
    double max_stall_ms() const { return static_cast<double>(max_stall_) / 1e6; }
    // The most processor time the thread used between two ticks.
    double max_busy_ms() const { return static_cast<double>(max_busy_) / 1e6; }

    // Processor time the calling thread has used.
    static qint64 thread_time_ns()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    }

private:
    QElapsedTimer clock_;
    QTimer ticker_;
    qint64 last_tick_ = 0;
    qint64 max_stall_ = 0;
    qint64 last_used_ = 0;
    qint64 max_busy_ = 0;
};

}  // namespace bench
