// A main-thread scheduler on the real clock for a benchmark process without an event loop:
// the thread that calls RunUntil plays the main thread; other threads only post.
#pragma once

#include "hosting/MainThreadScheduler.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace corvina::bench {

class BenchScheduler : public hosting::MainThreadScheduler {
public:
    using Clock = std::chrono::steady_clock;

    void Post(std::function<void()> fn) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(fn));
        }
        wake_.notify_one();
    }

    TimerId PostDelayed(int delayMs, std::function<void()> fn) override {
        TimerId id;
        {
            std::lock_guard lock(mutex_);
            id = nextId_++;
            delayed_[id] = {Clock::now() + std::chrono::milliseconds(delayMs), std::move(fn)};
        }
        wake_.notify_one();
        return id;
    }

    void Cancel(TimerId id) override {
        std::lock_guard lock(mutex_);
        delayed_.erase(id);
    }

    // Runs closures as they fall due until done() holds after one of them; false when the
    // limit passed first.
    bool RunUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
        const auto deadline = Clock::now() + limit;
        while (!done()) {
            std::function<void()> fn;
            {
                std::unique_lock lock(mutex_);
                for (;;) {
                    if (!queue_.empty()) {
                        fn = std::move(queue_.front());
                        queue_.pop_front();
                        break;
                    }
                    auto next = delayed_.end();
                    for (auto it = delayed_.begin(); it != delayed_.end(); ++it)
                        if (next == delayed_.end() || it->second.due < next->second.due)
                            next = it;
                    const auto now = Clock::now();
                    if (next != delayed_.end() && next->second.due <= now) {
                        fn = std::move(next->second.fn);
                        delayed_.erase(next);
                        break;
                    }
                    if (now >= deadline)
                        return false;
                    const auto until = next != delayed_.end() && next->second.due < deadline
                                           ? next->second.due
                                           : deadline;
                    wake_.wait_until(lock, until);
                }
            }
            fn();
        }
        return true;
    }

private:
    struct Delayed {
        Clock::time_point due;
        std::function<void()> fn;
    };
    std::mutex mutex_; // guards queue_, delayed_ and nextId_
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::map<TimerId, Delayed> delayed_;
    TimerId nextId_ = 1;
};

} // namespace corvina::bench
