// Video-hook plug-ins: loading once per process, configuring per chain, the refusals.
#include "binding/FrameHook.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace corvina::binding {
namespace {

std::string Plugin(const std::string& name) {
    return (test::LibDir() / name).string();
}

TEST(FrameHook, SamplePluginDrawsAndIsLoadedOnce) {
    test::RequireLibraries();
    const std::string sample = Plugin("corvina-sample-hook.so");
    FrameHookChain a, b;
    ASSERT_EQ(a.Add({sample, "4"}), 0);
    const size_t loaded = LoadedPluginCount();
    ASSERT_EQ(b.Add({sample}), 0);
    EXPECT_EQ(LoadedPluginCount(), loaded); // the same file is not loaded again

    // Each chain has its own configured context: a 4-pixel box and the default 16.
    uint8_t luma[32 * 32] = {};
    CorvinaHookPicture picture{{luma, nullptr, nullptr, nullptr}, {32, 0, 0, 0}};
    a.Process(&picture, 0, 32, 32, 0);
    EXPECT_EQ(luma[3 * 32 + 3], 235);
    EXPECT_EQ(luma[4 * 32 + 4], 0);
    b.Process(&picture, 0, 32, 32, 0);
    EXPECT_EQ(luma[15 * 32 + 15], 235);
    EXPECT_EQ(luma[16 * 32 + 16], 0);
    a.Release();
    EXPECT_TRUE(a.Empty());
}

TEST(FrameHook, Refusals) {
    test::RequireLibraries();
    FrameHookChain chain;
    EXPECT_EQ(chain.Add({}), kHookNoEntryPoint);
    EXPECT_EQ(chain.Add({Plugin("no-such-plugin.so")}), kHookLoadFailed);
    EXPECT_EQ(chain.Add({Plugin("corvina-hook_no_process.so")}), kHookNoEntryPoint);
    // Configure refuses a size that is not a number.
    EXPECT_EQ(chain.Add({Plugin("corvina-sample-hook.so"), "big"}), kHookConfigureFailed);
    // Without Configure, arguments cannot be passed.
    EXPECT_EQ(chain.Add({Plugin("corvina-hook_no_configure.so"), "x"}), kHookNoEntryPoint);
    EXPECT_TRUE(chain.Empty()); // no failed entry joined the chain
}

TEST(FrameHook, PluginWithoutConfigureTakesOnlyItsName) {
    test::RequireLibraries();
    const std::string file = Plugin("corvina-hook_no_configure.so");
    FrameHookChain chain;
    ASSERT_EQ(chain.Add({file}), 0);
    ASSERT_EQ(chain.Size(), 1u);
    void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    int* calls = static_cast<int*>(dlsym(h, "corvina_hook_calls"));
    ASSERT_NE(calls, nullptr);
    const int before = *calls;
    CorvinaHookPicture picture{};
    chain.Process(&picture, 0, 0, 0, 0);
    EXPECT_EQ(*calls, before + 1);
    dlclose(h);
}

} // namespace
} // namespace corvina::binding
