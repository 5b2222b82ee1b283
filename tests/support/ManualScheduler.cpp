#include "tests/support/ManualScheduler.h"

namespace corvina::test {

void ManualScheduler::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(fn));
    }
    posted_.notify_all();
}

ManualScheduler::TimerId ManualScheduler::PostDelayed(int delayMs, std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    const TimerId id = nextId_++;
    delayed_.emplace(id, Delayed{now_ + (delayMs > 0 ? delayMs : 0), std::move(fn)});
    return id;
}

void ManualScheduler::Cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    delayed_.erase(id);
}

std::function<void()> ManualScheduler::TakeDue(std::unique_lock<std::mutex>&) {
    if (!queue_.empty()) {
        std::function<void()> fn = std::move(queue_.front());
        queue_.pop_front();
        return fn;
    }
    auto best = delayed_.end();
    for (auto it = delayed_.begin(); it != delayed_.end(); ++it)
        if (it->second.due <= now_ && (best == delayed_.end() || it->second.due < best->second.due))
            best = it;
    if (best == delayed_.end())
        return {};
    std::function<void()> fn = std::move(best->second.fn);
    delayed_.erase(best);
    return fn;
}

int ManualScheduler::RunPending() {
    int ran = 0;
    for (;;) {
        std::function<void()> fn;
        {
            std::unique_lock lock(mutex_);
            fn = TakeDue(lock);
        }
        if (!fn)
            return ran;
        fn();
        ++ran;
    }
}

void ManualScheduler::Advance(std::int64_t ms) {
    std::int64_t target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + ms;
    }
    for (;;) {
        RunPending();
        std::lock_guard lock(mutex_);
        std::int64_t next = target + 1;
        for (const auto& [id, d] : delayed_)
            if (d.due < next)
                next = d.due;
        if (next > target) {
            now_ = target;
            break;
        }
        now_ = next;
    }
    RunPending();
}

bool ManualScheduler::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        RunPending();
        if (done())
            return true;
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) {
            lock.unlock();
            RunPending();
            return done();
        }
    }
}

std::int64_t ManualScheduler::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::size_t ManualScheduler::DelayedCount() const {
    std::lock_guard lock(mutex_);
    return delayed_.size();
}

} // namespace corvina::test
