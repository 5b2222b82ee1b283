#include "hosting/BackgroundThread.h"
#include "tests/support/ManualScheduler.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <cerrno>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace corvina::hosting {
namespace {

using test::ManualScheduler;

// A one-way gate the worker waits at until the test thread opens it.
class Gate {
public:
    void Open() {
        {
            std::lock_guard lock(m_);
            open_ = true;
        }
        cv_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [this] { return open_; });
    }
    // Waits until opened or the thread is marked terminated.
    void WaitOrTerminated(TBackgroundExecuteThread& t) {
        std::unique_lock lock(m_);
        while (!open_ && !t.Terminated())
            cv_.wait_for(lock, std::chrono::milliseconds(5));
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

// Events seen, with the thread they ran on; written from several threads.
class Journal {
public:
    void Add(const std::string& what) {
        std::lock_guard lock(m_);
        entries_.push_back({what, std::this_thread::get_id()});
    }
    std::vector<std::string> Names() const {
        std::lock_guard lock(m_);
        std::vector<std::string> out;
        for (const auto& e : entries_)
            out.push_back(e.what);
        return out;
    }
    std::thread::id ThreadOf(const std::string& what) const {
        std::lock_guard lock(m_);
        for (const auto& e : entries_)
            if (e.what == what)
                return e.thread;
        return {};
    }
    int Count(const std::string& what) const {
        std::lock_guard lock(m_);
        int n = 0;
        for (const auto& e : entries_)
            n += e.what == what;
        return n;
    }

private:
    struct Entry {
        std::string what;
        std::thread::id thread;
    };
    mutable std::mutex m_;
    std::vector<Entry> entries_;
};

// Records a component's thread-level events under a name prefix.
void Record(TBackgroundThread& bt, Journal& j, const std::string& name) {
    bt.OnStart = [&j, name](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        j.Add(name + ".start");
    };
    bt.OnTerminate = [&j, name](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        j.Add(name + ".terminate");
    };
    bt.OnUpdate = [&j, name](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&, int) {
        j.Add(name + ".update");
    };
}

TEST(BackgroundThread, RunsStartExecuteTerminateInOrderOnTheirThreads) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    Journal j;
    int input = 1, output = 2;
    void* startData = nullptr;
    void* terminateData = nullptr;
    bool runningInStart = false, runningInTerminate = true;
    Gate executed;

    bt.OnStart = [&](TBackgroundThreadBase* sender, TBackgroundExecuteThread* t, void*& data) {
        EXPECT_EQ(sender, &bt);
        EXPECT_EQ(t, bt.Thread());
        runningInStart = bt.Running();
        startData = data;
        j.Add("start");
    };
    bt.OnExecute = [&](TBackgroundThreadBase* sender, TBackgroundExecuteThread* t, void*& data) {
        EXPECT_EQ(sender, &bt);
        EXPECT_EQ(t->Owner(), &bt);
        EXPECT_EQ(data, &input);
        data = &output; // handed on by reference to the terminate event
        j.Add("execute");
        executed.Open();
    };
    bt.OnTerminate = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*& data) {
        runningInTerminate = bt.Running();
        terminateData = data;
        j.Add("terminate");
    };

    bt.StartWith(&input);
    EXPECT_TRUE(bt.Running());
    executed.Wait();
    // The end notice waits for the main thread.
    EXPECT_EQ(j.Count("terminate"), 0);
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("terminate") == 1; }));

    EXPECT_EQ(j.Names(), (std::vector<std::string>{"start", "execute", "terminate"}));
    const auto main = std::this_thread::get_id();
    EXPECT_EQ(j.ThreadOf("start"), main);
    EXPECT_NE(j.ThreadOf("execute"), main);
    EXPECT_EQ(j.ThreadOf("terminate"), main);
    EXPECT_TRUE(runningInStart);
    EXPECT_FALSE(runningInTerminate); // the thread is forgotten before the event
    EXPECT_EQ(startData, &input);
    EXPECT_EQ(terminateData, &output);
    EXPECT_FALSE(bt.Running());
    EXPECT_FALSE(bt.LastRunTerminated());
}

