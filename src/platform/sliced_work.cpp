// Sliced work: one slice per turn of the event loop until the step is done.

#include "platform/sliced_work.h"

namespace platform {

SlicedWork::SlicedWork(Step step, QObject* parent) : QObject(parent), step_(std::move(step))
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { run_slice(); });
}

void SlicedWork::start()
{
    pause_ = std::chrono::milliseconds(0);
    clock_.start();
    timer_.start(pause_);
}

void SlicedWork::resume()
{
    if (!timer_.isActive())
        timer_.start(pause_);
}

void SlicedWork::cancel()
{
    timer_.stop();
    cancelled_ = in_slice_;
}

void SlicedWork::run_slice()
{
    in_slice_ = true;
    cancelled_ = false;
    bool done = false;
    try {
        done = step_(Clock::now() + slice_time);
    } catch (...) {
        // A failed step ends the work; the error is its caller's to report.
        in_slice_ = false;
        throw;
    }
    in_slice_ = false;
    // Cancelled within its own slice, the work says nothing more; one started anew meanwhile
    // has its slice coming.
    if (cancelled_)
        return;
    if (!done)
        timer_.start(pause_);
    emit sliced();
    // Resumed during the slice, the work goes on.
    if (!timer_.isActive())
        emit finished();
}

}  // namespace platform
