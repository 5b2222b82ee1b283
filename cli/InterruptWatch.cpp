#include "cli/InterruptWatch.h"

#include "cli/Terminal.h"

namespace corvina::cli {

namespace {
constexpr int kPollMs = 100;
}

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    if (InterruptFd() >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(InterruptFd(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Check(); });
    } else {
        poll_ = std::make_unique<QTimer>();
        QObject::connect(poll_.get(), &QTimer::timeout, [this] { Check(); });
        poll_->start(kPollMs);
    }
}

void InterruptWatch::Check() {
    if (fired_ || !Interrupted())
        return;
    fired_ = true;
    // The pipe stays readable: without this the loop would be woken for it again and again.
    if (notifier_)
        notifier_->setEnabled(false);
    if (poll_)
        poll_->stop();
    onInterrupt_();
}

} // namespace corvina::cli
