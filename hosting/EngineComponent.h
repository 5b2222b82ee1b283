// Inside the engine component (hosting only; the rest of the program uses the facade of
// TranscodeEngine.h, which carries no engine type). The component: an ordered list of
// conversion tasks built from option records, started one after another or several at once
// on worker threads, reporting through five events.
//
// Threads. Every operation of the component belongs to the main thread. OnProgress, OnLog
// and OnTerminate run on the thread that produced them (a task's worker, the main thread in
// timer mode, the short-lived thread that reports a never-started task's end) inside the
// component's lock, so no two of them run at once for one component. OnBeforeHook and
// OnCustomHook run on the worker without that lock. Nothing is handed to the main thread
// here: a handler that needs it posts there itself. Handlers must not call the component's
// operations that free tasks (ClearTasks, RemoveTask) nor make the libraries work (AddTask,
// the probe): post those to the main thread.
//
// Locks, in the order they are taken: the ComponentRegistry lock (LogRouter.h), then the
// component lock (mutex_ below). A component lock is never held while waiting for a worker.
#pragma once

#include "engine/Transcoder.h"
#include "hosting/EngineEvents.h"
#include "hosting/MainThreadScheduler.h"
#include "hosting/MediaProbe.h"
#include "hosting/ThreadPriority.h"
#include "hosting/TranscodeOptions.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvina::hosting {

// The libraries' classic level of a TLogLevel (llQuiet -1 .. llAll 3) and back (below 0
// llQuiet, 0 to 3 the level plus one, 4 and above llAll).
int LibraryLevel(TLogLevel level);
TLogLevel LogLevelOfLibraryLevel(int level);

// "start-end, ..." in milliseconds -> (start, end) pairs in microseconds; a part that is no
// number reads -1; pairs with end < start or end < 0 are dropped.
std::vector<std::pair<int64_t, int64_t>> ParseHookRanges(const std::string& text);
// Seconds since 1970 of a local date-time in days since 30 December 1899. The offset from
// UTC is the one in effect at that local time.
int64_t UnixTimeOfLocalDays(double days);

class TCustomTranscodeEngine;

// One task: the engine core with its place in the list, the thread that runs it and the
// option records it was built from. Destroying a task stops it and waits for its worker.
class TTranscoder : public engine::TCustomTranscoder {
public:
    TTranscoder();
    ~TTranscoder() override;

    int Index = -1; // position in the task list; guarded by the owning component's lock
    // The thread that runs the task; a default id when none does (before the start, after
    // the end). Written by that thread or the component, read by the log router.
    std::atomic<std::thread::id> ThreadID{};
    TInputOptions InputOptions;   // written by the main thread before the start
    TOutputOptions OutputOptions; // likewise

private:
    friend class TCustomTranscodeEngine;
    // All three guarded by the owning component's lock.
    bool launched_ = false;  // started, or stopped before it could start
    bool detached_ = false;  // removed from the list: its events no longer reach anyone
    bool hasWorker_ = false; // runs on a thread of its own (Pause applies)
};

