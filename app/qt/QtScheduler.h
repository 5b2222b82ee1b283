// The main-thread scheduler on Qt's event loop: closures posted from any thread run on the
// thread that owns the QCoreApplication.
#pragma once

#include "hosting/MainThreadScheduler.h"

#include <QObject>

#include <map>
#include <memory>
#include <mutex>
#include <set>

class QTimer;

namespace corvina::app {

class QtScheduler final : public hosting::MainThreadScheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    void Post(std::function<void()> fn) override;
    TimerId PostDelayed(int delayMs, std::function<void()> fn) override;
    void Cancel(TimerId id) override;

private:
    QObject context_;  // lives on the main thread; closures are queued to it
    std::mutex mutex_; // guards timers_ and nextId_
    std::map<TimerId, std::unique_ptr<QTimer>> timers_;
    std::set<TimerId> cancelledBeforeStart_; // cancelled before the main thread made them
    TimerId nextId_ = 1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace corvina::app
