#include "hosting/BackgroundThread.h"

#include <algorithm>

namespace corvina::hosting {

// --- TBackgroundExecuteThread ---------------------------------------------------------------

TBackgroundExecuteThread::TBackgroundExecuteThread(TBackgroundThread* owner, void* data,
                                                   TThreadPriority priority)
    : owner_(owner), data_(data), priority_(priority) {}

TBackgroundExecuteThread::~TBackgroundExecuteThread() {
    // Normally joined by the owner; this only guards against a worker left behind.
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

void TBackgroundExecuteThread::Terminate() {
    {
        std::lock_guard lock(mutex_);
        terminated_ = true;
    }
    wake_.notify_all();
}

void TBackgroundExecuteThread::Suspend() {
    std::lock_guard lock(mutex_);
    suspended_ = true;
}

void TBackgroundExecuteThread::Resume() {
    {
        std::lock_guard lock(mutex_);
        suspended_ = false;
    }
    wake_.notify_all();
}

bool TBackgroundExecuteThread::Suspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

bool TBackgroundExecuteThread::WaitWhileSuspended() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !suspended_ || terminated_; });
    return !terminated_;
}

pid_t TBackgroundExecuteThread::ThreadId() const {
    std::lock_guard lock(mutex_);
    return threadId_;
}

void TBackgroundExecuteThread::Launch(std::function<void()> body) {
    thread_ = std::thread([this, body = std::move(body)] {
        {
            std::lock_guard lock(mutex_);
            threadId_ = CurrentThreadId();
            // Always applied: a new thread inherits its creator's nice value otherwise.
            ApplyThreadPriority(threadId_, priority_);
        }
        body();
    });
}

void TBackgroundExecuteThread::SetPriority(TThreadPriority priority) {
    std::lock_guard lock(mutex_);
    priority_ = priority;
    if (threadId_ != 0)
        ApplyThreadPriority(threadId_, priority_);
}

void TBackgroundExecuteThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

// --- TBackgroundThreadBase ------------------------------------------------------------------

bool TBackgroundThreadBase::SetThreadGroup(TBackgroundThreadGroup* group) {
    if (group == group_)
        return true;
    std::vector<RunningThread> running;
    CollectRunning(running);
    if (TBackgroundThreadGroup* old = group_) {
        // A running member leaving counts as ended, once per running thread below it.
        for (RunningThread& r : running)
            old->NotifyTerminated(r.component, r.thread, r.thread->Data());
        old->RemoveMember(this);
        group_ = nullptr;
    }
    if (!group)
        return true;
    // No cycles: the new group must not be this component nor lie below it.
    for (const TBackgroundThreadBase* g = group; g; g = g->group_)
        if (g == this)
            return false;
    group_ = group;
    group->AddMember(this);
    for (RunningThread& r : running)
        group->NotifyStarted(r.component, r.thread, r.thread->Data());
    return true;
}

// --- TBackgroundThread ----------------------------------------------------------------------

TBackgroundThread::TBackgroundThread(MainThreadScheduler& scheduler) : scheduler_(scheduler) {}

TBackgroundThread::~TBackgroundThread() {
    SetTimerEnabled(false);
    if (thread_) {
        thread_->Terminate(); // before the resume, as in Stop
        thread_->Resume();
        thread_->Join();
        // Leave the group while the run still counts, so the group's running count comes
        // back down and its terminate event is not lost.
        SetThreadGroup(nullptr);
        thread_.reset();
    }
    SetThreadGroup(nullptr);
    alive_.reset();
}

void TBackgroundThread::SetRefreshInterval(int ms) {
    refreshInterval_ = ms;
    if (timerEnabled_) {
        // Like a timer whose interval changes: it starts counting again.
        SetTimerEnabled(false);
        SetTimerEnabled(true);
    }
}

void TBackgroundThread::SetPriority(TThreadPriority priority) {
    priority_ = priority;
    if (thread_)
        thread_->SetPriority(priority);
}

void TBackgroundThread::SetUpdateEnabled(bool enabled) {
    updateEnabled_ = enabled;
    SetTimerEnabled(enabled);
}

