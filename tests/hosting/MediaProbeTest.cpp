#include "hosting/MediaProbe.h"
#include "binding/Handles.h"
#include "engine/LibraryErrors.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace corvina::hosting {
namespace {

using test::Fixture;
using test::kFixtures;

// A probe whose log lines are kept as (level, text).
struct LoggedProbe {
    LoggedProbe() {
        probe.OnLog = [this](int level, const std::string& text) { log.emplace_back(level, text); };
    }
    TMediaProbe probe;
    std::vector<std::pair<int, std::string>> log;
};

using LogLines = std::vector<std::pair<int, std::string>>;

bool AllZero(const char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        if (text[i] != 0)
            return false;
    return true;
}

void ExpectVideoDefaults(const VideoStreamInfo& v) {
    EXPECT_TRUE(AllZero(v.Language, sizeof v.Language));
    EXPECT_TRUE(AllZero(v.CodecName, sizeof v.CodecName));
    for (std::int64_t n : {v.StartTime, v.StartTimeRescaled, v.Duration, v.DurationRescaled})
        EXPECT_EQ(n, -1);
    for (std::int32_t n : {v.BitRate, v.Height, v.Width, v.PixFmt, v.FrameRateNum, v.FrameRateDen})
        EXPECT_EQ(n, -1);
    EXPECT_EQ(v.DisplayAspect, -1.0f);
}

void ExpectSummaryUnset(const TMediaProbe& p) {
    for (int n : {p.StreamCount(), p.ProgramCount(), p.AudioStreamCount(), p.VideoStreamCount(),
                  p.SubtitleStreamCount(), p.FirstAudioStream(), p.FirstVideoStream(),
                  p.FirstSubtitleStream()})
        EXPECT_EQ(n, -1);
}

TEST(MediaProbe, NothingLoadedGivesDefaultsAndLogs) {
    test::RequireLibraries();
    LoggedProbe lp;
    ExpectSummaryUnset(lp.probe);
    EXPECT_FALSE(lp.probe.Loaded());

    FormatInfo f;
    std::memset(&f, 0x55, sizeof f);
    lp.probe.GetFormatInfo(f);
    for (std::int64_t n : {f.StartTime, f.Duration, f.Timestamp})
        EXPECT_EQ(n, -1);
    for (std::int32_t n : {f.BitRate, f.Year, f.Track})
        EXPECT_EQ(n, -1);
    for (const char* text : {f.Title, f.Author, f.Copyright, f.Comment, f.Album})
        EXPECT_TRUE(AllZero(text, 512));
    EXPECT_TRUE(AllZero(f.Genre, sizeof f.Genre));

    VideoStreamInfo v;
    std::memset(&v, 0x55, sizeof v);
    lp.probe.GetVideoStreamInfo(v);
    ExpectVideoDefaults(v);
    lp.probe.GetVideoStreamInfo(0, v);
    ExpectVideoDefaults(v);

    EXPECT_EQ(lp.log, (LogLines{{1, "file not loaded.\n"},
                                {1, "file not loaded.\n"},
                                {1, "file not loaded.\n"}}));
}

TEST(MediaProbe, ReadsEveryGeneratedFixture) {
    test::RequireLibraries();
    for (const test::FixtureSpec& fixtureRow : kFixtures) {
        if (fixtureRow.Has(test::kGarbage))
            continue;
        SCOPED_TRACE(std::string(fixtureRow.name));
        LoggedProbe lp;
        TMediaProbe& p = lp.probe;
        ASSERT_TRUE(p.LoadFile(Fixture(std::string(fixtureRow.name)))) << p.LastError();
        EXPECT_TRUE(p.Loaded());
        const int video = fixtureRow.videoCodec.empty() ? 0 : 1;
        const int audio = fixtureRow.audioCodec.empty() ? 0 : 1;
        const int subtitle = fixtureRow.subtitleCodec.empty() ? 0 : 1;
        EXPECT_EQ(p.VideoStreamCount(), video);
        EXPECT_EQ(p.AudioStreamCount(), audio);
        EXPECT_EQ(p.SubtitleStreamCount(), subtitle);
        EXPECT_GE(p.StreamCount(), video + audio + subtitle);
        EXPECT_GE(p.ProgramCount(), 0);
        EXPECT_EQ(p.FirstVideoStream() >= 0, video == 1);
        EXPECT_EQ(p.FirstAudioStream() >= 0, audio == 1);
        EXPECT_EQ(p.FirstSubtitleStream() >= 0, subtitle == 1);

        FormatInfo f;
        p.GetFormatInfo(f);
        EXPECT_NEAR(f.Duration / 1000.0, fixtureRow.durationMs, fixtureRow.durationMs * 0.1);
        EXPECT_GT(f.BitRate, 0);
        EXPECT_GE(f.StartTime, 0);

        VideoStreamInfo v;
        p.GetVideoStreamInfo(v);
        if (video) {
            EXPECT_STREQ(v.CodecName, std::string(fixtureRow.videoCodec).c_str());
            // The size as seen: a recording stored turned a quarter shows sideways.
            const bool sideways = fixtureRow.turn % 180 != 0;
            const int seenWidth = sideways ? fixtureRow.height : fixtureRow.width;
            const int seenHeight = sideways ? fixtureRow.width : fixtureRow.height;
            EXPECT_EQ(v.Width, seenWidth);
            EXPECT_EQ(v.Height, seenHeight);
            EXPECT_EQ(static_cast<std::int64_t>(v.FrameRateNum) * fixtureRow.fpsDen,
                      static_cast<std::int64_t>(fixtureRow.fpsNum) * v.FrameRateDen)
                << v.FrameRateNum << "/" << v.FrameRateDen;
            EXPECT_GE(v.PixFmt, 0);
            // Width x sample aspect / height, read back independently; 0 for an unset 0/1.
            const test::MediaInfo back =
                test::ReadBack(Fixture(std::string(fixtureRow.name)), {false});
            ASSERT_NE(back.Video(), nullptr);
            const test::Ratio sar = back.Video()->sampleAspect;
            const double seenSar = sideways ? 1 / sar.value() : sar.value();
            EXPECT_NEAR(v.DisplayAspect, sar.known() ? seenWidth * seenSar / seenHeight : 0.0,
                        1e-4);
            EXPECT_GE(v.StartTime, 0);
            if (v.Duration > 0) {
                EXPECT_NEAR(v.DurationRescaled / 1000.0, fixtureRow.durationMs,
                            fixtureRow.durationMs * 0.1);
            }
            // Same stream asked for by its index.
            VideoStreamInfo byIndex;
            p.GetVideoStreamInfo(p.FirstVideoStream(), byIndex);
            EXPECT_EQ(std::memcmp(&byIndex, &v, sizeof v), 0);
            EXPECT_TRUE(lp.log.empty());
        } else {
            ExpectVideoDefaults(v);
            EXPECT_EQ(lp.log, (LogLines{{0, "no video stream.\n"}}));
        }
    }
}

TEST(MediaProbe, BadStreamChoicesLogAndLeaveDefaults) {
    test::RequireLibraries();
    LoggedProbe lp;
    TMediaProbe& p = lp.probe;
    ASSERT_TRUE(p.LoadFile(Fixture("aac_44100_stereo.m4a"))) << p.LastError();
    ASSERT_EQ(p.FirstAudioStream(), 0);
    VideoStreamInfo v;
    p.GetVideoStreamInfo(0, v); // stream 0 is audio
    ExpectVideoDefaults(v);
    p.GetVideoStreamInfo(p.StreamCount(), v);
    ExpectVideoDefaults(v);
    p.GetVideoStreamInfo(-5, v); // any index below 0 means the first video stream
    ExpectVideoDefaults(v);
    EXPECT_EQ(lp.log,
              (LogLines{{0, "stream #0 is not video stream.\n"},
                        {0, "stream index #" + std::to_string(p.StreamCount()) + " is invalid.\n"},
                        {0, "no video stream.\n"}}));
}

TEST(MediaProbe, FormatInfoCarriesTheContainersTags) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string file = (dir / "tags.txt").string();
    const std::string longTitle(600, 't');
    {
        // A metadata-only container: tags, no streams.
        std::ofstream out(file);
        out << ";FFMETADATA1\n"
            << "title=" << longTitle << "\n"
            << "artist=Someone\ncopyright=(c) nobody\ncomment=a note\nalbum=An Album\n"
            << "date=2008-05-01\ntrack=3/12\ngenre=A genre name longer than thirty-one bytes\n"
            << "creation_time=2008-05-01T10:20:30.000000Z\n";
    }
    TMediaProbe p;
    ASSERT_TRUE(p.LoadFile(file)) << p.LastError();
    EXPECT_EQ(p.StreamCount(), 0);
    EXPECT_EQ(p.VideoStreamCount(), 0);
    EXPECT_EQ(p.FirstVideoStream(), -1);
    FormatInfo f;
    p.GetFormatInfo(f);
    EXPECT_EQ(std::string(f.Title), longTitle.substr(0, 511)); // room for the zero
    EXPECT_STREQ(f.Author, "Someone");
    EXPECT_STREQ(f.Copyright, "(c) nobody");
    EXPECT_STREQ(f.Comment, "a note");
    EXPECT_STREQ(f.Album, "An Album");
    EXPECT_EQ(f.Year, 2008);
    EXPECT_EQ(f.Track, 3);
    EXPECT_STREQ(f.Genre, "A genre name longer than thirty");
    EXPECT_EQ(f.Timestamp, 1209637230LL * 1000000);
    EXPECT_EQ(f.BitRate, 0);
}

