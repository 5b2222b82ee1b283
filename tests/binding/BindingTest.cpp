#include "binding/Binding.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>

namespace corvina::binding {
namespace {

TEST(Binding, BindsSystemLibrariesAndReportsVersions) {
    test::RequireLibraries();
    ASSERT_TRUE(AllLoaded());
    for (LibraryId id : kBindingOrder) {
        const Library& lib = GetLibrary(id);
        EXPECT_TRUE(lib.IsBound()) << LibraryDisplayName(id);
        const std::string version = lib.RuntimeVersion();
        EXPECT_EQ(version.substr(0, version.find('.')), std::to_string(lib.HeaderMajor()));
    }
    EXPECT_EQ(GetLibrary(LibraryId::Codec).FileName(),
              "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
    // Every slot is usable: a real call through the table.
    EXPECT_NE(ff::codec.avcodec_find_decoder_by_name("h264"), nullptr);
    EXPECT_NE(ff::format.av_guess_format("mp4", nullptr, nullptr), nullptr);
    EXPECT_NO_THROW(CheckLibraries());
}

TEST(Binding, SecondLoadAllReturnsAtOnce) {
    test::RequireLibraries();
    // Once loaded, the folder is not looked at again, even a nonexistent one.
    EXPECT_TRUE(LoadAll("/nonexistent/folder", false));
    EXPECT_TRUE(LoaderErrorText().empty());
}

TEST(Binding, EntryPointTablesListEachNameOnce) {
    for (LibraryId id : kBindingOrder) {
        auto names = GetLibrary(id).EntryPointNames();
        ASSERT_FALSE(names.empty());
        std::set<std::string> unique(names.begin(), names.end());
        EXPECT_EQ(unique.size(), names.size()) << LibraryDisplayName(id);
    }
}

} // namespace
} // namespace corvina::binding
