#pragma once
// A result made on a thread of its own, for work too long for the thread that receives and draws
// (tens of milliseconds); the owner goes on without it until it is there.

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

namespace alerts {

template <typename T>
class BackgroundBuild {
public:
    BackgroundBuild() = default;
    ~BackgroundBuild() { join(); }
    BackgroundBuild(const BackgroundBuild&) = delete;
    BackgroundBuild& operator=(const BackgroundBuild&) = delete;

    // Makes the result with make() on a thread of its own; a build still running is waited for
    // and its result dropped.
    template <typename Make>
    void start(Make make)
    {
        cancel();
        pending_ = true;
        thread_ = std::thread([this, make = std::move(make)]() mutable {
            result_ = make();
            done_.store(true, std::memory_order_release);
        });
    }
    // Drops what is being built, after it is done.
    void cancel()
    {
        join();
        pending_ = false;
        done_.store(false, std::memory_order_relaxed);
        result_.reset();
    }
    // Once the result is there, moves it into `into` (null when it couldn't be made); before,
    // and after it was delivered, does nothing. Cheap enough for every line.
    void deliver_if_done(std::unique_ptr<T>& into)
    {
        if (!pending_ || !done_.load(std::memory_order_acquire))
            return;
        join();
        pending_ = false;
        done_.store(false, std::memory_order_relaxed);
        into = std::move(result_);
    }
    // Waits for the result, then delivers it as deliver_if_done does.
    void deliver(std::unique_ptr<T>& into)
    {
        join();
        deliver_if_done(into);
    }

private:
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }

    bool pending_ = false;
    std::atomic<bool> done_{false};
    std::unique_ptr<T> result_;
    std::thread thread_;
};

}  // namespace alerts
