// Routing of the libraries' log lines into the engine components' OnLog events.
//
// The libraries may log from any thread. Each thread's text is gathered until a line feed
// ends a line; every finished line goes to every live component, carrying the index of the
// task that runs on the logging thread (or -1).
//
// Levels. The libraries of this generation log with AV_LOG_* values; the components, the
// engine core and the cached threshold speak the classic scale -1 (quiet) .. 3 (all):
//
//   AV_LOG_QUIET (-8)                    dropped: such a message is meant never to show
//   AV_LOG_PANIC, AV_LOG_FATAL, AV_LOG_ERROR     0 (error)
//   AV_LOG_WARNING, AV_LOG_INFO                  1 (information and warnings)
//   AV_LOG_VERBOSE, AV_LOG_DEBUG                 2 (debug)
//   AV_LOG_TRACE and above                       3 (all)
//
// A message passes when its classic level is not above binding::CachedLogLevel(), which
// the component keeps at LogLevel - 1; so llError shows errors only, llInfo adds warnings
// and information, llDebug adds verbose and debug output, llAll everything, llQuiet nothing.
//
// Lock order: the ComponentRegistry lock first, then a component's own lock.
#pragma once

#include <cstdarg>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvina::hosting {

class TCustomTranscodeEngine;

// The classic level (0 .. 3) of a library message level, or kDropLevel for AV_LOG_QUIET.
int ClassicLogLevel(int avLevel);
inline constexpr int kDropLevel = -100;

// One thread's unfinished log line.
struct TLogItem {
    std::thread::id ThreadID; // default id: the item is free
    std::string Pending;
    std::unique_ptr<TLogItem> Next;
};

// Thread id -> that thread's unfinished line. The first item is embedded, further ones are
// chained from it. No lock of its own: the one instance lives in ComponentRegistry and is
// only touched under the registry's lock.
class TLogList {
public:
    TLogItem& FindOrAdd(std::thread::id id);
    void Clear();

private:
    TLogItem first_;
};

// The process-wide list of live components and the pending log lines.
class ComponentRegistry {
public:
    static ComponentRegistry& Instance();

    void Add(TCustomTranscodeEngine* component);
    void Remove(TCustomTranscodeEngine* component);
    // Clears PendingLog (takes the lock).
    void ClearPendingLog();

    // Recursive: a component's OnLog handler may itself make the libraries log.
    std::recursive_mutex& Mutex() { return mutex_; }
    // Both only under Mutex().
    TLogList& PendingLog() { return pendingLog_; }
    const std::vector<TCustomTranscodeEngine*>& Components() const { return components_; }

private:
    std::recursive_mutex mutex_; // guards components_ and pendingLog_
    std::vector<TCustomTranscodeEngine*> components_;
    TLogList pendingLog_;
};

// The libraries' log callback (installed by TCustomTranscodeEngine::LoadLibraries).
//
// The context prefix of a line is "[" + the class's item name + " @ " + the class record's
// address + "]"; the address is printed as its low 32 bits in 8 upper-case hexadecimal
// digits, so the prefix keeps one width on 64-bit systems.
//
// A line is at most 2047 bytes (the pending text included); longer text is cut, and a cut
// line goes out at once instead of waiting for a line feed that no longer fits.
void LogRouter(void* context, int level, const char* format, va_list args);

// Routes already formatted text at a classic level, as if the libraries had logged it
// without a context (the probe's messages).
void RouteLogText(int classicLevel, const std::string& text);

} // namespace corvina::hosting
