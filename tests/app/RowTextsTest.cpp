// The texts of the file list and the job builder.
#include "app/core/RowTexts.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace corvina::app {
namespace {

TEST(RowTexts, FrameRateRoundsToTwoDecimals) {
    EXPECT_EQ(FrameRateText(30000, 1001), "29.97");
    EXPECT_EQ(FrameRateText(25, 1), "25");
    EXPECT_EQ(FrameRateText(24000, 1001), "23.98");
    EXPECT_EQ(FrameRateText(15, 1), "15");
    EXPECT_EQ(FrameRateText(25, 2), "12.5");
    EXPECT_EQ(FrameRateText(25, 0), " "); // no usable rate: shown like no video
}

TEST(RowTexts, DurationDropsFractionsAndMarksUnknown) {
    EXPECT_EQ(DurationText(207000000), "00:03:27");
    EXPECT_EQ(DurationText(3725000000), "01:02:05");
    EXPECT_EQ(DurationText(0), "00:00:00");
    EXPECT_EQ(DurationText(59600000), "00:00:59");
    EXPECT_EQ(DurationText(int64_t{100} * 3600 * 1000000), "100:00:00");
    EXPECT_EQ(DurationText(-1), "00:00:00"); // less than a second, even negative
    EXPECT_EQ(DurationText(-5000000), "Unknown");
}

TEST(RowTexts, ProgressAndSize) {
    EXPECT_EQ(ProgressCellText(1500, 3000), "50%");
    EXPECT_EQ(ProgressCellText(4000, 3000), "100%"); // capped in the cell
    EXPECT_EQ(ProgressPercent(4000, 3000), 133);     // not for the bar
    EXPECT_EQ(ProgressCellText(10, 36000000), "0%");
    EXPECT_EQ(ProgressPercent(100, 0), 0); // no total: no division
    EXPECT_EQ(FileSizeStatusText(1500), "File Size : 2 KBytes");
    EXPECT_EQ(FileSizeStatusText(2500), "File Size : 2 KBytes");
    EXPECT_EQ(FileSizeStatusText(2501), "File Size : 3 KBytes");
    EXPECT_EQ(FileSizeStatusText(499), "File Size : 0 KBytes");
}

TEST(RowTexts, SourceAspect) {
    EXPECT_EQ(SourceAspectText("640x480"), "1.3333");
    EXPECT_EQ(SourceAspectText("720x576"), "1.25");
    EXPECT_EQ(SourceAspectText("1280x720"), "1.7778");
    EXPECT_EQ(SourceAspectText("720x480"), "1.5");
    EXPECT_EQ(SourceAspectText("352x288"), "1.2222");
    EXPECT_EQ(SourceAspectText(" "), "1.3333"); // audio only
    EXPECT_EQ(SourceAspectText(""), "1.3333");  // failed probe
    EXPECT_EQ(SourceAspectText("abc"), "1.3333");
    EXPECT_EQ(SourceAspectText("12xq"), "1.3333");
}

TEST(RowTexts, VolumeSteps) {
    EXPECT_STREQ(VolumeForPosition(5).Label, "100%");
    EXPECT_EQ(VolumeForPosition(5).Volume, 255);
    EXPECT_EQ(VolumeForPosition(10).Volume, 600);
    EXPECT_STREQ(VolumeForPosition(10).Label, "200%");
    EXPECT_EQ(VolumeForPosition(0).Volume, 1);
    EXPECT_EQ(VolumeForPosition(4).Volume, 200);
}

TEST(RowTexts, UniqueOutputNameNumbersTakenNames) {
    test::TempDir dir;
    const std::string base = (dir / "clip.mov").string();
    EXPECT_EQ(UniqueOutputName(base, ".mp4"), (dir / "clip.mp4").string());
    std::ofstream((dir / "clip.mp4").string()) << "x";
    EXPECT_EQ(UniqueOutputName(base, ".mp4"), (dir / "clip-1.mp4").string());
    std::ofstream((dir / "clip-1.mp4").string()) << "x";
    EXPECT_EQ(UniqueOutputName(base, ".mp4"), (dir / "clip-2.mp4").string());
    // Reserved names count as taken before their files exist.
    EXPECT_EQ(UniqueOutputName(base, ".mp4", {(dir / "clip-2.mp4").string()}),
              (dir / "clip-3.mp4").string());
    // A name without an extension stays whole; a dot in a folder name is not an extension.
    EXPECT_EQ(UniqueOutputName((dir / "noext").string(), ".avi"), (dir / "noext.avi").string());
    EXPECT_EQ(UniqueOutputName("/a.b/clip", ".avi"), "/a.b/clip.avi");
}

TEST(RowTexts, RealMediaWrapper) {
    EXPECT_TRUE(IsRealMediaInput("/x/movie.rmvb"));
    EXPECT_TRUE(IsRealMediaInput("/x/movie.RMVB"));
    EXPECT_FALSE(IsRealMediaInput("/x/movie.rm"));
    EXPECT_FALSE(IsRealMediaInput("/x.rmvb/movie"));
    EXPECT_EQ(ScriptPluginLine("/opt/corvina/"),
              "LoadPlugin(\"/opt/corvina/DirectShowSource.dll\")");
    EXPECT_EQ(ScriptSourceLine("/x/movie.rmvb"),
              "DirectShowSource(\"/x/movie.rmvb\", fps=25, convertfps=true)");
}

} // namespace
} // namespace corvina::app
