// Inputs a user may drop that are not what they seem: lists and playlists pointing at other
// files or the network, oversized pictures, directories, files that vanish, outputs that
// cannot be written. Each gives an error (or opens only what it was given), never a crash.
#include "engine/InputGuard.h"
#include "engine/Transcoder.h"
#include "engine/VideoSync.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace corvina::engine {
namespace {

namespace fs = std::filesystem;
using test::Fixture;

using test::CraftedCase;
using test::CraftedInput;
using test::kCraftedInputs;
using test::kSource;

class CraftedInputs : public ::testing::TestWithParam<CraftedInput> {};

TEST_P(CraftedInputs, OpenInputReadsNothingButTheInput) {
    test::RequireLibraries();
    CraftedCase c(GetParam());
    ASSERT_TRUE(c.watch->Valid());
    ASSERT_NE(c.listener.Port(), 0);

    TCustomTranscoder t;
    const bool opened = t.OpenInput(c.input.string());
    if (!opened) {
        EXPECT_FALSE(t.LastError().empty());
        EXPECT_EQ(t.InputFileCount(), 0);
    }
    EXPECT_FALSE(c.watch->Touched())
        << GetParam().name << " made the engine open " << c.marker.filename();
    EXPECT_FALSE(c.listener.Contacted()) << GetParam().name << " reached the network";
}

INSTANTIATE_TEST_SUITE_P(Hostile, CraftedInputs, ::testing::ValuesIn(kCraftedInputs),
                         test::CraftedCaseName);

// The witnesses work: without the guard the library does follow such a playlist and list.
TEST(CraftedInputs, UnguardedLibraryWouldFollowThem) {
    test::RequireLibraries();
    for (const CraftedInput& c : {kCraftedInputs[0], kCraftedInputs[5]}) {
        CraftedCase k(c);
        ff::Dictionary opts;
        opts.Set("protocol_whitelist", "file");
        AVFormatContext* ctx = nullptr;
        if (ff::format.avformat_open_input(&ctx, k.input.c_str(), nullptr, opts.Address()) >= 0)
            ff::format.avformat_close_input(&ctx);
        EXPECT_TRUE(k.watch->Touched()) << c.name;
    }
}

// A YUV4MPEG header declaring a picture size, with the start of one frame.
fs::path Y4m(const test::TempDir& dir, int width, int height) {
    const fs::path path =
        dir / ("pic" + std::to_string(width) + "x" + std::to_string(height) + ".y4m");
    test::WriteText(path, "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                              " F25:1 Ip A1:1 C420jpeg\nFRAME\n" + std::string(4096, '\x80'));
    return path;
}

TEST(HostileInput, OversizedPicturesAreRefused) {
    test::RequireLibraries();
    test::TempDir dir;
    struct Case {
        int w, h;
        bool allowed;
    };
    for (const Case& c : {Case{20000, 16, false}, Case{16, 20000, false}, Case{8192, 8192, false},
                          Case{8192, 4320, true}, Case{64, 48, true}}) {
        const fs::path path = Y4m(dir, c.w, c.h);
        TCustomTranscoder t;
        const bool opened = t.OpenInput(path.string());
        EXPECT_EQ(opened, c.allowed) << c.w << "x" << c.h << ": " << t.LastError();
        if (!c.allowed) {
            EXPECT_EQ(t.LastError(), path.string() + ": video frame size " + std::to_string(c.w) +
                                         "x" + std::to_string(c.h) +
                                         " is too large (at most 16384x16384, 35389440 pixels)");
        }
    }
    EXPECT_TRUE(FrameSizeAllowed(16384, 2160));
    EXPECT_FALSE(FrameSizeAllowed(16385, 2));
    EXPECT_TRUE(FrameSizeAllowed(0, 0)); // unknown until decoded: the decoder's limit holds
}

TEST(HostileInput, DecodersGetTheLimits) {
    test::RequireLibraries();
    TCustomTranscoder t;
    t.Settings().ThreadCount = 64;
    ASSERT_TRUE(t.OpenInput(Fixture(kSource).string()));
    for (const auto& dec : t.Input(0).Decoders) {
        EXPECT_EQ(dec->max_pixels, kMaxFramePixels);
        EXPECT_EQ(dec->max_samples, kMaxAudioFrameSamples);
        EXPECT_LE(dec->thread_count, kMaxDecoderThreads);
    }
}

// A grey PGM picture.
void WritePgm(const fs::path& path, int w, int h) {
    test::WriteText(path, "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" +
                              std::string(static_cast<size_t>(w * h), '\x80'));
}

TEST(HostileInput, ImageSequenceReadsOnlyItsPictures) {
    test::RequireLibraries();
    test::TempDir dir;
    for (int i = 1; i <= 3; i++)
        WritePgm(dir / ("img" + std::to_string(i) + ".pgm"), 32, 16);
    WritePgm(dir / "other.pgm", 32, 16);
    test::FileWatch other(dir / "other.pgm");
    ASSERT_TRUE(other.Valid());

    TCustomTranscoder t;
    t.SetOption("f", "image2");
    ASSERT_TRUE(t.OpenInput((dir / "img%d.pgm").string())) << t.LastError();
    EXPECT_EQ(t.Settings().FrameWidth, 32);
    EXPECT_EQ(t.Settings().FrameHeight, 16);
    EXPECT_FALSE(other.Touched());
}

TEST(HostileInput, SequencePatternMatching) {
    EXPECT_TRUE(MatchesSequencePattern("/a/img%d.jpg", "/a/img1.jpg"));
    EXPECT_TRUE(MatchesSequencePattern("/a/img%d.jpg", "/a/img12345.jpg"));
    EXPECT_TRUE(MatchesSequencePattern("/a/img%03d.jpg", "/a/img007.jpg"));
    EXPECT_TRUE(MatchesSequencePattern("/a/100%%_%d.png", "/a/100%_4.png"));
    EXPECT_FALSE(MatchesSequencePattern("/a/img%03d.jpg", "/a/img7.jpg"));
    EXPECT_FALSE(MatchesSequencePattern("/a/img%d.jpg", "/b/img1.jpg"));
    EXPECT_FALSE(MatchesSequencePattern("/a/img%d.jpg", "/a/img.jpg"));
    EXPECT_FALSE(MatchesSequencePattern("/a/img%d.jpg", "/a/img1.jpg.txt"));
    EXPECT_FALSE(MatchesSequencePattern("/a/img%d.jpg", "/a/img1/../../etc/x.jpg"));
    EXPECT_FALSE(MatchesSequencePattern("/a/img.jpg", "/a/img.jpg")); // no number: not a sequence
    EXPECT_FALSE(MatchesSequencePattern("/a/%d%d.jpg", "/a/12.jpg"));
    EXPECT_FALSE(MatchesSequencePattern("/a/%s.jpg", "/a/x.jpg"));
}

TEST(HostileInput, StopRequestAndDeadlineInterruptReading) {
    test::RequireLibraries();
    TCustomTranscoder stopped;
    stopped.RequestStop();
    EXPECT_FALSE(stopped.OpenInput(Fixture(kSource).string()));
    EXPECT_FALSE(stopped.LastError().empty());

    bool stop = false;
    InputGuard guard(Fixture(kSource).string(), [&stop] { return stop; });
    EXPECT_FALSE(guard.Interrupted());
    stop = true;
    EXPECT_TRUE(guard.Interrupted());
    stop = false;
    guard.StartDeadline(std::chrono::seconds(-1)); // already over
    EXPECT_TRUE(guard.DeadlinePassed());
    // An open that runs past its deadline gives up.
    AVFormatContext* ctx = ff::format.avformat_alloc_context();
    guard.Attach(ctx);
    ff::Dictionary opts;
    opts.Set("protocol_whitelist", "file");
    EXPECT_EQ(
        ff::format.avformat_open_input(&ctx, Fixture(kSource).c_str(), nullptr, opts.Address()),
        AVERROR_EXIT);
    guard.ClearDeadline();
    EXPECT_FALSE(guard.Interrupted());
    guard.StartDeadline(); // the real limit does not pass in a test's time
    EXPECT_FALSE(guard.DeadlinePassed());
}

TEST(HostileInput, DirectoryAsInputIsAnError) {
    test::RequireLibraries();
    test::TempDir dir;
    fs::create_directory(dir / "movie.mov");
    TCustomTranscoder t;
    EXPECT_FALSE(t.OpenInput((dir / "movie.mov").string()));
    EXPECT_FALSE(t.LastError().empty());
    EXPECT_EQ(t.InputFileCount(), 0);
}

// The input loses its contents (or its name) between opening and the run.
TEST(HostileInput, InputVanishingBeforeTheRun) {
    test::RequireLibraries();
    for (const bool truncate : {true, false}) {
        test::TempDir dir;
        const fs::path input = dir / "in.mov";
        const fs::path output = dir / "out.mp4";
        fs::copy_file(Fixture(kSource), input);
        TCustomTranscoder t;
        ASSERT_TRUE(t.OpenInput(input.string())) << t.LastError();
        t.ApplyOptionText("vcodec=mpeg4\ns=64x48\nacodec=aac");
        ASSERT_TRUE(t.OpenOutput(output.string())) << t.LastError();
        if (truncate)
            fs::resize_file(input, 0);
        fs::remove(input);
        t.Start(false);
        EXPECT_TRUE(t.Terminated());
        // Whatever the run made of what was still readable must be a readable file; an
        // output nothing was written to is not left behind.
        if (fs::exists(output)) {
            EXPECT_TRUE(test::ReadBack(output).opened) << test::Describe(test::ReadBack(output));
        }
    }
}

TEST(HostileInput, UnwritableOutputIsAClearError) {
    test::RequireLibraries();
    test::TempDir dir;
    const fs::path missingFolder = dir / "no such folder" / "out.mp4";
    const fs::path folder = dir / "folder.mp4";
    fs::create_directory(folder);
    for (const fs::path& out : {missingFolder, folder}) {
        TCustomTranscoder t;
        ASSERT_TRUE(t.OpenInput(Fixture(kSource).string()));
        EXPECT_FALSE(t.OpenOutput(out.string()));
        EXPECT_EQ(t.LastError(), "Could not open '" + out.string() + "'");
        // Run anyway (as a careless caller might): it fails with the same text.
        t.Start(false);
        EXPECT_TRUE(t.Terminated());
        EXPECT_FALSE(t.Finished());
        EXPECT_TRUE(t.ExceptionRaised());
        EXPECT_EQ(t.ExceptionMessage(), "Could not open '" + out.string() + "'");
    }
    EXPECT_FALSE(fs::exists(missingFolder.parent_path()));
    EXPECT_TRUE(fs::is_directory(folder)); // never removed as if it were our output
    EXPECT_TRUE(fs::is_empty(folder));
}

} // namespace
} // namespace corvina::engine

