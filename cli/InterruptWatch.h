// Ctrl-C seen from an event loop: the callback runs on this thread at the first SIGINT or
// SIGTERM, woken by the handler's pipe rather than by a timer, so that a long conversion is
// not interrupted twenty times a second to look.
#pragma once

#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>

namespace corvina::cli {

class InterruptWatch {
public:
    // InstallInterruptHandler() must have run.
    explicit InterruptWatch(std::function<void()> onInterrupt);
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    bool Fired() const { return fired_; }

private:
    void Check();

    std::function<void()> onInterrupt_;
    bool fired_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> poll_; // only when the pipe could not be made
};

} // namespace corvina::cli
