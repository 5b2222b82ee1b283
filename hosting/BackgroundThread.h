// A piece of work on its own worker thread that reports to the main thread: a start event
// before the worker runs, the work on the worker, update events from a main-thread timer
// while it runs, and a terminate event on the main thread after it ended. Components can be
// gathered in groups that count their running members.
//
// Threads: every operation of the components (start, stop, the setters, group membership,
// destruction) belongs to the main thread, the one that runs the scheduler's closures. Only
// TBackgroundExecuteThread's own operations may be used from the worker. The scheduler must
// outlive every component that uses it, and a component is not destroyed from inside one of
// its own events.
#pragma once

#include "hosting/MainThreadScheduler.h"
#include "hosting/ThreadPriority.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvina::hosting {

class TBackgroundThreadBase;
class TBackgroundThread;
class TBackgroundThreadGroup;
class TBackgroundExecuteThread;

using TBackgroundThreadDataNotifyEvent = std::function<void(
    TBackgroundThreadBase* Sender, TBackgroundExecuteThread* Thread, void*& Data)>;
using TBackgroundThreadUpdateNotifyEvent = std::function<void(
    TBackgroundThreadBase* Sender, TBackgroundExecuteThread* Thread, void*& Data, int Percent)>;

// One run of a TBackgroundThread: the worker, its data and its progress. Suspension is
// cooperative: the work calls WaitWhileSuspended at points where it may pause.
class TBackgroundExecuteThread : public std::enable_shared_from_this<TBackgroundExecuteThread> {
public:
    TBackgroundExecuteThread(TBackgroundThread* owner, void* data, TThreadPriority priority);
    ~TBackgroundExecuteThread();
    TBackgroundExecuteThread(const TBackgroundExecuteThread&) = delete;
    TBackgroundExecuteThread& operator=(const TBackgroundExecuteThread&) = delete;

    TBackgroundThread* Owner() const { return owner_; }
    // The pointer given to Start. The events hand it on by reference; it is not guarded, so
    // work and handlers that share it agree among themselves when each may touch it.
    void*& Data() { return data_; }

    int Percent() const { return percent_; }
    void SetPercent(int percent) { percent_ = percent; }

    // The mark the work looks at to end early.
    void Terminate();
    bool Terminated() const { return terminated_; }

    void Suspend();
    void Resume();
    bool Suspended() const;
    // For the work: blocks while suspended and not terminated; returns !Terminated().
    bool WaitWhileSuspended();

    // The worker's kernel thread id; 0 before it runs.
    pid_t ThreadId() const;
    // What escaped OnExecute, if anything; read it after the run ended.
    std::exception_ptr FatalException() const { return fatal_; }

private:
    friend class TBackgroundThread;
    void Launch(std::function<void()> body);
    void SetPriority(TThreadPriority priority);
    void Join();

    TBackgroundThread* owner_;
    void* data_;
    std::atomic<int> percent_{0};
    std::atomic<bool> terminated_{false};
    std::exception_ptr fatal_; // written by the worker before its end notice is posted

    mutable std::mutex mutex_; // guards suspended_, threadId_, priority_
    std::condition_variable wake_;
    bool suspended_ = false;
    pid_t threadId_ = 0;
    TThreadPriority priority_;

    std::thread thread_; // started and joined on the main thread
};

// What threads and groups share: the events, the group link and the update priority.
class TBackgroundThreadBase {
public:
    TBackgroundThreadBase() = default;
    virtual ~TBackgroundThreadBase() = default;
    TBackgroundThreadBase(const TBackgroundThreadBase&) = delete;
    TBackgroundThreadBase& operator=(const TBackgroundThreadBase&) = delete;

    // Called on the main thread under this component's lock, when set.
    TBackgroundThreadUpdateNotifyEvent OnUpdate;
    TBackgroundThreadDataNotifyEvent OnStart;
    TBackgroundThreadDataNotifyEvent OnTerminate;

    TBackgroundThreadGroup* ThreadGroup() const { return group_; }
    // Leaves the old group, then joins the new one (none: stays outside). Joining a group
    // that is this component or lies below it in the chain of groups is refused: the result
    // is false and the component is left without a group.
    bool SetThreadGroup(TBackgroundThreadGroup* group);

    int UpdatePriority() const { return updatePriority_; }
    void SetUpdatePriority(int priority) { updatePriority_ = priority; }

    virtual bool Running() const = 0;
    void Start() { StartWith(nullptr); }
    virtual void StartWith(void* data) = 0;
    virtual void Stop() = 0;
    virtual void Suspend() = 0;
    virtual void Resume() = 0;

    // This component's own lock, for work that shares data with the events.
    std::unique_lock<std::recursive_mutex> Lock() const {
        return std::unique_lock<std::recursive_mutex>(lock_);
    }

protected:
    struct RunningThread {
        TBackgroundThread* component;
        TBackgroundExecuteThread* thread;
    };
    // The running threads in this component and below; a group counts one start for each.
    virtual void CollectRunning(std::vector<RunningThread>& out) const = 0;
    virtual void CollectThreads(std::vector<TBackgroundThread*>& out) const = 0;