TEST(BackgroundThread, UpdatesComeFromTheTimerOnlyWhileRunning) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    bt.SetUpdateEnabled(true);
    bt.SetRefreshInterval(100);
    Journal j;
    Record(bt, j, "bt");
    std::vector<int> percents;
    bt.OnUpdate = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&, int percent) {
        percents.push_back(percent);
        j.Add("bt.update");
    };
    Gate ready, release;
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread* t, void*&) {
        t->SetPercent(42);
        ready.Open();
        release.Wait();
    };

    bt.Start();
    ready.Wait();
    sched.Advance(99);
    EXPECT_TRUE(percents.empty());
    sched.Advance(251); // ticks at 100, 200 and 300
    EXPECT_EQ(percents, (std::vector<int>{42, 42, 42}));
    EXPECT_EQ(j.ThreadOf("bt.update"), std::this_thread::get_id());

    release.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return !bt.Running(); }));
    // The timer runs on with UpdateEnabled, but without a thread nothing is reported.
    EXPECT_TRUE(bt.TimerEnabled());
    sched.Advance(1000);
    EXPECT_EQ(percents.size(), 3u);

    bt.SetUpdateEnabled(false);
    EXPECT_FALSE(bt.TimerEnabled());
    EXPECT_EQ(sched.DelayedCount(), 0u);
}

TEST(BackgroundThread, NoUpdateEverWithUpdatesDisabled) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    Journal j;
    Record(bt, j, "bt");
    Gate ready, release;
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        ready.Open();
        release.Wait();
    };
    bt.Start();
    ready.Wait();
    sched.Advance(5000);
    EXPECT_EQ(sched.DelayedCount(), 0u);
    release.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("bt.terminate") == 1; }));
    sched.Advance(5000);
    EXPECT_EQ(j.Count("bt.update"), 0);
}

TEST(BackgroundThread, StartingTwiceRunsOneWorkerAndItCanRunAgainLater) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    Journal j;
    Record(bt, j, "bt");
    auto release = std::make_unique<Gate>();
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        j.Add("bt.execute");
        release->Wait();
    };
    bt.Start();
    TBackgroundExecuteThread* first = bt.Thread();
    bt.Start();
    EXPECT_EQ(bt.Thread(), first);
    release->Open();
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("bt.terminate") == 1; }));
    EXPECT_EQ(j.Count("bt.start"), 1);
    EXPECT_EQ(j.Count("bt.execute"), 1);

    bt.Start(); // idle again: a new run
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("bt.terminate") == 2; }));
    EXPECT_EQ(j.Count("bt.start"), 2);
    EXPECT_EQ(j.Count("bt.execute"), 2);
}

TEST(BackgroundThread, StopResumesAndMarksTheRunTerminated) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    Journal j;
    Record(bt, j, "bt");
    Gate suspendedSeen;
    bool keptWorking = true;
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread* t, void*&) {
        // Work that pauses where it may: it sits here until resumed or stopped.
        while (!t->Suspended())
            std::this_thread::yield();
        suspendedSeen.Open();
        keptWorking = t->WaitWhileSuspended();
    };
    bt.Start();
    bt.Suspend();
    suspendedSeen.Wait();
    bt.Stop();
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("bt.terminate") == 1; }));
    EXPECT_FALSE(keptWorking);
    EXPECT_TRUE(bt.LastRunTerminated());

    // Stop while idle does nothing; the next run starts unmarked.
    bt.Stop();
    bt.OnExecute = nullptr;
    bt.Start();
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("bt.terminate") == 2; }));
    EXPECT_FALSE(bt.LastRunTerminated());
}

TEST(BackgroundThread, StopFromOnStartIsSeenByTheWork) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    bool terminatedAtWork = false;
    bool ended = false;
    bt.OnStart = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) { bt.Stop(); };
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread* t, void*&) {
        terminatedAtWork = t->Terminated();
    };
    bt.OnTerminate = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        ended = true;
    };
    bt.Start();
    ASSERT_TRUE(sched.RunUntil([&] { return ended; }));
    EXPECT_TRUE(terminatedAtWork);
    EXPECT_TRUE(bt.LastRunTerminated());
}

TEST(BackgroundThread, AnErrorInTheWorkEndsTheRunAndIsKeptWithTheThread) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    std::exception_ptr kept;
    bool ended = false;
    bt.OnExecute = [](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        throw std::runtime_error("work failed");
    };
    bt.OnTerminate = [&](TBackgroundThreadBase*, TBackgroundExecuteThread* t, void*&) {
        kept = t->FatalException();
        ended = true;
    };
    bt.Start();
    ASSERT_TRUE(sched.RunUntil([&] { return ended; }));
    ASSERT_TRUE(kept);
    try {
        std::rethrow_exception(kept);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "work failed");
    }
}

