// Loading from a "Common" folder, load failures and their texts. Each case runs in its own
// process under CTest; a case that needs unloaded libraries skips when an earlier case of
// the same process already loaded them.
#include "binding/Binding.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <filesystem>

namespace corvina::binding {
namespace {

namespace fs = std::filesystem;

// The real library's file, as the system loader finds it.
fs::path SystemPath(const std::string& file) {
    void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h)
        h = dlopen(file.c_str(), RTLD_NOW);
    if (!h)
        return {};
    // A symbol of that very library: dlsym on a handle also searches its dependencies.
    const char* symbol = file.find("avcodec") != std::string::npos    ? "avcodec_version"
                         : file.find("avformat") != std::string::npos ? "avformat_version"
                         : file.find("avutil") != std::string::npos   ? "avutil_version"
                         : file.find("swscale") != std::string::npos  ? "swscale_version"
                                                                      : "swresample_version";
    void* sym = dlsym(h, symbol);
    Dl_info info{};
    const bool ok = sym && dladdr(sym, &info) && info.dli_fname;
    fs::path path = ok ? fs::path(info.dli_fname) : fs::path();
    dlclose(h);
    return path;
}

std::string LoadedFrom(void* symbol) {
    Dl_info info{};
    return dladdr(symbol, &info) && info.dli_fname ? info.dli_fname : "";
}

TEST(Loader, CommonFolderIsSearchedFirst) {
    if (AllLoaded())
        GTEST_SKIP() << "libraries already loaded in this process";
#if defined(__SANITIZE_ADDRESS__)
    // Libraries loaded by path from a folder of their own keep start-up allocations that the
    // leak checker cannot trace back to them; they are the libraries', not ours.
    __lsan_disable();
#endif
    test::TempDir dir;
    const fs::path common = dir / "Common";
    fs::create_directory(common);
    for (LibraryId id : kBindingOrder) {
        const std::string file = GetLibrary(id).FileName();
        const fs::path real = SystemPath(file);
        ASSERT_FALSE(real.empty()) << file;
        fs::create_symlink(real, common / file);
    }
    const fs::path before = fs::current_path();
    ASSERT_TRUE(LoadAll(common.string(), true)) << LoaderErrorText();
    EXPECT_EQ(fs::current_path(), before); // no change of directory
    EXPECT_EQ(LoadedFrom(reinterpret_cast<void*>(ff::codec.avcodec_version)),
              (common / GetLibrary(LibraryId::Codec).FileName()).string());
    EXPECT_NO_THROW(CheckLibraries());
}

TEST(Loader, MissingEntryPointFailsTheWholeLoad) {
    if (AllLoaded())
        GTEST_SKIP() << "libraries already loaded in this process";
    EXPECT_THROW(CheckLibraries(), ELibraryError);
    try {
        CheckLibraries();
    } catch (const ELibraryError& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    // A stub under the codec library's name, exporting none of its entry points.
    test::TempDir dir;
    const std::string codecFile = GetLibrary(LibraryId::Codec).FileName();
    fs::copy_file(test::LibDir() / "libcorvina_stub.so", dir / codecFile);
    EXPECT_FALSE(LoadAll(dir.path().string(), true));
    const std::string error = LoaderErrorText();
    const std::string expected = "Load function avcodec_version@" + codecFile + " error: ";
    EXPECT_EQ(error.substr(0, expected.size()), expected) << error;
    EXPECT_GT(error.size(), expected.size()); // the loader's own text follows
    EXPECT_FALSE(AllLoaded());
    for (LibraryId id : kBindingOrder) {
        EXPECT_FALSE(GetLibrary(id).IsLoaded()) << LibraryDisplayName(id);
        EXPECT_FALSE(GetLibrary(id).IsBound()) << LibraryDisplayName(id);
    }
    EXPECT_EQ(ff::codec.avcodec_version, nullptr); // no half-filled table

    // A failed load can be retried.
    EXPECT_TRUE(LoadAll("", true)) << LoaderErrorText();
    EXPECT_TRUE(LoaderErrorText().empty());
}

TEST(Loader, PlainNamesWithoutVersion) {
    if (AllLoaded())
        GTEST_SKIP() << "libraries already loaded in this process";
    // The -dev packages provide the plain names.
    ASSERT_TRUE(LoadAll("", false)) << LoaderErrorText();
    EXPECT_EQ(GetLibrary(LibraryId::Format).FileName(), "libavformat.so");
}

// A library of its own, to see the texts of a file that cannot be loaded.
class AbsentLibrary : public Library {
public:
    AbsentLibrary() : Library(LibraryId::Codec, "libcorvina_absent", 7, {}) {}

protected:
    void ResolveSlots(void*) override {}
    void ClearSlots() override {}
    unsigned RuntimeVersionNumber() const override { return 7u << 16; }
};

TEST(Loader, UnloadableFileText) {
    AbsentLibrary lib;
    EXPECT_EQ(lib.FileName(), "libcorvina_absent.so.7");
    EXPECT_FALSE(lib.Bind(true, "/nonexistent"));
    const std::string expected = "Load libraray libcorvina_absent.so.7 error: ";
    EXPECT_EQ(lib.ErrorText().substr(0, expected.size()), expected) << lib.ErrorText();
    EXPECT_NE(lib.ErrorText().find("libcorvina_absent.so.7"), std::string::npos);
    EXPECT_FALSE(lib.IsLoaded());
    // The plain name, with the versioned flag cleared; no fallback between the two.
    EXPECT_FALSE(lib.Bind(false, ""));
    EXPECT_EQ(lib.FileName(), "libcorvina_absent.so");
    EXPECT_NE(lib.ErrorText().find("Load libraray libcorvina_absent.so error: "),
              std::string::npos);
}

// A library whose run-time major differs from the headers' is refused.
class WrongMajorLibrary : public Library {
public:
    WrongMajorLibrary() : Library(LibraryId::Util, "libavutil", 56, {}) {}

protected:
    void ResolveSlots(void*) override {}
    void ClearSlots() override {}
    unsigned RuntimeVersionNumber() const override { return 57u << 16; }
};

TEST(Loader, RuntimeMajorMustMatchTheHeaders) {
    WrongMajorLibrary lib;
    // Named after major 56, but loaded by the plain name.
    EXPECT_FALSE(lib.Bind(false, ""));
    EXPECT_EQ(lib.ErrorText(),
              "libavutil.so has major version 57, but the program was built for 56");
    EXPECT_FALSE(lib.IsBound());
    lib.Unload();
}

} // namespace
} // namespace corvina::binding
