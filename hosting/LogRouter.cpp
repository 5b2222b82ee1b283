#include "hosting/LogRouter.h"

#include "binding/Binding.h"
#include "hosting/EngineComponent.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

namespace corvina::hosting {

namespace {

struct LevelRow {
    int avUpTo;  // library levels up to and including this one ...
    int classic; // ... map to this classic level
};

constexpr LevelRow kLevelTable[] = {
    {AV_LOG_QUIET, kDropLevel}, {AV_LOG_ERROR, 0}, {AV_LOG_INFO, 1},
    {AV_LOG_DEBUG, 2},          {INT_MAX, 3},
};

constexpr size_t kLineBufferSize = 2048;

// Builds the thread's text, hands out its finished lines and keeps the rest pending.
void Route(void* context, int classicLevel, const char* format, va_list args) {
    if (classicLevel == kDropLevel || classicLevel > binding::CachedLogLevel())
        return;
    ComponentRegistry& registry = ComponentRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    const AVClass* avClass = context ? *static_cast<const AVClass* const*>(context) : nullptr;
    const std::thread::id self = std::this_thread::get_id();
    TLogItem& item = registry.PendingLog().FindOrAdd(self);

    char buffer[kLineBufferSize];
    size_t used = 0;
    if (!item.Pending.empty()) {
        used = std::min(item.Pending.size(), kLineBufferSize - 1);
        std::copy_n(item.Pending.data(), used, buffer);
    } else if (avClass) {
        const char* name = avClass->item_name ? avClass->item_name(context) : avClass->class_name;
        const int n = std::snprintf(
            buffer, kLineBufferSize, "[%s @ %08X]", name ? name : "",
            static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(avClass) & 0xFFFFFFFFu));
        used = n < 0 ? 0 : std::min(static_cast<size_t>(n), kLineBufferSize - 1);
    }
    buffer[used] = '\0';
    bool cut = used >= kLineBufferSize - 1;
    if (!cut) {
        const int n = std::vsnprintf(buffer + used, kLineBufferSize - used, format, args);
        if (n > 0) {
            cut = used + static_cast<size_t>(n) >= kLineBufferSize;
            used = std::min(used + static_cast<size_t>(n), kLineBufferSize - 1);
        }
    }
    const std::string text(buffer, used);

    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
        lines.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    std::string rest = text.substr(start);
    if (cut && !rest.empty()) {
        lines.push_back(std::move(rest)); // nothing more fits behind it
        rest.clear();
    }
    // Stored before the lines go out: a handler that logs again on this thread continues
    // from here.
    item.Pending = std::move(rest);

    for (const std::string& line : lines) {
        // A copy: a handler may create or destroy components (on its own thread only).
        const std::vector<TCustomTranscodeEngine*> components = registry.Components();
        for (TCustomTranscodeEngine* c : components)
            c->RouteLibraryLine(self, classicLevel, line);
    }
}

void RouteF(int classicLevel, const char* format, ...) {
    va_list args;
    va_start(args, format);
    Route(nullptr, classicLevel, format, args);
    va_end(args);
}

} // namespace

int ClassicLogLevel(int avLevel) {
    for (const LevelRow& row : kLevelTable)
        if (avLevel <= row.avUpTo)
            return row.classic;
    return 3;
}

TLogItem& TLogList::FindOrAdd(std::thread::id id) {
    if (first_.ThreadID == std::thread::id() || first_.ThreadID == id) {
        first_.ThreadID = id;
        return first_;
    }
    for (TLogItem* item = first_.Next.get(); item; item = item->Next.get())
        if (item->ThreadID == id)
            return *item;
    auto added = std::make_unique<TLogItem>();
    added->ThreadID = id;
    added->Next = std::move(first_.Next);
    first_.Next = std::move(added);
    return *first_.Next;
}

void TLogList::Clear() {
    first_.ThreadID = std::thread::id();
    first_.Pending.clear();
    // Unlinked one by one: a long chain must not recurse through the destructors.
    std::unique_ptr<TLogItem> next = std::move(first_.Next);
    while (next)
        next = std::move(next->Next);
}

ComponentRegistry& ComponentRegistry::Instance() {
    // Never destroyed: libraries may still log while the process ends.
    static ComponentRegistry* registry = new ComponentRegistry;
    return *registry;
}

void ComponentRegistry::Add(TCustomTranscodeEngine* component) {
    std::lock_guard lock(mutex_);
    components_.push_back(component);
}

void ComponentRegistry::Remove(TCustomTranscodeEngine* component) {
    std::lock_guard lock(mutex_);
    std::erase(components_, component);
}

void ComponentRegistry::ClearPendingLog() {
    std::lock_guard lock(mutex_);
    pendingLog_.Clear();
}

void LogRouter(void* context, int level, const char* format, va_list args) {
    Route(context, ClassicLogLevel(level), format, args);
}

void RouteLogText(int classicLevel, const std::string& text) {
    RouteF(classicLevel, "%s", text.c_str());
}

} // namespace corvina::hosting
