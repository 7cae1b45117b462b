#pragma once
// The longest event-loop stall while a benchmark runs: the largest gap between the ticks of a
// 1 ms timer, which only fire when the loop gets back to them.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

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
        });
    }

    void start()
    {
        clock_.start();
        last_tick_ = 0;
        max_stall_ = 0;
        ticker_.start();
    }
    void stop() { ticker_.stop(); }
    // Nanoseconds since start().
    qint64 elapsed_ns() const { return clock_.nsecsElapsed(); }
    double max_stall_ms() const { return static_cast<double>(max_stall_) / 1e6; }

private:
    QElapsedTimer clock_;
    QTimer ticker_;
    qint64 last_tick_ = 0;
    qint64 max_stall_ = 0;
};

}  // namespace bench
