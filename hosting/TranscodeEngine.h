// The engine component as the rest of the program sees it: an ordered list of conversion
// tasks built from option records, started one after another or several at once on worker
// threads, reporting through five events; and the media probe it owns.
//
// Nothing here names an engine or library type, so the workflow core, the profiles and any
// window compile without the libraries' headers. The component itself lives behind this
// facade (EngineComponent.h, hosting only).
//
// Threads. Every operation belongs to the main thread. OnProgress, OnLog and OnTerminate run
// on the thread that produced them (a task's worker, mostly) inside the component's lock, so
// no two of them run at once; OnBeforeHook and OnCustomHook run on the worker without it. A
// handler that needs the main thread posts there itself, and never frees tasks or makes the
// libraries work from inside an event.
#pragma once

#include "hosting/EngineEvents.h"
#include "hosting/MainThreadScheduler.h"
#include "hosting/MediaProbe.h"
#include "hosting/TranscodeOptions.h"

#include <memory>
#include <string>

namespace corvina::hosting {

class TCustomTranscodeEngine;

class TTranscodeEngine {
public:
    // The scheduler times the tasks of thread count 0 on the main thread; without one, a
    // thread count of 0 or less runs as 1.
    explicit TTranscodeEngine(MainThreadScheduler* scheduler = nullptr);
    // Stops every task and waits for its worker.
    ~TTranscodeEngine();
    TTranscodeEngine(const TTranscodeEngine&) = delete;
    TTranscodeEngine& operator=(const TTranscodeEngine&) = delete;

    void SetScheduler(MainThreadScheduler* scheduler);

    // Loads and binds the libraries, then routes their log lines into the components at
    // LogLevel. False with LastError on failure.
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

    const std::string& LastError() const;
    int TaskCount() const;
    TMediaProbe& Probe();

    TLogLevel LogLevel() const;
    void SetLogLevel(TLogLevel level);
    // Threads per decoder and encoder of the tasks added from now on (1 to 16; 1 by default).
    int ThreadCount() const;
    void SetThreadCount(int count);
    int ProgressInterval() const; // milliseconds
    void SetProgressInterval(int ms);
    TConvertPriority ThreadPriority() const;
    void SetThreadPriority(TConvertPriority priority);
    static const char* Version() { return "2.0"; }

    // The component behind the facade, for hosting's own code and tests.
    TCustomTranscodeEngine& Component() { return *component_; }

private:
    std::unique_ptr<TCustomTranscodeEngine> component_;

public:
    // The component's event slots (declared after it: they are its own).
    TEventSlot<TBeforeHookEvent>& OnBeforeHook;
    TEventSlot<TCustomHookEvent>& OnCustomHook;
    TEventSlot<TLogEvent>& OnLog;
    TEventSlot<TProgressEvent>& OnProgress;
    TEventSlot<TTerminateEvent>& OnTerminate;
};

// The folder of the running program, with a trailing separator.
std::string ProgramFolder();

// One bound library as --version lists it.
struct LibraryVersion {
    std::string Name;
    std::string Version;
};
// Binds the libraries (from `folder` first) without a component; false with the loader's
// text in `error`.
bool BindLibraries(const std::string& folder, std::string& error);
// The bound libraries in binding order with their run-time versions.
std::vector<LibraryVersion> BoundLibraryVersions();

} // namespace corvina::hosting
