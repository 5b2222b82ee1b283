// The headless front end as a user runs it: exit codes, result lines, error texts.
#include "tests/cli/CliRun.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace corvina {
namespace {

namespace fs = std::filesystem;

using test::ReadFile;
using test::RunCli;
using test::RunResult;

TEST(Cli, ListsTheFortySixItems) {
    const RunResult r = RunCli({"--list-formats"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(count));
        if (count == 16) {
            EXPECT_EQ(line, "16\t              -----------------------------------------");
        }
        count++;
    }
    EXPECT_EQ(count, 46);
}

TEST(Cli, UsageErrors) {
    EXPECT_EQ(RunCli({}).exitCode, 2);
    EXPECT_EQ(RunCli({"--no-such-option"}).exitCode, 2);
    test::TempDir dir;
    const std::string clip = test::Fixture("h264_aac_mono_176x144_15.mov").string();
    // A choice that is not an item of the format lists the items.
    const RunResult r = RunCli({"-f", "8", "-o", dir.path().string(), "--size", "999 x 999", clip});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("\"320 x 240 (VGA)\""), std::string::npos) << r.err;
    // A separator line is not a format.
    EXPECT_EQ(RunCli({"-f", "16", "-o", dir.path().string(), clip}).exitCode, 2);
    EXPECT_EQ(RunCli({"--raw", "-i", clip}).exitCode, 2); // no -o for the -i
}

TEST(Cli, PrintJobShowsTheFieldsAndConvertsNothing) {
    test::TempDir dir;
    const std::string clip = test::Fixture("h264_aac_640x480_25.mov").string();
    const RunResult r =
        RunCli({"-f", "MP4 - MPEG4 Video (*.mp4)", "-o", dir.path().string(), "--print-job", clip});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string expected = "job: " + clip + " -> " +
                                 (dir / "h264_aac_640x480_25.mp4").string() +
                                 "\ninput.FileName=" + clip + "\ninput.StartTime=0\n";
    EXPECT_EQ(r.out.substr(0, expected.size()), expected) << r.out;
    EXPECT_NE(r.out.find("output.VideoCodec=mpeg4\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("output.AudioCodec=libfaac\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("output.FrameRate=25\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("output.AspectRatio=1.3333\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Cli, ConvertsAndReportsEachFile) {
    test::TempDir dir;
    // A name with spaces and accents.
    const fs::path odd = dir / "clip with spaces é ü.mov";
    fs::copy_file(test::Fixture("h264_aac_mono_176x144_15.mov"), odd);
    const fs::path out = dir / "out";
    fs::create_directory(out);
    const std::string garbage = test::Fixture("garbage.mov").string();
    const RunResult r = RunCli({"-f", "8", "-o", out.string(), odd.string(), garbage});
    EXPECT_EQ(r.exitCode, 1); // one file failed
    const fs::path converted = out / "clip with spaces é ü.mp4";
    EXPECT_NE(r.out.find(odd.string() + " -> " + converted.string() + ": Done"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(garbage + " -> "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": Fail"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(garbage + ": Unknown format"), std::string::npos) << r.err;
    const test::MediaInfo info = test::ReadBack(converted);
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    EXPECT_FALSE(fs::exists(out / "garbage.mp4"));
}

TEST(Cli, NeverOverwritesWithoutBeingAsked) {
    test::TempDir dir;
    const std::string clip = test::Fixture("h264_aac_mono_176x144_15.mov").string();
    const fs::path existing = dir / "h264_aac_mono_176x144_15.avi";
    std::ofstream(existing) << "precious";
    const RunResult r = RunCli({"-f", "3", "-o", dir.path().string(), "--jobs", "2", clip, clip});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadFile(existing), "precious");
    EXPECT_TRUE(fs::exists(dir / "h264_aac_mono_176x144_15-1.avi"));
    EXPECT_TRUE(fs::exists(dir / "h264_aac_mono_176x144_15-2.avi"));
    const RunResult again = RunCli({"-f", "3", "-o", dir.path().string(), "--overwrite", clip});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(ReadFile(existing), "precious");
}

TEST(Cli, RawMissingInput) {
    test::TempDir dir;
    const RunResult r = RunCli({"--raw", "-i", "missing.mov", "-o", (dir / "x.mp4").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.mov: no such file or directory"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "x.mp4"));
}

TEST(Cli, InterruptStopsCleanly) {
    test::TempDir dir;
    const std::string clip = test::Fixture("h264_aac_640x480_25.mov").string();
    const fs::path out = dir / "slow.mp4";
    // Read at the input's own pace, so the copy takes its three seconds.
    const RunResult r = RunCli({"--raw", "--input-options", "re", "--output-options",
                                "vcodec=copy\nacodec=copy", "-i", clip, "-o", out.string()},
                               1200);
    EXPECT_EQ(r.exitCode, 130) << r.out << r.err;
    EXPECT_NE(r.out.find(": Abort"), std::string::npos) << r.out;
    const test::MediaInfo info = test::ReadBack(out);
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
}

} // namespace
} // namespace corvina
