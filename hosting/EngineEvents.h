// The engine component's events and their slots, as every caller of the component sees
// them. No engine or library type: the custom hook's picture is only named here.
#pragma once

#include "hosting/ThreadPriority.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace corvina::engine {
struct HookBitmap; // the 24-bit picture of the custom hook (frame-hook stage)
}

namespace corvina::hosting {

enum class TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };
enum class THookAction { haContinue, haIgnore, haStop };
// Only tpIdle .. tpNormal are used; higher values are taken as tpNormal.
using TConvertPriority = TThreadPriority;
using TBitmap = engine::HookBitmap;

using TBeforeHookEvent = std::function<void(int AIndex, int64_t APTS, THookAction& AHookAction)>;
using TCustomHookEvent = std::function<void(int AIndex, TBitmap* ABitmap, int AFrameNumber,
                                            int64_t APTS, bool& AUpdate, bool& AStopHook)>;
using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string& AMsg)>;
using TProgressEvent =
    std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                       float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration)>;
using TTerminateEvent =
    std::function<void(int AIndex, bool AFinished, bool AException, const std::string& AMessage)>;

// An event slot: assigned from any thread, called by the component. Assignment takes the
// component lock, so a handler is never replaced while it runs under that lock.
template <class F> class TEventSlot {
public:
    explicit TEventSlot(std::recursive_mutex& lock) : lock_(lock) {}
    TEventSlot(const TEventSlot&) = delete;
    TEventSlot& operator=(const TEventSlot&) = delete;

    TEventSlot& operator=(F fn) {
        std::lock_guard guard(lock_);
        fn_ = std::move(fn);
        return *this;
    }
    TEventSlot& operator=(std::nullptr_t) {
        std::lock_guard guard(lock_);
        fn_ = nullptr;
        return *this;
    }
    // A copy, for callers that do not hold the lock while calling.
    F Get() const {
        std::lock_guard guard(lock_);
        return fn_;
    }
    explicit operator bool() const {
        std::lock_guard guard(lock_);
        return static_cast<bool>(fn_);
    }
    // Calls the handler, when set, under the component lock.
    template <class... A> void operator()(A&&... args) const {
        std::lock_guard guard(lock_);
        if (fn_)
            fn_(std::forward<A>(args)...);
    }

private:
    std::recursive_mutex& lock_;
    F fn_; // guarded by lock_
};

// Splits an ExtOptions text into (name, value) lines: trimmed, any line break taken as one,
// each line split at its first "=" (without one the value is empty); nothing else trimmed.
std::vector<std::pair<std::string, std::string>> SplitExtOptions(const std::string& text);

} // namespace corvina::hosting
