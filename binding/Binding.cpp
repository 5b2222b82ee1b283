#include "binding/Binding.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <mutex>

namespace corvina::binding {

namespace detail {
CodecApi codecApi;
FormatApi formatApi;
UtilApi utilApi;
ScaleApi scaleApi;
ResampleApi resampleApi;
} // namespace detail

namespace {

#define CORVINA_NAME(fn) #fn,
constexpr const char* kCodecNames[] = {CORVINA_CODEC_ENTRY_POINTS(CORVINA_NAME)};
constexpr const char* kFormatNames[] = {CORVINA_FORMAT_ENTRY_POINTS(CORVINA_NAME)};
constexpr const char* kUtilNames[] = {CORVINA_UTIL_ENTRY_POINTS(CORVINA_NAME)};
constexpr const char* kScaleNames[] = {CORVINA_SCALE_ENTRY_POINTS(CORVINA_NAME)};
constexpr const char* kResampleNames[] = {CORVINA_RESAMPLE_ENTRY_POINTS(CORVINA_NAME)};
#undef CORVINA_NAME

// dlsym returns an object pointer; POSIX guarantees it converts to a function pointer.
#define CORVINA_RESOLVE(fn)                                                                        \
    if (void* sym = dlsym(handle, #fn))                                                            \
        api.fn = reinterpret_cast<decltype(api.fn)>(sym);                                          \
    else                                                                                           \
        MissingEntryPoint(#fn);

template <typename Api> class TableLibrary : public Library {
public:
    using ResolveFn = void (*)(TableLibrary&, Api&, void*);
    TableLibrary(LibraryId id, const char* base, int major, std::span<const char* const> names,
                 Api& api, ResolveFn resolve, unsigned (*version)())
        : Library(id, base, major, names), api_(api), resolve_(resolve), version_(version) {}

    void Fail(const char* name) const { MissingEntryPoint(name); }

protected:
    void ResolveSlots(void* handle) override {
        Api fresh{};
        resolve_(*this, fresh, handle);
        api_ = fresh; // only a complete table becomes visible
    }
    void ClearSlots() override { api_ = Api{}; }
    unsigned RuntimeVersionNumber() const override { return version_(); }

private:
    Api& api_;
    ResolveFn resolve_;
    unsigned (*version_)();
};

#define CORVINA_RESOLVER(ApiType, LIST)                                                            \
    [](TableLibrary<ApiType>& lib, ApiType& api, void* handle) {                                   \
        auto MissingEntryPoint = [&lib](const char* n) { lib.Fail(n); };                           \
        LIST(CORVINA_RESOLVE)                                                                      \
    }

TableLibrary<CodecApi> gCodec(LibraryId::Codec, "libavcodec", LIBAVCODEC_VERSION_MAJOR, kCodecNames,
                              detail::codecApi,
                              CORVINA_RESOLVER(CodecApi, CORVINA_CODEC_ENTRY_POINTS),
                              [] { return detail::codecApi.avcodec_version(); });
TableLibrary<FormatApi> gFormat(LibraryId::Format, "libavformat", LIBAVFORMAT_VERSION_MAJOR,
                                kFormatNames, detail::formatApi,
                                CORVINA_RESOLVER(FormatApi, CORVINA_FORMAT_ENTRY_POINTS),
                                [] { return detail::formatApi.avformat_version(); });
TableLibrary<UtilApi> gUtil(LibraryId::Util, "libavutil", LIBAVUTIL_VERSION_MAJOR, kUtilNames,
                            detail::utilApi, CORVINA_RESOLVER(UtilApi, CORVINA_UTIL_ENTRY_POINTS),
                            [] { return detail::utilApi.avutil_version(); });
TableLibrary<ScaleApi> gScale(LibraryId::Scale, "libswscale", LIBSWSCALE_VERSION_MAJOR, kScaleNames,
                              detail::scaleApi,
                              CORVINA_RESOLVER(ScaleApi, CORVINA_SCALE_ENTRY_POINTS),
                              [] { return detail::scaleApi.swscale_version(); });
TableLibrary<ResampleApi> gResample(LibraryId::Resample, "libswresample",
                                    LIBSWRESAMPLE_VERSION_MAJOR, kResampleNames,
                                    detail::resampleApi,
                                    CORVINA_RESOLVER(ResampleApi, CORVINA_RESAMPLE_ENTRY_POINTS),
                                    [] { return detail::resampleApi.swresample_version(); });

std::atomic<bool> gAllLoaded{false};
std::atomic<int> gCachedLogLevel{0};
std::mutex gLoaderMutex; // guards gLoaderError and serialises LoadAll/UnloadAll
std::string gLoaderError;

std::string Format(const char* pattern, const std::string& a, const std::string& b,
                   const std::string& c = {}) {
    int n = std::snprintf(nullptr, 0, pattern, a.c_str(), b.c_str(), c.c_str());
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    std::snprintf(out.data(), out.size() + 1, pattern, a.c_str(), b.c_str(), c.c_str());
    return out;
}

std::string DlErrorText() {
    const char* e = dlerror();
    return e ? e : "unknown error";
}

} // namespace

Library::Library(LibraryId id, const char* baseName, int headerMajor,
                 std::span<const char* const> names)
    : id_(id), baseName_(baseName), headerMajor_(headerMajor), names_(names) {}

std::string Library::FileName() const {
    std::string name = std::string(baseName_) + ".so";
    if (versioned_)
        name += "." + std::to_string(headerMajor_);
    return name;
}

bool Library::Load(const std::string& folder) {
    if (handle_)
        return true;
    const std::string file = FileName();
    dlerror();
    // The folder beside the program first, then the system search; never a chdir, since
    // the working directory is process-wide and other threads run.
    if (!folder.empty()) {
        std::string path = folder;
        if (path.back() != '/')
            path += '/';
        path += file;
        if (access(path.c_str(), F_OK) == 0)
            handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle_)
        handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        errorText_ = Format("Load libraray %s error: %s", file, DlErrorText());
        return false;
    }
    return true;
}

void Library::MissingEntryPoint(const char* name) const {
    throw ELibraryError(Format("Load function %s@%s error: %s", name, FileName(), DlErrorText()));
}

bool Library::Bind(bool versioned, const std::string& folder) {
    versioned_ = versioned;
    if (!Load(folder))
        return false;
    if (bound_)
        return true;
    try {
        dlerror();
        ResolveSlots(handle_);
        // Struct layouts of the headers only hold for the same major version.
        const int runtimeMajor = static_cast<int>(RuntimeVersionNumber() >> 16);
        if (runtimeMajor != headerMajor_) {
            ClearSlots();
            throw ELibraryError(FileName() + " has major version " + std::to_string(runtimeMajor) +
                                ", but the program was built for " + std::to_string(headerMajor_));
        }
        bound_ = true;
    } catch (const ELibraryError& e) {
        errorText_ = e.what();
        return false;
    }
    return true;
}

void Library::Unload() {
    if (!handle_)
        return;
    ClearSlots();
    dlclose(handle_);
    handle_ = nullptr;
    bound_ = false;
}

std::string Library::RuntimeVersion() const {
    if (!bound_)
        return {};
    const unsigned v = RuntimeVersionNumber();
    return std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 0xff) + "." +
           std::to_string(v & 0xff);
}

Library& GetLibrary(LibraryId id) {
    switch (id) {
    case LibraryId::Codec:
        return gCodec;
    case LibraryId::Format:
        return gFormat;
    case LibraryId::Util:
        return gUtil;
    case LibraryId::Scale:
        return gScale;
    case LibraryId::Resample:
        break;
    }
    return gResample;
}

const char* LibraryDisplayName(LibraryId id) {
    switch (id) {
    case LibraryId::Codec:
        return "libavcodec";
    case LibraryId::Format:
        return "libavformat";
    case LibraryId::Util:
        return "libavutil";
    case LibraryId::Scale:
        return "libswscale";
    case LibraryId::Resample:
        break;
    }
    return "libswresample";
}

namespace {
void UnloadAllLocked() {
    gAllLoaded = false;
    for (LibraryId id : kBindingOrder)
        GetLibrary(id).Unload();
}
} // namespace

bool LoadAll(const std::string& folder, bool versioned) {
    std::lock_guard lock(gLoaderMutex);
    if (gAllLoaded)
        return true;
    gLoaderError.clear();
    for (LibraryId id : kBindingOrder) {
        Library& lib = GetLibrary(id);
        if (!lib.Bind(versioned, folder)) {
            gLoaderError = lib.ErrorText();
            UnloadAllLocked();
            return false;
        }
    }
    gCachedLogLevel = detail::utilApi.av_log_get_level();
    gAllLoaded = true;
    return true;
}

void UnloadAll() {
    std::lock_guard lock(gLoaderMutex);
    UnloadAllLocked();
}

bool AllLoaded() {
    return gAllLoaded;
}

std::string LoaderErrorText() {
    std::lock_guard lock(gLoaderMutex);
    return gLoaderError;
}

void CheckLibraries() {
    if (!gCodec.IsBound())
        throw ELibraryError("LibAVCodec not loaded.");
    if (!gFormat.IsBound())
        throw ELibraryError("LibAVFormat not loaded.");
    if (!gUtil.IsBound())
        throw ELibraryError("LibAVUtil not loaded.");
    if (!gScale.IsBound())
        throw ELibraryError("LibSwScale not loaded.");
    if (!gResample.IsBound())
        throw ELibraryError("LibSwResample not loaded.");
}

int CachedLogLevel() {
    return gCachedLogLevel;
}
void SetCachedLogLevel(int level) {
    gCachedLogLevel = level;
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "./";
    std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1);
}

} // namespace corvina::binding