namespace corvina::engine {
namespace {

// Inputs the fuzz targets found, kept in tests/data/fuzz/ in the convert target's form: the
// first byte picks the input's extension, the second the output options, the rest is the
// file.
fs::path FuzzInput(const std::string& name) {
    return fs::path(__FILE__).parent_path().parent_path() / "data" / "fuzz" / name;
}

const char* const kFuzzExtensions[] = {".mov",  ".mp4", ".m4a",  ".avi",      ".mkv",
                                       ".rmvb", ".avs", ".m3u8", ".ffconcat", ".srt",
                                       ".ts",   ".flv", ".wav",  ".mp3"};
const char* const kFuzzOutputOptions[] = {
    "t=1\nvcodec=mpeg4\ns=64x48\nr=10\nacodec=aac\nar=22050\nac=1",
    "t=1\nvcodec=mpeg4\ns=64x48\nr=10\nan=1",
    "t=1\nvn=1\nacodec=aac\nar=22050\nac=1",
};

// A timestamp that jumps far ahead asked for billions of copies of one picture: the run
// never ended and the muxer's index grew without bound. Now such a jump is a discontinuity.
TEST(HostileInput, TimestampJumpDoesNotMultiplyPictures) {
    test::RequireLibraries();
    std::ifstream in(FuzzInput("convert-flv-timestamp-jump"), std::ios::binary);
    ASSERT_TRUE(in) << FuzzInput("convert-flv-timestamp-jump");
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 2u);
    test::TempDir dir;
    const fs::path input =
        dir / (std::string("input") + kFuzzExtensions[static_cast<uint8_t>(bytes[0]) % 14]);
    test::WriteText(input, bytes.substr(2));
    const fs::path output = dir / "output.mp4";

