// A main-thread scheduler for tests: closures wait in queues until the test thread pumps
// them, and delayed ones run on a virtual clock that only Advance moves. Posting is safe
// from any thread; pumping belongs to one thread, which thereby plays the main thread.
#pragma once

#include "hosting/MainThreadScheduler.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace corvina::test {

class ManualScheduler : public hosting::MainThreadScheduler {
public:
    void Post(std::function<void()> fn) override;
    TimerId PostDelayed(int delayMs, std::function<void()> fn) override;
    void Cancel(TimerId id) override;

    // Runs every closure that is due on the virtual clock, including those posted while
    // running, until none is left; returns how many ran.
    int RunPending();
    // Moves the clock forward by ms, running each delayed closure at its due time, in order.
    void Advance(std::int64_t ms);
    // Runs closures as they arrive (waiting for posts from other threads) until done()
    // holds. The limit only keeps a broken test from hanging; false when it was reached.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(60));

    std::int64_t Now() const;
    std::size_t DelayedCount() const;

private:
    struct Delayed {
        std::int64_t due;
        std::function<void()> fn;
    };
    // Takes the next closure due at the current time: posted ones first, then the earliest
    // delayed one (ties in posting order). Empty when none.
    std::function<void()> TakeDue(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_; // guards queue_, delayed_, now_, nextId_
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
    std::map<TimerId, Delayed> delayed_;
    std::int64_t now_ = 0;
    TimerId nextId_ = 1;
};

} // namespace corvina::test