TEST(BackgroundThread, AnErrorInOnStartLeavesItIdle) {
    ManualScheduler sched;
    TBackgroundThreadGroup group;
    TBackgroundThread bt(sched);
    bt.SetThreadGroup(&group);
    bool executed = false;
    bt.OnStart = [](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        throw std::runtime_error("refused");
    };
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        executed = true;
    };
    EXPECT_THROW(bt.Start(), std::runtime_error);
    EXPECT_FALSE(bt.Running());
    EXPECT_EQ(group.RunningCount(), 0);
    sched.RunPending();
    EXPECT_FALSE(executed);
}

int NiceOf(pid_t tid) {
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
}

TEST(BackgroundThread, WorkerRunsAtTheComponentsPriority) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    bt.SetPriority(TThreadPriority::tpIdle);
    int niceAtStart = -100;
    Gate ready, release;
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread* t, void*&) {
        niceAtStart = NiceOf(t->ThreadId());
        ready.Open();
        release.Wait();
    };
    const int mainNice = NiceOf(CurrentThreadId());
    bt.Start();
    ready.Wait();
    EXPECT_EQ(niceAtStart, 19);
    EXPECT_NE(bt.Thread()->ThreadId(), CurrentThreadId());
    EXPECT_EQ(NiceOf(CurrentThreadId()), mainNice); // only the worker changed
    release.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return !bt.Running(); }));
}

TEST(BackgroundThread, SettingThePriorityAppliesToTheRunningWorker) {
    ManualScheduler sched;
    TBackgroundThread bt(sched);
    Gate ready, release;
    bt.OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        ready.Open();
        release.Wait();
    };
    bt.Start();
    ready.Wait();
    bt.SetPriority(TThreadPriority::tpLowest);
    EXPECT_EQ(bt.Priority(), TThreadPriority::tpLowest);
    EXPECT_EQ(NiceOf(bt.Thread()->ThreadId()), NiceValue(TThreadPriority::tpLowest));
    release.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return !bt.Running(); }));
}

TEST(BackgroundThread, DestructionWhileRunningWaitsForTheWorker) {
    ManualScheduler sched;
    TBackgroundThreadGroup group;
    int groupTerminates = 0;
    group.OnTerminate = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        ++groupTerminates;
    };
    std::atomic<bool> workDone{false};
    bool terminateEvent = false;
    Gate ready;
    {
        auto bt = std::make_unique<TBackgroundThread>(sched);
        bt->SetThreadGroup(&group);
        bt->SetUpdateEnabled(true);
        bt->OnExecute = [&](TBackgroundThreadBase*, TBackgroundExecuteThread* t, void*&) {
            ready.Open();
            while (!t->Terminated())
                std::this_thread::yield();
            workDone = true;
        };
        bt->OnTerminate = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
            terminateEvent = true;
        };
        bt->Start();
        ready.Wait();
        EXPECT_EQ(group.RunningCount(), 1);
        bt.reset();
    }
    EXPECT_TRUE(workDone); // the worker had ended before the component was gone
    // The group saw the member end; its own terminate event was not lost.
    EXPECT_EQ(group.RunningCount(), 0);
    EXPECT_EQ(groupTerminates, 1);
    EXPECT_TRUE(group.Members().empty());
    // The late end notice and any timer tick find nothing to report to.
    sched.RunPending();
    sched.Advance(1000);
    EXPECT_FALSE(terminateEvent);
}

// --- groups ---

// A component whose worker waits until its gate opens or it is stopped.
struct Member {
    explicit Member(ManualScheduler& s) : bt(s) {
        bt.OnExecute = [this](TBackgroundThreadBase*, TBackgroundExecuteThread* t, void*&) {
            gate.WaitOrTerminated(*t);
        };
    }
    Gate gate; // before bt: it outlives the worker that waits at it
    TBackgroundThread bt;
};

void RecordGroup(TBackgroundThreadGroup& g, Journal& j, const std::string& name) {
    g.OnStart = [&j, name](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        j.Add(name + ".start");
    };
    g.OnTerminate = [&j, name](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        j.Add(name + ".terminate");
    };
    g.OnThreadStart = [&j, name](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        j.Add(name + ".threadstart");
    };
    g.OnThreadTerminate = [&j, name](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*&) {
        j.Add(name + ".threadterminate");
    };
}