// The ordered owned tasks. Every task's Index equals its position.
class TTranscoderList {
public:
    int Add(std::unique_ptr<TTranscoder> task);
    // Removes task `index` and hands it back (renumbering the following ones), so that the
    // caller can free it outside its lock.
    std::unique_ptr<TTranscoder> Take(int index);
    std::vector<std::unique_ptr<TTranscoder>> TakeAll();
    void Delete(int index) { Take(index); }
    void Clear() { TakeAll(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TTranscoder* Items(int index) const;
    TTranscoder* FindByThreadID(std::thread::id id) const;

private:
    std::vector<std::unique_ptr<TTranscoder>> items_;
};

class TCustomTranscodeEngine {
public:
    // The scheduler times the tasks of thread count 0 on the main thread; without one,
    // a thread count of 0 or less runs as 1.
    explicit TCustomTranscodeEngine(MainThreadScheduler* scheduler = nullptr);
    virtual ~TCustomTranscodeEngine();
    TCustomTranscodeEngine(const TCustomTranscodeEngine&) = delete;
    TCustomTranscodeEngine& operator=(const TCustomTranscodeEngine&) = delete;

    void SetScheduler(MainThreadScheduler* scheduler);

    std::string About; // no effect

    // Loads and binds the libraries, then routes their log lines into this family of
    // components at LogLevel. False with LastError on failure.
    bool LoadLibraries(const std::string& folder, bool versioned);

    void ClearTasks();
    // The new task's index, or -1 with LastError. `options` may be null (defaults).
    int AddTask(const std::string& fileName, const TInputOptions* options = nullptr);
    bool SetOutputFile(int index, const std::string& fileName,
                       const TOutputOptions* options = nullptr);
    // Frees that task and renumbers the following ones. Meant for tasks not started.
    void RemoveTask(int index);

    void Start(int threadCount);
    void Stop();
    void Pause();
    void Resume();

    // Main thread only.
    const std::string& LastError() const { return lastError_; }
    int TaskCount() const;
    // The task at `index`, or null; valid until it is removed.
    TTranscoder* Task(int index) const;
    TMediaProbe& Probe() { return probe_; }

    TLogLevel LogLevel() const;
    void SetLogLevel(TLogLevel level);
    // Threads per decoder and encoder of the tasks added from now on (1: one each).
    int ThreadCount() const;
    void SetThreadCount(int count);
    int ProgressInterval() const; // milliseconds
    void SetProgressInterval(int ms);
    TConvertPriority ThreadPriority() const;
    void SetThreadPriority(TConvertPriority priority);
    static const char* Version() { return "2.0"; }

    TEventSlot<TBeforeHookEvent> OnBeforeHook{mutex_};
    TEventSlot<TCustomHookEvent> OnCustomHook{mutex_};
    TEventSlot<TLogEvent> OnLog{mutex_};
    TEventSlot<TProgressEvent> OnProgress{mutex_};
    TEventSlot<TTerminateEvent> OnTerminate{mutex_};

    // For LogRouter (holding the registry lock): one finished library line from the thread
    // `thread`, to the task that runs there or to no task.
    void RouteLibraryLine(std::thread::id thread, int level, const std::string& text);

protected:
    // The core's callbacks land here.
    virtual void DoBeforeHook(TTranscoder* task, int64_t pts, THookAction& action);
    virtual void DoCustomHook(TTranscoder* task, TBitmap* bitmap, int frameNumber, int64_t pts,
                              bool& update, bool& stopHook);
    virtual void DoLog(TTranscoder* task, int level, const std::string& text);
    virtual void DoProgress(TTranscoder* task, const engine::ProgressInfo& info);
    virtual void DoTerminate(TTranscoder* task);

    // Leaves the registry, stops every task and waits for them. A class that overrides the
    // Do* operations calls it first in its destructor, so that no worker calls into a
    // half-destroyed object. Idempotent.
    void Shutdown();

private:
    void InstallCallbacks(TTranscoder* task);
    void ApplyInputOptions(TTranscoder& task, const TInputOptions& o);
    void ApplyOutputOptions(TTranscoder& task, const TOutputOptions& o);
    void StartNextTask();
    void StartTask(int index);
    void FireAllDone();

    // The component lock: serialises the events and guards everything below it, the tasks'
    // Index and launch flags included.
    mutable std::recursive_mutex mutex_;
    MainThreadScheduler* scheduler_ = nullptr;
    int nextTask_ = -1;
    int threadCount_ = 0;
    TLogLevel logLevel_ = TLogLevel::llInfo;
    int progressInterval_ = 500;
    int codecThreads_ = 1;
    TConvertPriority priority_ = TThreadPriority::tpNormal;
    TTranscoderList tasks_;
    int terminatedCount_ = 0;
    int pendingCount_ = 0;
    std::vector<MainThreadScheduler::TimerId> timers_; // timer-mode starts not yet run
    bool shutDown_ = false;

    std::string lastError_; // main thread only
    TMediaProbe probe_;     // main thread only
    bool registered_ = false;
};

// The component with its own lifetime: the facade of TranscodeEngine.h holds one, and
// the component's tests use it to reach the tasks.
class TEngineComponent final : public TCustomTranscodeEngine {
public:
    using TCustomTranscodeEngine::TCustomTranscodeEngine;
    ~TEngineComponent() override { Shutdown(); }
};

} // namespace corvina::hosting
