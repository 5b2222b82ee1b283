#include "app/core/ScriptFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace corvina::app {

namespace {

// A per-user base we may write into: ours, a real folder, not reachable by others.
bool SafeBase(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode) && st.st_uid == getuid();
}

std::string UserBase() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime && SafeBase(runtime))
        return runtime;
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    if (base.back() == '/')
        base.pop_back();
    return base + "/corvina-" + std::to_string(getuid());
}

} // namespace

std::string DefaultScriptFolder() {
    return UserBase() + "/$$7777a/";
}

void EnsureScriptFolder(const std::string& folder) {
    const std::string base = UserBase();
    if (mkdir(base.c_str(), 0700) != 0 && !SafeBase(base))
        return; // someone else's or a symlink: refuse to write through it
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
}

} // namespace corvina::app
