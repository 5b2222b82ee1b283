// Memory over a long batch: conversions in one process must not grow the peak.
#include "engine/Transcoder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace corvina::engine {
namespace {

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool ConvertOnce(const std::string& input, const std::string& output) {
    TCustomTranscoder t;
    t.SetVerbosity(-1);
    if (!t.OpenInput(input))
        return false;
    t.ApplyOptionText("vcodec=mpeg4\nacodec=aac\nb=400000");
    if (!t.OpenOutput(output))
        return false;
    t.Start(false);
    return t.Finished();
}

TEST(Memory, FiftyConversionsDoNotGrowThePeak) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's own bookkeeping grows with every allocation";
#endif
    test::RequireLibraries();
    test::TempDir dir;
    const std::string input = test::Fixture("h264_aac_mono_176x144_15.mov").string();
    const std::string output = (dir / "out.mp4").string();
    // The first conversions load codec tables and warm the allocator.
    for (int i = 0; i < 5; i++)
        ASSERT_TRUE(ConvertOnce(input, output));
    const long before = PeakRssKb();
    for (int i = 0; i < 45; i++)
        ASSERT_TRUE(ConvertOnce(input, output)) << i;
    const long growthKb = PeakRssKb() - before;
    EXPECT_LT(growthKb, 20 * 1024) << "peak grew by " << growthKb << " KB";
}

} // namespace
} // namespace corvina::engine
