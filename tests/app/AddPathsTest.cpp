// Dropped folders, and the time estimates of a running batch.
#include "app/core/AddPaths.h"
#include "app/core/TimeEstimate.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace corvina::app {
namespace {

namespace fs = std::filesystem;

TEST(ExpandDroppedPaths, AFolderGivesItsSupportedFilesAtAnyDepthInPathOrder) {
    test::TempDir dir;
    const fs::path root = dir.path() / "library";
    for (const char* name : {"b.mov", "a.MP4", "notes.txt", "sub/z.m4a", "sub/deeper/c.qt",
                             "sub/x.avi", "a0/clip.m4v", "cover.jpg"}) {
        fs::create_directories((root / name).parent_path());
        std::ofstream(root / name) << "x";
    }
    fs::create_directories(root / "empty.mov"); // a folder named like a clip is no file
    const std::string loose = (dir.path() / "loose.avi").string();
    std::ofstream(loose) << "x";

    const std::vector<std::string> got =
        ExpandDroppedPaths({loose, root.string(), (dir.path() / "missing.mov").string()});
    const std::vector<std::string> expected = {
        loose, // a dropped file is added whatever its extension, as a typed name would be
        (root / "a.MP4").string(),
        (root / "a0/clip.m4v").string(),
        (root / "b.mov").string(),
        (root / "sub/deeper/c.qt").string(),
        (root / "sub/z.m4a").string(),
    };
    EXPECT_EQ(got, expected);
}

TEST(IsSupportedFileName, MatchesTheAllSupportedFilesPatterns) {
    for (const char* name : {"a.mov", "a.QT", "b.m4v", "c.mp4", "d.M4A", "/x/y.z/e.mov"})
        EXPECT_TRUE(IsSupportedFileName(name)) << name;
    for (const char* name : {"a.avi", "mov", "a.mov.txt", "a.", "/x.mov/y"})
        EXPECT_FALSE(IsSupportedFileName(name)) << name;
}

ConversionItem Row(bool checked, RowState state, int64_t durationUs) {
    ConversionItem row;
    row.Checked = checked;
    row.State = state;
    row.DurationUs = durationUs;
    return row;
}

TEST(EstimateTimes, WeighsThePendingRowsByTheirDurations) {
    std::vector<ConversionItem> rows = {
        Row(true, RowState::Done, 50'000'000),
        Row(true, RowState::Converting, 10'000'000),
        Row(true, RowState::None, 20'000'000),
        Row(false, RowState::None, 90'000'000), // unchecked: not converted
        Row(true, RowState::None, -1),          // unknown length: counts nothing
        Row(true, RowState::None, 4'000'000),
    };
    rows[1].CurrentDurationMs = 4000; // 4 s of 10 s made in 2 s: twice real time
    rows[1].TotalDurationMs = 10000;
    const TimeEstimate e = EstimateTimes(rows, 1, 2000, 30000);
    EXPECT_EQ(e.FileLeftMs, 3000);
    EXPECT_EQ(e.BatchLeftMs, 3000 + 12000);
    EXPECT_EQ(e.BatchElapsedMs, 30000);
    EXPECT_EQ(EstimateText(e),
              "This file: 0:02 elapsed, 0:03 left\nThis batch: 0:30 elapsed, 0:15 left");
}

TEST(EstimateTimes, NothingIsKnownBeforeTheFirstProgress) {
    std::vector<ConversionItem> rows = {Row(true, RowState::Converting, 10'000'000)};
    const TimeEstimate e = EstimateTimes(rows, 0, 0, 0);
    EXPECT_EQ(e.FileLeftMs, -1);
    EXPECT_EQ(e.BatchLeftMs, -1);
    EXPECT_EQ(EstimateText(e), "This file: 0:00 elapsed, calculating\nThis batch: 0:00 "
                               "elapsed, calculating");
    // Past the expected total the file has nothing left.
    rows[0].CurrentDurationMs = 12000;
    rows[0].TotalDurationMs = 10000;
    EXPECT_EQ(EstimateTimes(rows, 0, 1000, 1000).FileLeftMs, 0);
}

TEST(ClockText, HoursOnlyWhenThereAreAny) {
    EXPECT_EQ(ClockText(0), "0:00");
    EXPECT_EQ(ClockText(7999), "0:07");
    EXPECT_EQ(ClockText(754000), "12:34");
    EXPECT_EQ(ClockText(3723000), "1:02:03");
    EXPECT_EQ(ClockText(-5), "0:00");
}

} // namespace
} // namespace corvina::app
