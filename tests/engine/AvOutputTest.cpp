// Whole conversions through the engine's encoding path: the catalogue's container and
// encoder pairings, synchronisation, crop and pad, frame limits, stop requests, two-pass,
// vstats and subtitles. Every output is verified by reading it back with the libraries.
#include "engine/Transcoder.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

namespace corvina::engine {
namespace {

using test::Fixture;

struct Conversion {
    bool opened = false;
    bool finished = false;
    std::string error;
    std::vector<std::string> log;
    test::MediaInfo out;
};

// One job run synchronously; `onLog` may act on the job (e.g. ask it to stop).
Conversion Convert(const std::string& input, const std::string& output,
                   const std::string& outputOptions, const std::string& inputOptions = "",
                   std::function<void(TCustomTranscoder&, const std::string&)> onLog = {}) {
    Conversion c;
    TCustomTranscoder t;
    t.OnLog = [&](int, const std::string& text) {
        c.log.push_back(text);
        if (onLog)
            onLog(t, text);
    };
    t.ApplyOptionText(inputOptions);
    if (!t.OpenInput(input)) {
        c.error = "input: " + t.LastError();
        return c;
    }
    t.ApplyOptionText(outputOptions);
    if (!t.OpenOutput(output)) {
        c.error = "output: " + t.LastError();
        return c;
    }
    c.opened = true;
    t.Start(false);
    c.finished = t.Finished();
    if (t.ExceptionRaised())
        c.error = t.ExceptionMessage();
    c.out = test::ReadBack(output);
    return c;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

double Span(const test::StreamInfo& s) {
    return s.endTime - s.firstTime;
}

// ---------------------------------------------------------------- pairings

struct Pairing {
    const char* name; // test name and output file stem
    const char* input;
    const char* extension;
    const char* options;
    const char* videoCodec; // empty: audio only
    int width, height;
    double fps; // 0: the container does not state it reliably
    const char* audioCodec;
    int sampleRate, channels;
};

// clang-format off
const Pairing kPairings[] = {
    {"ThreeGpMpeg4AmrNb", "h264_aac_mono_176x144_15.mov", "3gp",
     "vcodec=mpeg4\ns=176x144\nr=15\nacodec=libamr_nb\nar=8000\nac=1\nab=12200",
     "mpeg4", 176, 144, 15, "amr_nb", 8000, 1},
    {"ThreeGpH263Aac", "h264_aac_640x480_25.mov", "3gp",
     "vcodec=h263\ns=176x144\nacodec=aac\nar=22050\nac=1",
     "h263", 176, 144, 25, "aac", 22050, 1},
    {"AviMpeg4Pcm", "h264_aac_640x480_25.mov", "avi",
     "vcodec=mpeg4\ns=320x240\nacodec=pcm_s16le",
     "mpeg4", 320, 240, 25, "pcm_s16le", 44100, 2},
    {"AviXvidMp3", "mpeg4_aac_854x480_30000_1001.mp4", "avi",
     "vcodec=libxvid\ns=320x240\nacodec=libmp3lame\nar=44100\nab=128000",
     "mpeg4", 320, 240, 30000.0 / 1001, "mp3", 44100, 2},
    {"AviMsmpeg4Mp2", "h264_aac_640x480_25.mov", "avi",
     "vcodec=msmpeg4\ns=320x240\nacodec=mp2\nar=44100",
     "msmpeg4v3", 320, 240, 25, "mp2", 44100, 2},
    {"FlvFlvMp3", "h264_aac_640x480_25.mov", "flv",
     "vcodec=flv\ns=320x240\nacodec=libmp3lame\nar=44100",
     "flv1", 320, 240, 0, "mp3", 44100, 2},
    {"Mp4X264Aac", "mpeg4_aac_854x480_30000_1001.mp4", "mp4",
     "vcodec=libx264\ns=320x240\nr=30000/1001\nacodec=aac\nar=48000",
     "h264", 320, 240, 30000.0 / 1001, "aac", 48000, 2},
    {"MpgMpeg1Mp2", "h264_aac_640x480_25.mov", "mpg",
     "vcodec=mpeg1video\ns=352x288\nacodec=mp2\nar=44100",
     "mpeg1video", 352, 288, 25, "mp2", 44100, 2},
    {"MpgMpeg2Mp2", "h264_aac_640x480_24000_1001.m4v", "mpg",
     "vcodec=mpeg2video\ns=352x240\nacodec=mp2\nar=48000",
     "mpeg2video", 352, 240, 24000.0 / 1001, "mp2", 48000, 2},
    {"WmvWmv2Wmav2", "h264_aac_640x480_24000_1001.m4v", "wmv",
     "vcodec=wmv2\ns=320x240\nacodec=wmav2",
     "wmv2", 320, 240, 0, "wmav2", 44100, 2},
    {"RmRv10Ac3", "h264_aac_640x480_25.mov", "rm",
     "vcodec=rv10\ns=320x240\nacodec=ac3\nar=44100",
     "rv10", 320, 240, 0, "ac3", 44100, 2},
    {"RmRv20Ac3", "rv20_ac3.rmvb", "rm",
     "vcodec=rv20\ns=176x144\nacodec=ac3\nar=48000",
     "rv20", 176, 144, 0, "ac3", 48000, 2},
    {"OggVorbis", "aac_44100_stereo.m4a", "ogg",
     "acodec=vorbis",
     "", 0, 0, 0, "vorbis", 44100, 2},
    {"WavStereoToMono", "aac_44100_stereo.m4a", "wav",
     "acodec=pcm_s16le\nac=1",
     "", 0, 0, 0, "pcm_s16le", 44100, 1},
};
// clang-format on

void PrintTo(const Pairing& p, std::ostream* os) {
    *os << p.name;
}

class Pairings : public ::testing::TestWithParam<Pairing> {};

TEST_P(Pairings, ConvertsAndReadsBack) {
    test::RequireLibraries();
    const Pairing& p = GetParam();
    const test::FixtureSpec* fixtureRow = test::FindFixture(p.input);
    ASSERT_TRUE(fixtureRow);
    test::TempDir dir;
    const std::string output = (dir / (std::string(p.name) + "." + p.extension)).string();
    const Conversion c = Convert(Fixture(p.input).string(), output, p.options);
    ASSERT_TRUE(c.opened) << c.error;
    ASSERT_TRUE(c.finished) << c.error << "\n" << Joined(c.log);
    ASSERT_TRUE(c.out.DecodesCleanly()) << test::Describe(c.out);

    const test::StreamInfo* a = c.out.Audio();
    ASSERT_TRUE(a) << test::Describe(c.out);
    EXPECT_EQ(a->codec, p.audioCodec);
    EXPECT_EQ(a->sampleRate, p.sampleRate);
    EXPECT_EQ(a->channels, p.channels);
    EXPECT_NEAR(a->decodedSeconds(), fixtureRow->seconds(), 0.1) << test::Describe(c.out);

    if (!*p.videoCodec) {
        EXPECT_EQ(c.out.Video(), nullptr);
        return;
    }
    const test::StreamInfo* v = c.out.Video();
    ASSERT_TRUE(v) << test::Describe(c.out);
    EXPECT_EQ(v->codec, p.videoCodec);
    EXPECT_EQ(v->width, p.width);
    EXPECT_EQ(v->height, p.height);
    if (p.fps > 0 && v->avgFrameRate.known()) {
        EXPECT_NEAR(v->avgFrameRate.value(), p.fps, p.fps * 0.01);
    }
    const double expectedFps = p.fps > 0 ? p.fps : fixtureRow->fps();
    EXPECT_NEAR(static_cast<double>(v->frames), fixtureRow->seconds() * expectedFps, 2)
        << test::Describe(c.out);
    EXPECT_NEAR(Span(*v), a->decodedSeconds(), 0.1) << test::Describe(c.out);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, Pairings, ::testing::ValuesIn(kPairings),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- video synchronisation

struct VideoRun {
    Conversion c;
    int64_t frames = 0;
};

VideoRun VideoOnly(const std::string& options, const std::string& stem = "v",
                   std::function<void(TCustomTranscoder&, const std::string&)> onLog = {}) {
    test::TempDir dir;
    VideoRun r;
    r.c = Convert(Fixture("h264_aac_640x480_25.mov").string(), (dir / (stem + ".avi")).string(),
                  "vcodec=mpeg4\nan=1\ns=160x120\n" + options, "", std::move(onLog));
    if (const test::StreamInfo* v = r.c.out.Video())
        r.frames = v->frames;
    return r;
}

TEST(VideoOutput, HigherRateDuplicatesAndLowerRateDrops) {
    test::RequireLibraries();
    const VideoRun same = VideoOnly("r=25");
    ASSERT_TRUE(same.c.finished) << same.c.error;
    EXPECT_EQ(same.frames, 75);

    const VideoRun doubled = VideoOnly("r=50");
    ASSERT_TRUE(doubled.c.finished) << doubled.c.error;
    EXPECT_NEAR(static_cast<double>(doubled.frames), 150, 2);

    const VideoRun reduced = VideoOnly("r=10");
    ASSERT_TRUE(reduced.c.finished) << reduced.c.error;
    EXPECT_NEAR(static_cast<double>(reduced.frames), 30, 1);
}

TEST(VideoOutput, PassThroughEncodesEveryPictureOnce) {
    test::RequireLibraries();
    // At 50 frames per second without synchronisation nothing is duplicated.
    const VideoRun r = VideoOnly("r=50\nvsync=0");
    ASSERT_TRUE(r.c.finished) << r.c.error;
    EXPECT_EQ(r.frames, 75);
    ASSERT_TRUE(r.c.out.DecodesCleanly()) << test::Describe(r.c.out);
}

TEST(VideoOutput, FrameLimitStopsTheVideo) {
    test::RequireLibraries();
    const VideoRun r = VideoOnly("vframes=10");
    ASSERT_TRUE(r.c.finished) << r.c.error;
    EXPECT_EQ(r.frames, 10);
}

TEST(VideoOutput, StopDuringDuplicationWritesFewerFrames) {
    test::RequireLibraries();
    // 125 frames per second from 25: each picture becomes five frames. The first
    // duplication asks the job to stop; the loop then writes none of its copies.
    bool stopped = false;
    const VideoRun r =
        VideoOnly("r=125\nv=3", "stop", [&](TCustomTranscoder& t, const std::string& text) {
            if (!stopped && text.find("dup!") != std::string::npos) {
                stopped = true;
                t.RequestStop();
            }
        });
    ASSERT_TRUE(stopped) << Joined(r.c.log);
    EXPECT_FALSE(r.c.finished);
    EXPECT_TRUE(r.c.error.empty()) << r.c.error;
    EXPECT_LT(r.frames, 5);
    EXPECT_TRUE(r.c.out.DecodesCleanly()) << test::Describe(r.c.out);
}

TEST(VideoOutput, CropScaleAndPadGiveTheOuterSize) {
    test::RequireLibraries();
    // 640x480 cropped to 600x440, scaled to 160x120, padded by 8 rows above and below.
    // (Crop options take their bands off the frame size set so far, so the size follows.)
    const VideoRun r = VideoOnly("croptop=20\ncropbottom=20\ncropleft=20\ncropright=20\n"
                                 "s=160x120\npadtop=8\npadbottom=8");
    ASSERT_TRUE(r.c.finished) << r.c.error;
    const test::StreamInfo* v = r.c.out.Video();
    ASSERT_TRUE(v);
    EXPECT_EQ(v->width, 160);
    EXPECT_EQ(v->height, 136);
    EXPECT_EQ(v->frames, 75);
    EXPECT_TRUE(r.c.out.DecodesCleanly()) << test::Describe(r.c.out);

    // Pad without scaling: the picture keeps its size inside the border.
    test::TempDir dir;
    const Conversion p =
        Convert(Fixture("h264_aac_mono_176x144_15.mov").string(), (dir / "pad.avi").string(),
                "vcodec=mpeg4\nan=1\npadleft=16\npadright=16\npadcolor=000000");
    ASSERT_TRUE(p.finished) << p.error << Joined(p.log);
    ASSERT_TRUE(p.out.Video());
    EXPECT_EQ(p.out.Video()->width, 208);
    EXPECT_EQ(p.out.Video()->height, 144);
    EXPECT_TRUE(p.out.DecodesCleanly()) << test::Describe(p.out);
}

TEST(VideoOutput, VstatsWritesOneLinePerCodedPicture) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string stats = (dir / "vstats.log").string();
    const VideoRun r = VideoOnly("vframes=20\npsnr=1\nvstats_file=" + stats);
    ASSERT_TRUE(r.c.finished) << r.c.error;
    std::ifstream in(stats);
    ASSERT_TRUE(in) << stats;
    const std::regex line(R"(frame= +\d+ q= +[0-9.]+ PSNR= +[0-9.]+ f_size= +\d+ )"
                          R"(s_size= +\d+kB time= \d+\.\d{3} br= +[0-9.]+kbits/s )"
                          R"(avg_br= +[0-9.]+kbits/s type= [IPB])");
    int lines = 0;
    bool sawIntra = false;
    for (std::string s; std::getline(in, s); lines++) {
        EXPECT_TRUE(std::regex_match(s, line)) << s;
        sawIntra = sawIntra || s.back() == 'I';
    }
    EXPECT_EQ(lines, 20);
    EXPECT_TRUE(sawIntra);
}

TEST(VideoOutput, TwoPassWritesThenReadsItsLog) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string log = (dir / "twopass").string();
    const std::string common = "vcodec=mpeg4\nan=1\ns=160x120\nb=200000\npasslogfile=" + log + "\n";
    const std::string input = Fixture("h264_aac_640x480_25.mov").string();
    const Conversion first = Convert(input, (dir / "p1.avi").string(), common + "pass=1");
    ASSERT_TRUE(first.finished) << first.error;
    std::ifstream stats(log + "-0.log");
    ASSERT_TRUE(stats);
    std::stringstream text;
    text << stats.rdbuf();
    EXPECT_GT(text.str().size(), 75u * 20) << "one statistics line per picture";

    const Conversion second = Convert(input, (dir / "p2.avi").string(), common + "pass=2");
    ASSERT_TRUE(second.finished) << second.error << Joined(second.log);
    ASSERT_TRUE(second.out.Video());
    EXPECT_EQ(second.out.Video()->frames, 75);
    EXPECT_TRUE(second.out.DecodesCleanly()) << test::Describe(second.out);
}

TEST(VideoOutput, UnknownEncoderParametersFailTheOpen) {
    test::RequireLibraries();
    test::TempDir dir;
    // H.263 takes only its standard picture sizes.
    const Conversion c = Convert(Fixture("h264_aac_640x480_25.mov").string(),
                                 (dir / "bad.3gp").string(), "vcodec=h263\ns=200x100\nan=1");
    ASSERT_TRUE(c.opened) << c.error;
    EXPECT_FALSE(c.finished);
    EXPECT_EQ(c.error, "Error while opening codec for output stream #0.0 - maybe incorrect "
                       "parameters such as bit_rate, rate, width or height");
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.3gp")) << "an empty output is removed";
}

// ---------------------------------------------------------------- audio and subtitles

TEST(AudioOutput, VolumeAndResamplingKeepTheDuration) {
    test::RequireLibraries();
    test::TempDir dir;
    const Conversion c =
        Convert(Fixture("h264_aac_mono_176x144_15.mov").string(), (dir / "a.wav").string(),
                "acodec=pcm_s16le\nar=48000\nac=2\nvol=512");
    ASSERT_TRUE(c.finished) << c.error;
    const test::StreamInfo* a = c.out.Audio();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->sampleRate, 48000);
    EXPECT_EQ(a->channels, 2);
    EXPECT_NEAR(a->decodedSeconds(), 2.0, 0.05);
}

TEST(AudioOutput, SyncMethodsKeepAudioAlongsideVideo) {
    test::RequireLibraries();
    for (const char* async : {"async=1", "async=1000"}) {
        test::TempDir dir;
        const Conversion c =
            Convert(Fixture("h264_aac_640x480_25.mov").string(), (dir / "s.avi").string(),
                    std::string("vcodec=mpeg4\ns=160x120\nacodec=mp2\n") + async);
        ASSERT_TRUE(c.finished) << async << ": " << c.error;
        ASSERT_TRUE(c.out.DecodesCleanly()) << test::Describe(c.out);
        ASSERT_TRUE(c.out.Audio() && c.out.Video());
        EXPECT_NEAR(c.out.Audio()->decodedSeconds(), 3.0, 0.1) << async;
    }
}

TEST(AudioOutput, LateAudioStartGetsSilenceOnce) {
    test::RequireLibraries();
    // The whole input shifted by half a second: with audio synchronisation the output's
    // audio starts at 0 with 22050 samples of silence, inserted once.
    test::TempDir dir;
    const Conversion c =
        Convert(Fixture("aac_44100_stereo.m4a").string(), (dir / "late.wav").string(),
                "acodec=pcm_s16le\nasync=1\nv=3", "itsoffset=0.5");
    ASSERT_TRUE(c.finished) << c.error;
    int insertions = 0;
    for (const std::string& line : c.log)
        if (line.find("audio samples of silence") != std::string::npos) {
            insertions++;
            EXPECT_EQ(line, "adding 22050 audio samples of silence");
        }
    EXPECT_EQ(insertions, 1) << Joined(c.log);
    ASSERT_TRUE(c.out.Audio());
    EXPECT_NEAR(c.out.Audio()->decodedSeconds(), 3.5, 0.05);

    // Without synchronisation the samples are written as they come.
    const Conversion plain =
        Convert(Fixture("aac_44100_stereo.m4a").string(), (dir / "plain.wav").string(),
                "acodec=pcm_s16le", "itsoffset=0.5");
    ASSERT_TRUE(plain.finished) << plain.error;
    ASSERT_TRUE(plain.out.Audio());
    EXPECT_NEAR(plain.out.Audio()->decodedSeconds(), 3.0, 0.05);
}

TEST(SubtitleOutput, TextSubtitlesAreReencoded) {
    test::RequireLibraries();
    test::TempDir dir;
    const Conversion c =
        Convert(Fixture("h264_aac_mov_text.mov").string(), (dir / "sub.mp4").string(),
                "vcodec=mpeg4\ns=160x120\nacodec=aac\nscodec=mov_text");
    ASSERT_TRUE(c.finished) << c.error << Joined(c.log);
    const test::StreamInfo* s = c.out.Subtitle();
    ASSERT_TRUE(s) << test::Describe(c.out);
    EXPECT_EQ(s->codec, "mov_text");
    EXPECT_EQ(s->frames, test::kMovTextEvents);
    EXPECT_TRUE(c.out.DecodesCleanly()) << test::Describe(c.out);
}

} // namespace
} // namespace corvina::engine