    // Serialises this component's events (and, in a group, guards the member list and the
    // running count). Recursive: a handler may call back into the component.
    mutable std::recursive_mutex lock_;

private:
    friend class TBackgroundThreadGroup;
    TBackgroundThreadGroup* group_ = nullptr; // main thread only
    int updatePriority_ = 0;                  // main thread only
};

class TBackgroundThread : public TBackgroundThreadBase {
public:
    explicit TBackgroundThread(MainThreadScheduler& scheduler);
    // Stops a running worker and waits for it (its body is expected to watch the terminated
    // mark); the end notice then finds nothing to report to. Main thread only.
    ~TBackgroundThread() override;

    // Runs on the worker without the component's lock.
    TBackgroundThreadDataNotifyEvent OnExecute;

    int RefreshInterval() const { return refreshInterval_; }
    void SetRefreshInterval(int ms);
    TThreadPriority Priority() const { return priority_; }
    void SetPriority(TThreadPriority priority);
    bool UpdateEnabled() const { return updateEnabled_; }
    void SetUpdateEnabled(bool enabled);

    bool Running() const override { return thread_ != nullptr; }
    // The current run's thread; none when idle.
    TBackgroundExecuteThread* Thread() const { return thread_.get(); }
    // Whether the last run ended with its thread marked terminated.
    bool LastRunTerminated() const { return lastRunTerminated_; }
    // Whether the refresh timer is enabled now.
    bool TimerEnabled() const { return timerEnabled_; }

    // Starting a running component does nothing.
    void StartWith(void* data) override;
    void Stop() override;
    void Suspend() override;
    void Resume() override;

protected:
    void CollectRunning(std::vector<RunningThread>& out) const override;
    void CollectThreads(std::vector<TBackgroundThread*>& out) const override;

private:
    void TimerTick();
    void Execute(TBackgroundExecuteThread& thread, const TBackgroundThreadDataNotifyEvent& work,
                 std::weak_ptr<int> alive);
    void WorkerEnded(const std::shared_ptr<TBackgroundExecuteThread>& thread);
    void SetTimerEnabled(bool enabled);
    void ScheduleTick();

    MainThreadScheduler& scheduler_;
    // Posted closures hold a weak reference; it expires when the component goes away, so a
    // late end notice or timer tick touches nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    // Main thread only, like every field below except lastRunTerminated_.
    std::shared_ptr<TBackgroundExecuteThread> thread_;
    int refreshInterval_ = 100;
    TThreadPriority priority_ = TThreadPriority::tpNormal;
    bool updateEnabled_ = false;
    bool timerEnabled_ = false;
    MainThreadScheduler::TimerId timerId_ = MainThreadScheduler::kNoTimer;
    std::uint64_t timerGeneration_ = 0; // a tick of an older generation is stale

    std::atomic<bool> lastRunTerminated_{false}; // written by the worker
};

class TBackgroundThreadGroup : public TBackgroundThreadBase {
public:
    TBackgroundThreadGroup() = default;
    // Detaches every thread of the thread list (those of subgroups too) from its group, then
    // every remaining direct member, then leaves its own group.
    ~TBackgroundThreadGroup() override;

    // Called under the group's lock, when set, with the reporting thread component as Sender.
    TBackgroundThreadUpdateNotifyEvent OnThreadUpdate;
    TBackgroundThreadDataNotifyEvent OnThreadStart;
    TBackgroundThreadDataNotifyEvent OnThreadTerminate;

    int RunningCount() const;
    bool Running() const override { return RunningCount() > 0; }

    // Applied to every direct member in order.
    void StartWith(void* data) override;
    void Stop() override;
    void Suspend() override;
    void Resume() override;

    std::vector<TBackgroundThreadBase*> Members() const;
    // Every member thread, those of subgroups included.
    std::vector<TBackgroundThread*> Threads() const;

    // Notices from members (and from subgroups, passed up).
    void NotifyStarted(TBackgroundThreadBase* Sender, TBackgroundExecuteThread* Thread,
                       void*& Data);
    void NotifyTerminated(TBackgroundThreadBase* Sender, TBackgroundExecuteThread* Thread,
                          void*& Data);
    void NotifyUpdate(TBackgroundThreadBase* Sender, TBackgroundExecuteThread* Thread, void*& Data,
                      int Percent, int UpdatePriority);

protected:
    void CollectRunning(std::vector<RunningThread>& out) const override;
    void CollectThreads(std::vector<TBackgroundThread*>& out) const override;

private:
    friend class TBackgroundThreadBase;
    void AddMember(TBackgroundThreadBase* member);
    void RemoveMember(TBackgroundThreadBase* member);

    // Guarded by lock_.
    std::vector<TBackgroundThreadBase*> members_;
    int runningCount_ = 0;
};

} // namespace corvina::hosting