TEST(BackgroundThreadGroup, StartsOnceForTheFirstAndTerminatesOnceAfterTheLast) {
    ManualScheduler sched;
    TBackgroundThreadGroup group;
    Journal j;
    RecordGroup(group, j, "g");
    Member a(sched), b(sched);
    Record(a.bt, j, "a");
    Record(b.bt, j, "b");
    a.bt.SetThreadGroup(&group);
    b.bt.SetThreadGroup(&group);
    EXPECT_FALSE(group.Running());

    a.bt.Start();
    b.bt.Start();
    EXPECT_EQ(group.RunningCount(), 2);
    EXPECT_TRUE(group.Running());
    // The group hears of a member's start before the member's own start event.
    EXPECT_EQ(j.Names(), (std::vector<std::string>{"g.threadstart", "g.start", "a.start",
                                                   "g.threadstart", "b.start"}));

    a.gate.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("a.terminate") == 1; }));
    EXPECT_EQ(group.RunningCount(), 1);
    EXPECT_EQ(j.Count("g.terminate"), 0);

    b.gate.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return j.Count("b.terminate") == 1; }));
    EXPECT_EQ(group.RunningCount(), 0);
    EXPECT_EQ(j.Count("g.start"), 1);
    EXPECT_EQ(j.Count("g.threadterminate"), 2);
    EXPECT_EQ(j.Count("g.terminate"), 1);
    // The group's terminate comes before the member's own terminate event.
    const auto names = j.Names();
    EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
              (std::vector<std::string>{"g.threadterminate", "g.terminate", "b.terminate"}));
}

TEST(BackgroundThreadGroup, OperationsApplyToEveryMember) {
    ManualScheduler sched;
    TBackgroundThreadGroup group, sub;
    Member a(sched), b(sched);
    a.bt.SetThreadGroup(&group);
    sub.SetThreadGroup(&group);
    b.bt.SetThreadGroup(&sub);
    int data = 7;
    void* seen = nullptr;
    b.bt.OnStart = [&](TBackgroundThreadBase*, TBackgroundExecuteThread*, void*& d) { seen = d; };

    group.StartWith(&data);
    EXPECT_TRUE(a.bt.Running());
    EXPECT_TRUE(b.bt.Running());
    EXPECT_EQ(seen, &data);
    EXPECT_EQ(group.RunningCount(), 2); // the subgroup's thread counts in the parent too
    EXPECT_EQ(sub.RunningCount(), 1);

    group.Suspend();
    EXPECT_TRUE(a.bt.Thread()->Suspended());
    EXPECT_TRUE(b.bt.Thread()->Suspended());
    group.Resume();
    EXPECT_FALSE(a.bt.Thread()->Suspended());

    group.Stop();
    ASSERT_TRUE(sched.RunUntil([&] { return !group.Running(); }));
    EXPECT_TRUE(a.bt.LastRunTerminated());
    EXPECT_TRUE(b.bt.LastRunTerminated());
    EXPECT_EQ(sub.RunningCount(), 0);
}

TEST(BackgroundThreadGroup, JoiningOrLeavingWhileRunningCountsAsStartOrEnd) {
    ManualScheduler sched;
    TBackgroundThreadGroup group;
    Journal j;
    RecordGroup(group, j, "g");
    Member a(sched);
    a.bt.Start();
    a.bt.SetThreadGroup(&group);
    EXPECT_EQ(group.RunningCount(), 1);
    EXPECT_EQ(j.Count("g.start"), 1);
    a.bt.SetThreadGroup(nullptr);
    EXPECT_EQ(group.RunningCount(), 0);
    EXPECT_EQ(j.Count("g.terminate"), 1);
    EXPECT_TRUE(group.Members().empty());

    // A subgroup with a running thread carries that run into its new parent.
    TBackgroundThreadGroup parent, sub;
    a.bt.SetThreadGroup(&sub);
    sub.SetThreadGroup(&parent);
    EXPECT_EQ(parent.RunningCount(), 1);
    a.gate.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return !a.bt.Running(); }));
    EXPECT_EQ(parent.RunningCount(), 0);
    EXPECT_EQ(sub.RunningCount(), 0);
}

