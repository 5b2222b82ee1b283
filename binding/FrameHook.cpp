#include "binding/FrameHook.h"

#include "binding/Binding.h"

#include <dlfcn.h>
#include <strings.h>

#include <mutex>

namespace corvina::binding {

namespace {

// Plug-in files stay loaded for the life of the process: a chain of a finished task may
// have handed out pointers into them.
struct PluginFile {
    std::string name;
    void* handle;
};
std::mutex gPluginMutex; // guards gPlugins
std::vector<PluginFile> gPlugins;

void HookLog(const char* fmt, const char* arg) {
    if (ff::util.av_log)
        ff::util.av_log(nullptr, AV_LOG_PANIC, fmt, arg);
    else
        std::fprintf(stderr, fmt, arg);
}

void* PluginHandle(const std::string& file) {
    std::lock_guard lock(gPluginMutex);
    for (const PluginFile& p : gPlugins)
        if (strcasecmp(p.name.c_str(), file.c_str()) == 0)
            return p.handle;
    dlerror();
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = dlerror();
        HookLog("%s\n", err ? err : "cannot load plug-in");
        return nullptr;
    }
    gPlugins.push_back({file, handle});
    return handle;
}

template <typename Fn> Fn Symbol(void* handle, const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

} // namespace

int FrameHookChain::Add(const std::vector<std::string>& args) {
    if (args.empty())
        return kHookNoEntryPoint;
    void* handle = PluginHandle(args[0]);
    if (!handle)
        return kHookLoadFailed;

    Entry entry;
    entry.configure = Symbol<CorvinaHookConfigureFn>(handle, "Configure");
    entry.process = Symbol<CorvinaHookProcessFn>(handle, "Process");
    entry.release = Symbol<CorvinaHookReleaseFn>(handle, "Release");
    if (!entry.process) {
        HookLog("Failed to find Process entrypoint in %s\n", args[0].c_str());
        return kHookNoEntryPoint;
    }
    if (!entry.configure && args.size() > 1) {
        HookLog("Failed to find Configure entrypoint in %s\n", args[0].c_str());
        return kHookNoEntryPoint;
    }
    if (entry.configure) {
        std::vector<std::string> copies(args);
        std::vector<char*> argv;
        for (std::string& s : copies)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        if (entry.configure(&entry.context, static_cast<int>(args.size()), argv.data()) != 0) {
            HookLog("Failed to Configure %s\n", args[0].c_str());
            return kHookConfigureFailed;
        }
    }
    entries_.push_back(entry);
    return 0;
}

void FrameHookChain::Process(CorvinaHookPicture* picture, int pixFmt, int width, int height,
                             int64_t pts) const {
    for (const Entry& e : entries_)
        e.process(e.context, picture, pixFmt, width, height, pts);
}

void FrameHookChain::Release() {
    for (Entry& e : entries_)
        if (e.release)
            e.release(e.context);
    entries_.clear();
}

size_t LoadedPluginCount() {
    std::lock_guard lock(gPluginMutex);
    return gPlugins.size();
}

} // namespace corvina::binding
