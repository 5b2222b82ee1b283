#include "app/qt/QtScheduler.h"

#include <QMetaObject>
#include <QTimer>

namespace corvina::app {

QtScheduler::QtScheduler() = default;

QtScheduler::~QtScheduler() {
    *alive_ = false;
    std::lock_guard lock(mutex_);
    timers_.clear();
}

void QtScheduler::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}

hosting::MainThreadScheduler::TimerId QtScheduler::PostDelayed(int delayMs,
                                                               std::function<void()> fn) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
    }
    std::weak_ptr<bool> alive = alive_;
    // Timers belong to the main thread: create them there.
    Post([this, alive, id, delayMs, fn = std::move(fn)]() mutable {
        if (!alive.lock())
            return;
        auto timer = std::make_unique<QTimer>();
        timer->setSingleShot(true);
        QObject::connect(timer.get(), &QTimer::timeout, &context_, [this, alive, id, fn] {
            if (!alive.lock())
                return;
            std::unique_ptr<QTimer> spent;
            {
                std::lock_guard lock(mutex_);
                auto it = timers_.find(id);
                if (it == timers_.end())
                    return; // cancelled
                spent = std::move(it->second);
                timers_.erase(it);
            }
            spent.release()->deleteLater();
            fn();
        });
        timer->start(delayMs);
        std::lock_guard lock(mutex_);
        if (cancelledBeforeStart_.erase(id) == 0)
            timers_[id] = std::move(timer);
    });
    return id;
}

void QtScheduler::Cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        cancelledBeforeStart_.insert(id);
        return;
    }
    it->second->stop();
    timers_.erase(it);
}

} // namespace corvina::app