    TCustomTranscoder t;
    ASSERT_TRUE(t.OpenInput(input.string())) << t.LastError();
    t.ApplyOptionText(kFuzzOutputOptions[static_cast<uint8_t>(bytes[1]) % 3]);
    ASSERT_TRUE(t.OpenOutput(output.string())) << t.LastError();
    t.Start(false);
    EXPECT_TRUE(t.Terminated());
    if (fs::exists(output)) {
        const test::MediaInfo back = test::ReadBack(output, {.decode = false});
        if (const test::StreamInfo* v = back.Video()) {
            EXPECT_LE(v->packets, 10 * 10 + 1) << test::Describe(back); // 10 s at 10 fps
        }
    }
}

TEST(HostileInput, VideoSyncFillsOnlyShortGaps) {
    const AVRational k25{1, 25};
    // Five seconds behind: copies fill the gap.
    EXPECT_EQ(DecideVideoSync(1, k25, 5.0, 0).Frames, 125);
    // Beyond the limit: one picture, the output continues at the new position.
    VideoSyncDecision d = DecideVideoSync(1, k25, 3600.0, 0);
    EXPECT_EQ(d.Frames, 1);
    EXPECT_EQ(d.SyncOpts, 3600 * 25);
    d = DecideVideoSync(-1, k25, 1e300, 7);
    EXPECT_EQ(d.Frames, 1);
    EXPECT_GT(d.SyncOpts, 7);
}

} // namespace
} // namespace corvina::engine