TEST(MediaProbe, MissingFileGivesItsText) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string name = (dir / "missing.mov").string();
    TMediaProbe p;
    EXPECT_FALSE(p.LoadFile(name));
    EXPECT_EQ(p.LastError(), name + ": no such file or directory");
    EXPECT_FALSE(p.Loaded());
    ExpectSummaryUnset(p);
}

TEST(MediaProbe, DataNoDemuxerKnowsIsAnUnknownFormat) {
    test::RequireLibraries();
    const std::string garbage = Fixture("garbage.mov").string();
    TMediaProbe p;
    EXPECT_FALSE(p.LoadFile(garbage));
    EXPECT_EQ(p.LastError(), garbage + ": Unknown format");

    test::TempDir dir;
    const std::string empty = (dir / "empty.mp4").string();
    std::ofstream(empty).close();
    EXPECT_FALSE(p.LoadFile(empty));
    EXPECT_EQ(p.LastError(), empty + ": Unknown format");
    ExpectSummaryUnset(p);
}

TEST(MediaProbe, ForcedFormat) {
    test::RequireLibraries();
    TMediaProbe p;
    // An unknown name is refused before the file is touched (it does not exist).
    EXPECT_FALSE(p.LoadFile("/nonexistent/file.mov", "no-such-format"));
    EXPECT_EQ(p.LastError(), "Unknown input format: no-such-format");

    const std::string mov = Fixture("h264_aac_640x480_25.mov").string();
    ASSERT_TRUE(p.LoadFile(mov, "mov")) << p.LastError();
    EXPECT_EQ(p.FormatName(), "mov");
    EXPECT_EQ(p.VideoStreamCount(), 1);

    // Data the forced demuxer cannot read fails in its header, not as an unknown format.
    const std::string garbage = Fixture("garbage.mov").string();
    EXPECT_FALSE(p.LoadFile(garbage, "mov"));
    EXPECT_EQ(p.LastError().rfind(garbage + ": ", 0), 0u) << p.LastError();
    EXPECT_NE(p.LastError(), garbage + ": Unknown format");
    EXPECT_EQ(p.FormatName(), "");
}

