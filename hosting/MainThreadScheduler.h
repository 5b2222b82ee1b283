// The main thread as seen from the hosting layer: a place to post closures to. The window
// and the front end give one built on their event loop, tests give one they pump by hand.
// Keeps this layer free of any GUI toolkit.
#pragma once

#include <cstdint>
#include <functional>

namespace corvina::hosting {

class MainThreadScheduler {
public:
    using TimerId = std::uint64_t;
    static constexpr TimerId kNoTimer = 0;

    virtual ~MainThreadScheduler() = default;

    // Runs fn on the main thread soon, in posting order. Callable from any thread.
    virtual void Post(std::function<void()> fn) = 0;

    // Runs fn once on the main thread after about delayMs milliseconds. Callable from any
    // thread; returns a non-zero id for Cancel.
    virtual TimerId PostDelayed(int delayMs, std::function<void()> fn) = 0;

    // Drops a delayed closure that has not run yet; an unknown or spent id is ignored.
    virtual void Cancel(TimerId id) = 0;
};

} // namespace corvina::hosting
