// Runs in a process that never binds the libraries.
#include "binding/Binding.h"
#include "hosting/MediaProbe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvina::hosting {
namespace {

TEST(MediaProbeUnbound, LoadFileRaisesTheLibraryCheckAndChangesNothing) {
    ASSERT_FALSE(binding::AllLoaded()) << "this binary must not bind the libraries";
    TMediaProbe probe;
    try {
        probe.LoadFile("/nonexistent/any.mov", "mov");
        FAIL() << "no error raised";
    } catch (const binding::ELibraryError& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    EXPECT_TRUE(probe.LastError().empty());
    EXPECT_FALSE(probe.Loaded());
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.VideoStreamCount(), -1);
}

TEST(MediaProbeUnbound, QueriesWithoutAFileNeedNoLibraries) {
    TMediaProbe probe;
    std::vector<std::string> log;
    probe.OnLog = [&](int, const std::string& text) { log.push_back(text); };
    VideoStreamInfo v;
    probe.GetVideoStreamInfo(v);
    EXPECT_EQ(v.Width, -1);
    EXPECT_EQ(log, std::vector<std::string>{"file not loaded.\n"});
}

} // namespace
} // namespace corvina::hosting