TEST(MediaProbe, AFailedLoadClosesTheFileBefore) {
    test::RequireLibraries();
    LoggedProbe lp;
    TMediaProbe& p = lp.probe;
    ASSERT_TRUE(p.LoadFile(Fixture("h264_aac_mov_text.mov"))) << p.LastError();
    EXPECT_EQ(p.SubtitleStreamCount(), 1);
    EXPECT_FALSE(p.LoadFile(Fixture("garbage.mov")));
    EXPECT_FALSE(p.Loaded());
    ExpectSummaryUnset(p);
    VideoStreamInfo v;
    p.GetVideoStreamInfo(v);
    EXPECT_EQ(lp.log, (LogLines{{1, "file not loaded.\n"}}));

    // Still usable afterwards; CloseFile returns the summary to -1.
    ASSERT_TRUE(p.LoadFile(Fixture("h264_aac_mono_176x144_15.mov"))) << p.LastError();
    EXPECT_EQ(p.VideoStreamCount(), 1);
    p.CloseFile();
    EXPECT_FALSE(p.Loaded());
    ExpectSummaryUnset(p);
}

TEST(MediaProbe, OnlyPlainFilesAreOpened) {
    test::RequireLibraries();
    // Data that would open through the "data" protocol; only files are allowed.
    const std::string url = "data:application/octet-stream;base64,AAAA";
    TMediaProbe p;
    EXPECT_FALSE(p.LoadFile(url));
    EXPECT_EQ(p.LastError(), engine::LibraryErrorText(url, AVERROR(EINVAL)));
    EXPECT_NE(p.LastError(), url + ": Unknown format");
}

} // namespace
} // namespace corvina::hosting