void TBackgroundThread::StartWith(void* data) {
    if (thread_)
        return;
    auto thread = std::make_shared<TBackgroundExecuteThread>(this, data, priority_);
    lastRunTerminated_ = false;
    thread_ = thread;
    if (TBackgroundThreadGroup* group = ThreadGroup())
        group->NotifyStarted(this, thread.get(), thread->Data());
    try {
        std::lock_guard lock(lock_);
        if (OnStart)
            OnStart(this, thread.get(), thread->Data());
    } catch (...) {
        // The run never began: undo the start so the component and its group stay idle.
        thread_.reset();
        if (TBackgroundThreadGroup* group = ThreadGroup())
            group->NotifyTerminated(this, thread.get(), thread->Data());
        throw;
    }
    // The body works on its own copy of the handler: OnExecute may be reassigned meanwhile.
    thread->Launch([this, raw = thread.get(), work = OnExecute,
                    alive = std::weak_ptr<int>(alive_)] { Execute(*raw, work, alive); });
    if (updateEnabled_)
        SetTimerEnabled(true);
}

void TBackgroundThread::Execute(TBackgroundExecuteThread& thread,
                                const TBackgroundThreadDataNotifyEvent& work,
                                std::weak_ptr<int> alive) {
    try {
        if (work)
            work(this, &thread, thread.Data());
    } catch (...) {
        // Kept with the thread; the terminate path still runs.
        thread.fatal_ = std::current_exception();
    }
    lastRunTerminated_ = thread.Terminated();
    scheduler_.Post([this, alive = std::move(alive), self = thread.shared_from_this()] {
        if (!alive.expired())
            WorkerEnded(self);
        // Otherwise the component is gone (it joined the worker): only forget the thread.
    });
}

void TBackgroundThread::WorkerEnded(const std::shared_ptr<TBackgroundExecuteThread>& thread) {
    if (thread_ != thread)
        return;
    thread->Join();
    SetTimerEnabled(false);
    thread_.reset();
    if (TBackgroundThreadGroup* group = ThreadGroup())
        group->NotifyTerminated(this, thread.get(), thread->Data());
    {
        std::lock_guard lock(lock_);
        if (OnTerminate)
            OnTerminate(this, thread.get(), thread->Data());
    }
    SetTimerEnabled(updateEnabled_);
}

void TBackgroundThread::TimerTick() {
    if (!thread_)
        return;
    std::shared_ptr<TBackgroundExecuteThread> thread = thread_;
    const int percent = thread->Percent();
    if (TBackgroundThreadGroup* group = ThreadGroup())
        group->NotifyUpdate(this, thread.get(), thread->Data(), percent, UpdatePriority());
    std::lock_guard lock(lock_);
    if (OnUpdate)
        OnUpdate(this, thread.get(), thread->Data(), percent);
}

void TBackgroundThread::Stop() {
    if (thread_) {
        // Terminated first: work woken by the resume must already see the stop, or it would
        // carry on as if only resumed.
        thread_->Terminate();
        thread_->Resume();
    }
}

void TBackgroundThread::Suspend() {
    if (thread_)
        thread_->Suspend();
}

void TBackgroundThread::Resume() {
    if (thread_)
        thread_->Resume();
}

void TBackgroundThread::SetTimerEnabled(bool enabled) {
    if (enabled == timerEnabled_)
        return;
    timerEnabled_ = enabled;
    ++timerGeneration_;
    if (enabled) {
        ScheduleTick();
    } else if (timerId_ != MainThreadScheduler::kNoTimer) {
        scheduler_.Cancel(timerId_);
        timerId_ = MainThreadScheduler::kNoTimer;
    }
}

void TBackgroundThread::ScheduleTick() {
    const std::uint64_t generation = timerGeneration_;
    timerId_ = scheduler_.PostDelayed(
        std::max(refreshInterval_, 1), [this, generation, alive = std::weak_ptr<int>(alive_)] {
            if (alive.expired() || generation != timerGeneration_ || !timerEnabled_)
                return;
            timerId_ = MainThreadScheduler::kNoTimer;
            TimerTick();
            // The handler may have restarted the timer itself.
            if (generation == timerGeneration_ && timerEnabled_)
                ScheduleTick();
        });
}

void TBackgroundThread::CollectRunning(std::vector<RunningThread>& out) const {
    if (thread_)
        out.push_back({const_cast<TBackgroundThread*>(this), thread_.get()});
}

