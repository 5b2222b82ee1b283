// Codecs with several threads each: the same outputs as with one (codecs, sizes, rates,
// durations, sync), and stop, pause and resume still work.
#include "tests/hosting/TranscodeEngineTestSupport.h"
#include "tests/support/MediaReadBack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace corvina::hosting::testing {
namespace {

using namespace std::chrono_literals;

struct Encoding {
    const char* name;
    const char* extension;
    const char* video;
    const char* audio;
    const char* size; // nullptr: the source's
    const char* source = "h264_aac_640x480_25.mov";
};
// Frame threads (x264), slice threads (MPEG-4 Part 2, MPEG-2), an encoder without threads
// whose pictures are scaled beside the decoding (WMV), and a portrait recording turned
// upright on the way.
constexpr Encoding kEncodings[] = {
    {"mpeg4_aac", "mp4", "mpeg4", "libfaac", nullptr},
    {"x264_aac", "mp4", "libx264", "libfaac", nullptr},
    {"mpeg2_mp2", "mpg", "mpeg2video", "mp2", nullptr},
    {"wmv2_scaled", "wmv", "wmv2", "wmav2", "320x240"},
    {"portrait_x264", "mp4", "libx264", "libfaac", "240x320", "portrait_turn90.mov"},
};

void PrintTo(const Encoding& e, std::ostream* os) {
    *os << e.name;
}

class EngineRunThreads : public EngineTest, public ::testing::WithParamInterface<Encoding> {
protected:
    // Converts the 640x480 clip with `threads` per codec; the output's path.
    std::string Convert(int threads) {
        const Encoding& e = GetParam();
        TEngineComponent engine;
        EXPECT_TRUE(engine.LoadLibraries("", true));
        engine.SetLogLevel(TLogLevel::llQuiet);
        engine.SetThreadCount(threads);
        EXPECT_EQ(engine.ThreadCount(), threads);
        Journal journal;
        journal.Attach(engine);
        const int task = engine.AddTask(Fixture(e.source));
        EXPECT_EQ(task, 0) << engine.LastError();
        EXPECT_EQ(engine.Task(0)->Settings().ThreadCount, threads);
        TOutputOptions o;
        InitOutputOptions(o);
        o.VideoCodec = e.video;
        o.AudioCodec = e.audio;
        o.VideoBitrate = 1200000;
        if (e.size)
            o.FrameSize = e.size;
        const std::string out =
            (dir_ / (std::string(e.name) + "-" + std::to_string(threads) + "." + e.extension))
                .string();
        EXPECT_TRUE(engine.SetOutputFile(0, out, &o)) << engine.LastError();
        engine.Start(1);
        EXPECT_TRUE(journal.WaitForAllDone());
        for (const Event& ev : journal.Of(Event::Terminate))
            EXPECT_FALSE(ev.exception) << ev.text;
        return out;
    }
    test::TempDir dir_;
};

TEST_P(EngineRunThreads, FourThreadsGiveWhatOneGives) {
    const test::MediaInfo one = test::ReadBack(Convert(1));
    const test::MediaInfo four = test::ReadBack(Convert(4));
    ASSERT_TRUE(one.DecodesCleanly()) << test::Describe(one);
    ASSERT_TRUE(four.DecodesCleanly()) << test::Describe(four);
    ASSERT_NE(four.Video(), nullptr);
    ASSERT_NE(four.Audio(), nullptr);
    EXPECT_EQ(four.Video()->codec, one.Video()->codec);
    EXPECT_EQ(four.Audio()->codec, one.Audio()->codec);
    EXPECT_EQ(four.Video()->width, one.Video()->width);
    EXPECT_EQ(four.Video()->height, one.Video()->height);
    EXPECT_EQ(four.Video()->frames, one.Video()->frames);
    EXPECT_DOUBLE_EQ(four.Video()->avgFrameRate.value(), one.Video()->avgFrameRate.value());
    EXPECT_EQ(four.Audio()->sampleRate, one.Audio()->sampleRate);
    EXPECT_EQ(four.Audio()->channels, one.Audio()->channels);
    EXPECT_NEAR(four.duration, one.duration, 0.1);
    // Sound and picture start together, as they do with one thread.
    EXPECT_NEAR(four.Video()->firstTime, four.Audio()->firstTime, 0.1);
    EXPECT_NEAR(four.Video()->endTime, one.Video()->endTime, 0.1);
    EXPECT_NEAR(four.Audio()->endTime, one.Audio()->endTime, 0.1);
    EXPECT_NEAR(four.Video()->endTime, four.Audio()->endTime, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Codecs, EngineRunThreads, ::testing::ValuesIn(kEncodings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(EngineRunThreadsControl, PauseResumeAndStopWithFourThreads) {
    test::RequireLibraries();
    test::TempDir dir;
    TEngineComponent engine;
    ASSERT_TRUE(engine.LoadLibraries("", true));
    engine.SetLogLevel(TLogLevel::llQuiet);
    engine.SetProgressInterval(100);
    engine.SetThreadCount(4);
    Journal journal;
    journal.Attach(engine);
    TInputOptions in;
    InitInputOptions(in);
    in.ExtOptions = "re"; // at the input's own pace: long enough to pause and stop
    ASSERT_EQ(engine.AddTask(test::Fixture("h264_aac_640x480_25.mov").string(), &in), 0);
    TOutputOptions o;
    InitOutputOptions(o);
    o.VideoCodec = "libx264";
    o.AudioCodec = "libfaac";
    const std::string out = (dir / "stopped.mp4").string();
    ASSERT_TRUE(engine.SetOutputFile(0, out, &o)) << engine.LastError();
    engine.Start(1);
    ASSERT_TRUE(journal.WaitFor([](const std::vector<Event>& ev) {
        for (const Event& e : ev)
            if (e.kind == Event::Progress && e.currentDuration > 300)
                return true;
        return false;
    }));
    engine.Pause();
    const size_t reports = journal.Of(Event::Progress).size();
    std::this_thread::sleep_for(600ms);
    EXPECT_LE(journal.Of(Event::Progress).size(), reports + 1); // paused: at most one in flight
    engine.Resume();
    std::this_thread::sleep_for(400ms);
    engine.Stop();
    ASSERT_TRUE(journal.WaitForAllDone());
    for (const Event& e : journal.Of(Event::Terminate))
        EXPECT_FALSE(e.exception) << e.text;
    const test::MediaInfo info = test::ReadBack(out);
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    EXPECT_LT(info.duration, 2.9); // stopped before the end
}

} // namespace
} // namespace corvina::hosting::testing
