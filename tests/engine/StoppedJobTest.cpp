// Jobs stopped at the two edges of their run, in containers that write their index or
// header at different times: stopped before the first packet, a job leaves no file at all
// (some containers would otherwise leave one that opens as nothing); stopped after its first
// pictures, a file that decodes cleanly.
#include "engine/Transcoder.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace corvina::engine {
namespace {

namespace fs = std::filesystem;

struct Container {
    const char* Name;
    const char* Extension;
    const char* Options; // applied before the output is opened
};

const Container kContainers[] = {
    {"mp4", "mp4", "vcodec=mpeg4\nacodec=aac"}, // index written by the trailer
    {"mov", "mov", "vcodec=mpeg4\nacodec=aac"},
    {"threegp", "3gp", "vcodec=mpeg4\ns=176x144\nacodec=libamr_nb\nar=8000\nac=1\nab=12200"},
    {"avi", "avi", "vcodec=libxvid\nacodec=libmp3lame"}, // header rewritten by the trailer
    {"flv", "flv", "vcodec=flv\nacodec=libmp3lame\nar=44100"},
    {"mpg", "mpg", "vcodec=mpeg2video\nacodec=mp2"},
    {"wmv", "wmv", "vcodec=wmv2\nacodec=wmav2"},
    {"mp3", "mp3", "vn\nacodec=libmp3lame"},
};

void PrintTo(const Container& c, std::ostream* os) {
    *os << c.Name;
}

class StoppedJob : public ::testing::TestWithParam<Container> {
protected:
    void SetUp() override { test::RequireLibraries(); }

    // Opens the clip and the output; false with the reason in `error`.
    bool Prepare(TCustomTranscoder& t, const fs::path& out, std::string& error) {
        if (!t.OpenInput(test::Fixture("h264_aac_640x480_25.mov").string())) {
            error = t.LastError();
            return false;
        }
        t.ApplyOptionText(GetParam().Options);
        if (!t.OpenOutput(out.string())) {
            error = t.LastError();
            return false;
        }
        return true;
    }
    fs::path Output() const { return dir / (std::string("out.") + GetParam().Extension); }

    test::TempDir dir;
};

TEST_P(StoppedJob, BeforeTheFirstPacketLeavesNoFile) {
    TCustomTranscoder t;
    std::string error;
    ASSERT_TRUE(Prepare(t, Output(), error)) << error;
    // The stop arrives before the run reads its first packet: the header is written, then
    // the loop ends at once and the trailer follows.
    t.OnThreadStart = [&t] { t.RequestStop(); };
    ASSERT_TRUE(t.Start(true));
    t.Wait();
    EXPECT_TRUE(t.Terminated());
    EXPECT_FALSE(t.ExceptionRaised()) << t.ExceptionMessage();
    EXPECT_FALSE(t.Finished());
    EXPECT_FALSE(fs::exists(Output())) << test::Describe(test::ReadBack(Output()));
}

TEST_P(StoppedJob, AfterTheFirstPicturesDecodes) {
    TCustomTranscoder t;
    std::string error;
    ASSERT_TRUE(Prepare(t, Output(), error)) << error;
    // Audio-only outputs have no pictures: their stop comes on the first progress report.
    int pictures = 0;
    t.OnBeforeHook = [&](int64_t, HookAction&) {
        if (++pictures == 5)
            t.RequestStop();
    };
    t.ProgressInterval = 0;
    t.OnProgress = [&](const ProgressInfo& p) {
        if (p.TotalSize > 0 && pictures == 0)
            t.RequestStop();
    };
    ASSERT_TRUE(t.Start(true));
    t.Wait();
    EXPECT_FALSE(t.ExceptionRaised()) << t.ExceptionMessage();
    EXPECT_FALSE(t.Finished()); // it was stopped, not run to its end
    ASSERT_TRUE(fs::exists(Output()));
    EXPECT_GT(fs::file_size(Output()), 0u);
    const test::MediaInfo info = test::ReadBack(Output());
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
}

INSTANTIATE_TEST_SUITE_P(Containers, StoppedJob, ::testing::ValuesIn(kContainers),
                         [](const ::testing::TestParamInfo<Container>& info) {
                             return std::string(info.param.Name);
                         });

} // namespace
} // namespace corvina::engine