void TBackgroundThread::CollectThreads(std::vector<TBackgroundThread*>& out) const {
    out.push_back(const_cast<TBackgroundThread*>(this));
}

// --- TBackgroundThreadGroup -----------------------------------------------------------------

TBackgroundThreadGroup::~TBackgroundThreadGroup() {
    for (TBackgroundThread* thread : Threads())
        thread->SetThreadGroup(nullptr);
    for (TBackgroundThreadBase* member : Members())
        member->SetThreadGroup(nullptr);
    SetThreadGroup(nullptr);
}

int TBackgroundThreadGroup::RunningCount() const {
    std::lock_guard lock(lock_);
    return runningCount_;
}

std::vector<TBackgroundThreadBase*> TBackgroundThreadGroup::Members() const {
    std::lock_guard lock(lock_);
    return members_;
}

std::vector<TBackgroundThread*> TBackgroundThreadGroup::Threads() const {
    std::vector<TBackgroundThread*> out;
    CollectThreads(out);
    return out;
}

// The member operations work on a copy: a handler may change the membership meanwhile.
void TBackgroundThreadGroup::StartWith(void* data) {
    for (TBackgroundThreadBase* member : Members())
        member->StartWith(data);
}

void TBackgroundThreadGroup::Stop() {
    for (TBackgroundThreadBase* member : Members())
        member->Stop();
}

void TBackgroundThreadGroup::Suspend() {
    for (TBackgroundThreadBase* member : Members())
        member->Suspend();
}

void TBackgroundThreadGroup::Resume() {
    for (TBackgroundThreadBase* member : Members())
        member->Resume();
}

void TBackgroundThreadGroup::NotifyStarted(TBackgroundThreadBase* Sender,
                                           TBackgroundExecuteThread* Thread, void*& Data) {
    std::lock_guard lock(lock_);
    const int before = runningCount_++;
    if (OnThreadStart)
        OnThreadStart(Sender, Thread, Data);
    if (TBackgroundThreadGroup* parent = ThreadGroup())
        parent->NotifyStarted(Sender, Thread, Data);
    if (before == 0 && OnStart)
        OnStart(Sender, Thread, Data);
}

void TBackgroundThreadGroup::NotifyTerminated(TBackgroundThreadBase* Sender,
                                              TBackgroundExecuteThread* Thread, void*& Data) {
    std::lock_guard lock(lock_);
    if (runningCount_ > 0)
        --runningCount_;
    const int after = runningCount_;
    if (OnThreadTerminate)
        OnThreadTerminate(Sender, Thread, Data);
    if (TBackgroundThreadGroup* parent = ThreadGroup())
        parent->NotifyTerminated(Sender, Thread, Data);
    if (after == 0 && OnTerminate)
        OnTerminate(Sender, Thread, Data);
}

void TBackgroundThreadGroup::NotifyUpdate(TBackgroundThreadBase* Sender,
                                          TBackgroundExecuteThread* Thread, void*& Data,
                                          int Percent, int UpdatePriority) {
    std::lock_guard lock(lock_);
    if (OnThreadUpdate)
        OnThreadUpdate(Sender, Thread, Data, Percent);
    if (!OnUpdate)
        return;
    // A running member with a higher update priority has the group's update event to itself.
    for (const TBackgroundThreadBase* member : members_)
        if (member->Running() && member->UpdatePriority() > UpdatePriority)
            return;
    OnUpdate(Sender, Thread, Data, Percent);
}

void TBackgroundThreadGroup::AddMember(TBackgroundThreadBase* member) {
    std::lock_guard lock(lock_);
    members_.push_back(member);
}

void TBackgroundThreadGroup::RemoveMember(TBackgroundThreadBase* member) {
    std::lock_guard lock(lock_);
    members_.erase(std::remove(members_.begin(), members_.end(), member), members_.end());
}

void TBackgroundThreadGroup::CollectRunning(std::vector<RunningThread>& out) const {
    for (const TBackgroundThreadBase* member : Members())
        member->CollectRunning(out);
}

void TBackgroundThreadGroup::CollectThreads(std::vector<TBackgroundThread*>& out) const {
    for (const TBackgroundThreadBase* member : Members())
        member->CollectThreads(out);
}

} // namespace corvina::hosting