TEST(BackgroundThreadGroup, RefusesCyclesAndIsLeftWithoutAGroup) {
    ManualScheduler sched;
    TBackgroundThreadGroup top, middle, bottom, other;
    middle.SetThreadGroup(&top);
    bottom.SetThreadGroup(&middle);

    EXPECT_FALSE(top.SetThreadGroup(&top));
    EXPECT_EQ(top.ThreadGroup(), nullptr);

    // A group in another group tries to join its own grandchild: it leaves the old group
    // first, is refused, and stays outside.
    EXPECT_TRUE(top.SetThreadGroup(&other));
    EXPECT_FALSE(top.SetThreadGroup(&bottom));
    EXPECT_EQ(top.ThreadGroup(), nullptr);
    EXPECT_TRUE(other.Members().empty());
    EXPECT_TRUE(bottom.Members().empty());

    EXPECT_FALSE(middle.SetThreadGroup(&bottom));
    EXPECT_EQ(middle.ThreadGroup(), nullptr);

    // Joining a sibling chain is fine.
    EXPECT_TRUE(other.SetThreadGroup(&bottom));
    EXPECT_EQ(other.ThreadGroup(), &bottom);
}

TEST(BackgroundThreadGroup, NestedGroupsPassStartAndEndUpwards) {
    ManualScheduler sched;
    TBackgroundThreadGroup parent, sub;
    Journal j;
    RecordGroup(parent, j, "p");
    RecordGroup(sub, j, "s");
    sub.SetThreadGroup(&parent);
    Member a(sched);
    a.bt.SetThreadGroup(&sub);
    a.bt.Start();
    EXPECT_EQ(j.Names(),
              (std::vector<std::string>{"s.threadstart", "p.threadstart", "p.start", "s.start"}));
    a.gate.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return !a.bt.Running(); }));
    EXPECT_EQ(j.Count("p.terminate"), 1);
    EXPECT_EQ(j.Count("s.terminate"), 1);
    EXPECT_EQ(parent.Threads(), (std::vector<TBackgroundThread*>{&a.bt}));
}

TEST(BackgroundThreadGroup, UpdateGoesToTheMemberWithTheHighestUpdatePriority) {
    ManualScheduler sched;
    TBackgroundThreadGroup group;
    Member low(sched), high(sched);
    low.bt.SetUpdatePriority(1);
    high.bt.SetUpdatePriority(2);
    for (Member* m : {&low, &high}) {
        m->bt.SetThreadGroup(&group);
        m->bt.SetUpdateEnabled(true);
    }
    std::vector<TBackgroundThreadBase*> threadUpdates, groupUpdates;
    group.OnThreadUpdate = [&](TBackgroundThreadBase* s, TBackgroundExecuteThread*, void*&, int) {
        threadUpdates.push_back(s);
    };
    group.OnUpdate = [&](TBackgroundThreadBase* s, TBackgroundExecuteThread*, void*&, int) {
        groupUpdates.push_back(s);
    };
    low.bt.Start();
    high.bt.Start();
    sched.Advance(100);
    EXPECT_EQ(threadUpdates.size(), 2u);
    EXPECT_EQ(groupUpdates, (std::vector<TBackgroundThreadBase*>{&high.bt}));

    // Once the high one has ended, the low one reports to the group.
    high.gate.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return !high.bt.Running(); }));
    groupUpdates.clear();
    sched.Advance(100);
    EXPECT_EQ(groupUpdates, (std::vector<TBackgroundThreadBase*>{&low.bt}));
    low.gate.Open();
    ASSERT_TRUE(sched.RunUntil([&] { return !low.bt.Running(); }));
}

TEST(BackgroundThreadGroup, DestructionDetachesEveryThreadAndMember) {
    ManualScheduler sched;
    Member a(sched), b(sched);
    TBackgroundThreadGroup sub, outer;
    {
        TBackgroundThreadGroup group;
        group.SetThreadGroup(&outer);
        a.bt.SetThreadGroup(&group);
        sub.SetThreadGroup(&group);
        b.bt.SetThreadGroup(&sub);
        EXPECT_EQ(group.Threads(), (std::vector<TBackgroundThread*>{&a.bt, &b.bt}));
    }
    EXPECT_EQ(a.bt.ThreadGroup(), nullptr);
    EXPECT_EQ(b.bt.ThreadGroup(), nullptr); // threads of subgroups too
    EXPECT_EQ(sub.ThreadGroup(), nullptr);
    EXPECT_TRUE(sub.Members().empty());
    EXPECT_TRUE(outer.Members().empty());
}

} // namespace
} // namespace corvina::hosting
