// Video-hook plug-ins: a process-wide table of loaded plug-in files and, per task, a
// chain of configured entries.
#pragma once

#include "binding/VideoHookApi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvina::binding {

// Result codes of FrameHookChain::Add.
inline constexpr int kHookLoadFailed = -1;
inline constexpr int kHookNoEntryPoint = -2; // also: no arguments
inline constexpr int kHookNoMemory = -12;
inline constexpr int kHookConfigureFailed = -22;

class FrameHookChain {
public:
    FrameHookChain() = default;
    ~FrameHookChain() { Release(); }
    FrameHookChain(const FrameHookChain&) = delete;
    FrameHookChain& operator=(const FrameHookChain&) = delete;

    // args[0] is the plug-in file (loaded once per process, by the path as given).
    // Returns 0 or one of the negative codes above, logging the reason through av_log.
    int Add(const std::vector<std::string>& args);
    void Process(CorvinaHookPicture* picture, int pixFmt, int width, int height, int64_t pts) const;
    // Calls each entry's Release in chain order; the chain is then empty.
    void Release();
    bool Empty() const { return entries_.empty(); }
    size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        CorvinaHookConfigureFn configure = nullptr;
        CorvinaHookProcessFn process = nullptr;
        CorvinaHookReleaseFn release = nullptr;
        void* context = nullptr;
    };
    std::vector<Entry> entries_;
};

// Number of distinct plug-in files loaded in this process (for tests and diagnostics).
size_t LoadedPluginCount();

} // namespace corvina::binding
