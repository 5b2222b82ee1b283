// An output is written under a hidden name beside its final one and renamed when the job
// ends: a process killed halfway leaves nothing under the final name, a stopped job's file
// appears under it and plays, a failed job leaves neither.
#include "tests/cli/CliRun.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>

namespace corvina {
namespace {

namespace fs = std::filesystem;
using test::RunCli;
using test::RunOptions;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A copy at the input's own pace into `output`: its three seconds give time to look while
// it runs.
std::vector<std::string> SlowCopy(const fs::path& output) {
    return {"--raw",
            "--input-options",
            "re",
            "--output-options",
            "vcodec=copy\nacodec=copy",
            "-i",
            test::Fixture("h264_aac_640x480_25.mov").string(),
            "-o",
            output.string()};
}

TEST(OutputNames, AProcessKilledHalfwayLeavesNothingUnderTheFinalName) {
    test::TempDir out;
    const fs::path final = out / "clip.mp4";
    std::vector<std::string> whileWriting;
    RunOptions options;
    options.whileRunning = [&](pid_t pid) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        whileWriting = Names(out.path());
        kill(pid, SIGKILL);
    };
    const test::RunResult r = RunCli(SlowCopy(final), options);
    EXPECT_TRUE(r.signaled);
    // While it ran, only the hidden name beside the final one was there.
    ASSERT_EQ(whileWriting.size(), 1u);
    EXPECT_EQ(whileWriting[0].rfind(".clip.mp4.", 0), 0u) << whileWriting[0];
    EXPECT_EQ(whileWriting[0].substr(whileWriting[0].size() - 5), ".part");
    EXPECT_FALSE(fs::exists(final));
}

TEST(OutputNames, AStoppedJobsFileAppearsUnderItsFinalNameAndPlays) {
    test::TempDir out;
    const fs::path final = out / "clip.mp4";
    const test::RunResult r = RunCli(SlowCopy(final), 1200);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(Names(out.path()), std::vector<std::string>{"clip.mp4"});
    EXPECT_TRUE(test::ReadBack(final).DecodesCleanly());
}

TEST(OutputNames, AFailedJobLeavesNeitherNameAndNumberingIsUnchanged) {
    test::TempDir out;
    const std::string clip = test::Fixture("h264_aac_mono_176x144_15.mov").string();
    // Fails while writing: the process may write no file larger than 300 KiB.
    RunOptions limited;
    limited.inChild = [] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{300 * 1024, 300 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    const test::RunResult failed = RunCli(
        {"-f", "3", "-o", out.path().string(), test::Fixture("h264_aac_640x480_25.mov").string()},
        limited);
    EXPECT_EQ(failed.exitCode, 1) << failed.out << failed.err;
    EXPECT_TRUE(fs::is_empty(out.path())) << failed.out << failed.err;
    // Names already taken are numbered as before, with the hidden names out of sight.
    const test::RunResult r = RunCli({"-f", "3", "-o", out.path().string(), clip, clip, clip});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Names(out.path()), (std::vector<std::string>{"h264_aac_mono_176x144_15-1.avi",
                                                           "h264_aac_mono_176x144_15-2.avi",
                                                           "h264_aac_mono_176x144_15.avi"}));
}

} // namespace
} // namespace corvina
