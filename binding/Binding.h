// Run-time binding of the FFmpeg libraries. Nothing in the program links them: every
// call goes through the tables below, filled by name once at start-up.
#pragma once

#include "binding/EntryPoints.h"

#include <span>
#include <stdexcept>
#include <string>

namespace corvina::binding {

// The error family of the binding (the library check, a failed bind).
class ELibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#define CORVINA_DECLARE_SLOT(fn) decltype(&::fn) fn = nullptr;
struct CodecApi {
    CORVINA_CODEC_ENTRY_POINTS(CORVINA_DECLARE_SLOT)
};
struct FormatApi {
    CORVINA_FORMAT_ENTRY_POINTS(CORVINA_DECLARE_SLOT)
};
struct UtilApi {
    CORVINA_UTIL_ENTRY_POINTS(CORVINA_DECLARE_SLOT)
};
struct ScaleApi {
    CORVINA_SCALE_ENTRY_POINTS(CORVINA_DECLARE_SLOT)
};
struct ResampleApi {
    CORVINA_RESAMPLE_ENTRY_POINTS(CORVINA_DECLARE_SLOT)
};
#undef CORVINA_DECLARE_SLOT

enum class LibraryId { Codec, Format, Util, Scale, Resample };
inline constexpr LibraryId kBindingOrder[] = {LibraryId::Codec, LibraryId::Format, LibraryId::Util,
                                              LibraryId::Scale, LibraryId::Resample};

// One dynamic library: its handle, versioned-names flag, bound flag, last error text and
// its slots. Loading and binding run on the main thread before any job; afterwards the
// flags and slots are only read.
class Library {
public:
    Library(LibraryId id, const char* baseName, int headerMajor,
            std::span<const char* const> names);
    virtual ~Library() = default;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    LibraryId Id() const { return id_; }
    // "libavcodec.so.59" when versioned, "libavcodec.so" otherwise; no fallback between them.
    std::string FileName() const;
    int HeaderMajor() const { return headerMajor_; }
    std::span<const char* const> EntryPointNames() const { return names_; }

    // Loads the file: "<folder>/<file>" first when a folder is given, then the system search.
    bool Load(const std::string& folder);
    // Stores the flag, loads, binds every entry point in order and checks the run-time major.
    bool Bind(bool versioned, const std::string& folder);
    void Unload();
    bool IsLoaded() const { return handle_ != nullptr; }
    bool IsBound() const { return bound_; }
    const std::string& ErrorText() const { return errorText_; }
    // major.minor.micro of the loaded library; empty when not bound.
    std::string RuntimeVersion() const;

protected:
    virtual void ResolveSlots(void* handle) = 0; // throws ELibraryError on a missing name
    virtual void ClearSlots() = 0;
    virtual unsigned RuntimeVersionNumber() const = 0;
    [[noreturn]] void MissingEntryPoint(const char* name) const;

private:
    LibraryId id_;
    const char* baseName_;
    int headerMajor_;
    std::span<const char* const> names_;
    void* handle_ = nullptr;
    bool versioned_ = true;
    bool bound_ = false;
    std::string errorText_;
};

Library& GetLibrary(LibraryId id);
const char* LibraryDisplayName(LibraryId id); // "libavcodec", ...

// The tables, valid once AllLoaded() is true.
namespace detail {
extern CodecApi codecApi;
extern FormatApi formatApi;
extern UtilApi utilApi;
extern ScaleApi scaleApi;
extern ResampleApi resampleApi;
} // namespace detail

// Loads and binds all libraries in order, stopping at the first failure; a failure unloads
// everything. Returns at once after an earlier success.
bool LoadAll(const std::string& folder, bool versioned);
void UnloadAll();
bool AllLoaded();
std::string LoaderErrorText();

// Raises ELibraryError naming the first library that is not bound.
void CheckLibraries();

// The libraries' log level as cached at load time and kept by the component.
int CachedLogLevel();
void SetCachedLogLevel(int level);

// The folder holding the running program, with a trailing '/'.
std::string ProgramFolder();

} // namespace corvina::binding

// Short names for the callers: ff::codec.avcodec_open2(...)
namespace corvina::ff {
inline const binding::CodecApi& codec = binding::detail::codecApi;
inline const binding::FormatApi& format = binding::detail::formatApi;
inline const binding::UtilApi& util = binding::detail::utilApi;
inline const binding::ScaleApi& scale = binding::detail::scaleApi;
inline const binding::ResampleApi& resample = binding::detail::resampleApi;
} // namespace corvina::ff
