// The `target` presets: norm parsing and guessing, each type's settings, and that the values
// reach the encoders and the muxer; then whole conversions read back.
#include "engine/Transcoder.h"
#include "tests/support/Fixtures.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace corvina::engine {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

#define EXPECT_REFUSED(statement, text)                                                            \
    EXPECT_THAT([&] { statement; }, ThrowsMessage<ETranscodeError>(StrEq(text)))

class TestTranscoder : public TCustomTranscoder {
public:
    using TCustomTranscoder::CodecOptionContext;
    using TCustomTranscoder::FormatOptionContext;
};

class Target : public ::testing::Test {
protected:
    void SetUp() override {
        test::RequireLibraries();
        t_ = std::make_unique<TestTranscoder>();
        t_->OnLog = [this](int level, const std::string& text) {
            log_.push_back(std::to_string(level) + " " + text);
        };
    }

    void Set(const std::string& name, const std::string& value) { t_->SetOption(name, value); }
    const EngineSettings& S() const { return t_->Settings(); }
    int64_t OptionInt(int type, const char* option) const {
        int64_t v = 0;
        EXPECT_GE(ff::util.av_opt_get_int(t_->CodecOptionContext(type), option, 0, &v), 0)
            << option;
        return v;
    }
    int64_t VideoInt(const char* option) const { return OptionInt(kMediaVideo, option); }
    int64_t PacketSize() const {
        int64_t v = 0;
        EXPECT_GE(ff::util.av_opt_get_int(t_->FormatOptionContext(), "packetsize", 0, &v), 0);
        return v;
    }
    std::string FormatName() const { return S().OutputFormat ? S().OutputFormat->name : ""; }
    std::string PixFmt() const {
        const char* name = ff::util.av_get_pix_fmt_name(AVPixelFormat(S().FramePixFmt));
        return name ? name : "";
    }
    int AssumingLines() const {
        int n = 0;
        for (const std::string& l : log_)
            n += l.find("Assuming") != std::string::npos;
        return n;
    }
    bool RateIs(int num, int den) const {
        return S().FrameRate.num == num && S().FrameRate.den == den;
    }

    std::unique_ptr<TestTranscoder> t_;
    std::vector<std::string> log_;
};

TEST_F(Target, PalVcdSetsTheWholeEncodingWithoutGuessing) {
    Set("target", " pal-vcd ");
    EXPECT_EQ(AssumingLines(), 0);
    EXPECT_EQ(S().VideoCodecName, "mpeg1video");
    EXPECT_EQ(S().AudioCodecName, "mp2");
    EXPECT_EQ(FormatName(), "vcd");
    EXPECT_EQ(S().FrameWidth, 352);
    EXPECT_EQ(S().FrameHeight, 288);
    EXPECT_TRUE(RateIs(25, 1));
    EXPECT_EQ(S().FramePixFmt, -1);
    EXPECT_EQ(VideoInt("g"), 15);
    EXPECT_EQ(VideoInt("b"), 1150000);
    EXPECT_EQ(VideoInt("maxrate"), 1150000);
    EXPECT_EQ(VideoInt("minrate"), 1150000);
    EXPECT_EQ(VideoInt("bufsize"), 327680);
    EXPECT_EQ(OptionInt(kMediaAudio, "b"), 224000);
    EXPECT_EQ(S().AudioSampleRate, 44100);
    EXPECT_EQ(S().AudioChannels, 2);
    EXPECT_EQ(PacketSize(), 2324);
    EXPECT_STREQ(t_->MuxerPrivateOptions().Get("muxrate"), "1411200");
    EXPECT_FLOAT_EQ(S().MuxPreload, 0.44f);
    EXPECT_FLOAT_EQ(S().FrameAspectRatio, 4.0f / 3.0f);
    EXPECT_EQ(t_->EncoderPrivateOptions(kMediaVideo).Get("scan_offset"), nullptr);
}

TEST_F(Target, GuessedNormComesFromTheFrameRate) {
    Set("r", "30000/1001");
    Set("target", "vcd");
    EXPECT_THAT(log_, ::testing::ElementsAre("1 Assuming NTSC for target."));
    EXPECT_EQ(S().FrameWidth, 352);
    EXPECT_EQ(S().FrameHeight, 240);
    EXPECT_EQ(VideoInt("g"), 18);
    EXPECT_TRUE(RateIs(30000, 1001));

    // A film rate guesses NTSC, and the preset puts the NTSC rate in its place.
    log_.clear();
    Set("r", "24000/1001");
    Set("target", "svcd");
    EXPECT_THAT(log_, ::testing::ElementsAre("1 Assuming NTSC for target."));
    EXPECT_TRUE(RateIs(30000, 1001));
    EXPECT_EQ(S().FrameHeight, 480);

    log_.clear();
    Set("r", "25");
    Set("target", "dvd");
    EXPECT_THAT(log_, ::testing::ElementsAre("1 Assuming PAL for target."));
    EXPECT_EQ(S().FrameHeight, 576);
    EXPECT_EQ(VideoInt("g"), 15);

    // Quiet at verbosity 0, and the norm is still guessed.
    log_.clear();
    t_->SetVerbosity(0);
    Set("r", "30000/1001");
    Set("target", "vcd");
    t_->SetVerbosity(1);
    EXPECT_EQ(AssumingLines(), 0);
    EXPECT_EQ(S().FrameHeight, 240);
}

TEST_F(Target, RefusalsAndTheirOrder) {
    EXPECT_REFUSED(Set("target", "dvd"), "frame_rate is invalid.");
    // The norm is resolved before the type is looked at.
    EXPECT_REFUSED(Set("target", "xyz"), "frame_rate is invalid.");
    EXPECT_REFUSED(Set("target", "ntsc-xyz"), "Unknown target type");
    EXPECT_REFUSED(Set("target", "pal-VCD"), "Unknown target type");
    EXPECT_REFUSED(Set("target", "pal-"), "Unknown target type");
    // A norm prefix is matched exactly; otherwise the whole value is the type.
    Set("r", "25");
    EXPECT_REFUSED(Set("target", "PAL-vcd"), "Unknown target type");
    // Nothing of a preset is applied for an unknown type.
    EXPECT_EQ(S().FrameWidth, 0);
    EXPECT_TRUE(S().VideoCodecName.empty());
    EXPECT_EQ(S().OutputFormat, nullptr);
    EXPECT_TRUE(t_->GenericOptionNames().empty());
}

TEST_F(Target, UndecidedRateFallsBackToInputsThenTheDefaultNorm) {
    // A rate that names no norm: no inputs, so the default decides.
    Set("r", "15");
    Set("target", "vcd");
    EXPECT_EQ(S().FrameHeight, 240);
    EXPECT_THAT(log_, ::testing::ElementsAre("1 Assuming NTSC for target."));

    Set("r", "15");
    t_->ApplyTargetPreset("vcd", "auto", "pal");
    EXPECT_EQ(S().FrameHeight, 288);
    Set("r", "15");
    t_->ApplyTargetPreset("vcd", "", "film");
    EXPECT_TRUE(RateIs(24000, 1001));
    EXPECT_EQ(S().FrameHeight, 240);
    EXPECT_EQ(log_.back(), "1 Assuming NTSC for target."); // FILM is reported as NTSC

    // The explicit norms through the same entry point.
    t_->ApplyTargetPreset("dvd", "film", "pal");
    EXPECT_TRUE(RateIs(24000, 1001));
    EXPECT_EQ(S().FrameHeight, 480);
    t_->ApplyTargetPreset("dvd", "pal", "ntsc");
    EXPECT_TRUE(RateIs(25, 1));
}

TEST_F(Target, UndecidedRateTakesTheNormOfTheFirstDecidingInputVideo) {
    struct Case {
        const char* input;
        int height;
        const char* logged;
    };
    const Case cases[] = {
        {"h264_aac_640x480_25.mov", 576, "1 Assuming PAL for target."},
        {"mpeg4_aac_854x480_30000_1001.mp4", 480, "1 Assuming NTSC for target."},
        {"h264_aac_640x480_24000_1001.m4v", 480, "1 Assuming NTSC for target."},
        // 15 fps names no norm: the default does, with the PAL default given here.
        {"h264_aac_mono_176x144_15.mov", 576, "1 Assuming PAL for target."},
        // No video stream at all.
        {"aac_44100_stereo.m4a", 576, "1 Assuming PAL for target."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        TestTranscoder t;
        std::vector<std::string> log;
        t.OnLog = [&log](int level, const std::string& text) {
            log.push_back(std::to_string(level) + " " + text);
        };
        ASSERT_TRUE(t.OpenInput(test::Fixture(c.input).string())) << t.LastError();
        t.SetOption("r", "15");
        t.ApplyTargetPreset("svcd", "auto", "pal");
        EXPECT_EQ(t.Settings().FrameHeight, c.height);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), c.logged);
    }

    // The first input that decides wins, in input order.
    TestTranscoder t;
    ASSERT_TRUE(t.OpenInput(test::Fixture("h264_aac_mono_176x144_15.mov").string()));
    ASSERT_TRUE(t.OpenInput(test::Fixture("h264_aac_640x480_24000_1001.m4v").string()));
    ASSERT_TRUE(t.OpenInput(test::Fixture("h264_aac_640x480_25.mov").string()));
    t.SetOption("r", "15");
    t.ApplyTargetPreset("dvd", "auto", "pal");
    EXPECT_EQ(t.Settings().FrameHeight, 480);
}

TEST_F(Target, CamcorderFormatsSetSizeAndPixelFormatOnly) {
    Set("vcodec", "dvvideo");
    Set("acodec", "pcm_s16le");
    Set("ac", "6");
    Set("ar", "22050");
    Set("target", "film-dv");
    EXPECT_EQ(S().FrameWidth, 720);
    EXPECT_EQ(S().FrameHeight, 480);
    EXPECT_EQ(PixFmt(), "yuv411p");
    EXPECT_TRUE(RateIs(24000, 1001));
    EXPECT_EQ(FormatName(), "dv");
    EXPECT_EQ(S().AudioSampleRate, 48000);
    EXPECT_EQ(S().AudioChannels, 2);
    EXPECT_EQ(S().VideoCodecName, "dvvideo"); // codecs are left as they were
    EXPECT_EQ(S().AudioCodecName, "pcm_s16le");
    EXPECT_TRUE(t_->GenericOptionNames().empty());
    EXPECT_EQ(t_->MuxerPrivateOptions().Count(), 0);
    EXPECT_FLOAT_EQ(S().FrameAspectRatio, 0);
    EXPECT_FLOAT_EQ(S().MuxPreload, 0.5f);

    Set("target", "pal-dv50");
    EXPECT_EQ(S().FrameWidth, 720);
    EXPECT_EQ(S().FrameHeight, 576);
    EXPECT_EQ(PixFmt(), "yuv422p");
    EXPECT_TRUE(RateIs(25, 1));

    Set("target", "pal-dv");
    EXPECT_EQ(PixFmt(), "yuv420p");
    Set("target", "ntsc-dv50");
    EXPECT_EQ(S().FrameHeight, 480);
    EXPECT_EQ(PixFmt(), "yuv422p");
    EXPECT_EQ(AssumingLines(), 0);
}

TEST_F(Target, SuperVideoCdKeepsMoreThanOneChannel) {
    Set("ac", "6");
    Set("ar", "22050");
    Set("target", "ntsc-svcd");
    EXPECT_EQ(S().AudioChannels, 6);
    EXPECT_EQ(S().AudioSampleRate, 44100);
    EXPECT_EQ(S().VideoCodecName, "mpeg2video");
    EXPECT_EQ(FormatName(), "svcd");
    EXPECT_EQ(S().FrameWidth, 480);
    EXPECT_EQ(S().FrameHeight, 480);
    EXPECT_EQ(VideoInt("b"), 2040000);
    EXPECT_EQ(VideoInt("maxrate"), 2516000);
    EXPECT_EQ(VideoInt("minrate"), 0);
    EXPECT_EQ(VideoInt("bufsize"), 1835008);
    EXPECT_STREQ(t_->EncoderPrivateOptions(kMediaVideo).Get("scan_offset"), "1");
    EXPECT_EQ(PacketSize(), 2324);
    EXPECT_EQ(t_->MuxerPrivateOptions().Get("muxrate"), nullptr);
    EXPECT_FLOAT_EQ(S().MuxPreload, 0.5f);

    Set("ac", "1");
    Set("target", "ntsc-svcd");
    EXPECT_EQ(S().AudioChannels, 2);

    // DVD follows the same rule; VCD is always stereo.
    Set("ac", "6");
    Set("target", "pal-dvd");
    EXPECT_EQ(S().AudioChannels, 6);
    EXPECT_EQ(S().AudioSampleRate, 48000);
    Set("target", "pal-vcd");
    EXPECT_EQ(S().AudioChannels, 2);
}

TEST_F(Target, AnAspectRatioAlreadyGivenIsKept) {
    Set("aspect", "16:9");
    Set("target", "ntsc-vcd");
    EXPECT_FLOAT_EQ(S().FrameAspectRatio, 16.0f / 9.0f);

    TestTranscoder fresh;
    fresh.SetOption("target", "pal-dvd");
    EXPECT_FLOAT_EQ(fresh.Settings().FrameAspectRatio, 16.0f / 9.0f);
    fresh.SetOption("target", "pal-vcd"); // the preset's own earlier value counts as given
    EXPECT_FLOAT_EQ(fresh.Settings().FrameAspectRatio, 16.0f / 9.0f);
}

// --- The values where the encoders and the muxer see them ---

struct Opened {
    std::unique_ptr<TestTranscoder> t;
    const AVCodecContext* video = nullptr;
    const AVCodecContext* audio = nullptr;
    const OutputStreamSetup* videoSetup = nullptr;
};

Opened OpenWithTarget(const test::TempDir& dir, const std::string& target) {
    Opened o;
    o.t = std::make_unique<TestTranscoder>();
    EXPECT_TRUE(o.t->OpenInput(test::Fixture("h264_aac_640x480_25.mov").string()))
        << o.t->LastError();
    o.t->SetOption("target", target);
    EXPECT_TRUE(o.t->OpenOutput((dir / (target + ".mpg")).string())) << o.t->LastError();
    if (o.t->OutputFileCount() != 1)
        return o;
    for (const auto& s : o.t->Output(0).Streams) {
        if (s->Enc->codec_type == AVMEDIA_TYPE_VIDEO) {
            o.video = s->Enc.get();
            o.videoSetup = s.get();
        } else if (s->Enc->codec_type == AVMEDIA_TYPE_AUDIO) {
            o.audio = s->Enc.get();
        }
    }
    return o;
}

TEST(TargetOutput, PresetValuesReachTheEncodersAndTheMuxer) {
    test::RequireLibraries();
    test::TempDir dir;
    {
        const Opened o = OpenWithTarget(dir, "pal-dvd");
        ASSERT_TRUE(o.video && o.audio);
        EXPECT_EQ(o.video->codec_id, AV_CODEC_ID_MPEG2VIDEO);
        EXPECT_EQ(o.video->gop_size, 15);
        EXPECT_EQ(o.video->bit_rate, 6000000);
        EXPECT_EQ(o.video->rc_max_rate, 9000000);
        EXPECT_EQ(o.video->rc_min_rate, 0);
        EXPECT_EQ(o.video->rc_buffer_size, 1835008);
        EXPECT_EQ(o.video->width, 720);
        EXPECT_EQ(o.video->height, 576);
        EXPECT_EQ(o.audio->codec_id, AV_CODEC_ID_AC3);
        EXPECT_EQ(o.audio->bit_rate, 448000);
        EXPECT_EQ(o.audio->sample_rate, 48000);
        EXPECT_EQ(o.videoSetup->EncoderOptions.Get("scan_offset"), nullptr);
        const OutputFile& f = o.t->Output(0);
        EXPECT_STREQ(f.Ctx->oformat->name, "dvd");
        EXPECT_EQ(f.Ctx->packet_size, 2048u);
        EXPECT_STREQ(f.MuxerOptions.Get("muxrate"), "10080000");
    }
    {
        const Opened o = OpenWithTarget(dir, "ntsc-svcd");
        ASSERT_TRUE(o.video && o.audio);
        EXPECT_EQ(o.video->gop_size, 18);
        EXPECT_EQ(o.video->bit_rate, 2040000);
        EXPECT_EQ(o.video->rc_max_rate, 2516000);
        EXPECT_EQ(o.video->rc_buffer_size, 1835008);
        EXPECT_STREQ(o.videoSetup->EncoderOptions.Get("scan_offset"), "1");
        EXPECT_EQ(o.audio->bit_rate, 224000);
        const OutputFile& f = o.t->Output(0);
        EXPECT_STREQ(f.Ctx->oformat->name, "svcd");
        EXPECT_EQ(f.Ctx->packet_size, 2324u);
        EXPECT_EQ(f.MuxerOptions.Get("muxrate"), nullptr);
    }
    {
        const Opened o = OpenWithTarget(dir, "ntsc-vcd");
        ASSERT_TRUE(o.video && o.audio);
        EXPECT_EQ(o.video->codec_id, AV_CODEC_ID_MPEG1VIDEO);
        EXPECT_EQ(o.video->gop_size, 18);
        EXPECT_EQ(o.video->rc_min_rate, 1150000);
        EXPECT_EQ(o.video->rc_buffer_size, 327680);
        const OutputFile& f = o.t->Output(0);
        EXPECT_STREQ(f.MuxerOptions.Get("muxrate"), "1411200");
        EXPECT_STREQ(f.MuxerOptions.Get("preload"), "440000");
    }
}

// --- Whole conversions ---

struct Conversion {
    const char* target;
    const char* extension;
    const char* videoCodec;
    int width, height;
    int fpsNum, fpsDen;
    const char* audioCodec;
    int sampleRate;
};

// clang-format off
const Conversion kConversions[] = {
    {"pal-vcd",   "mpg", "mpeg1video", 352, 288, 25, 1,       "mp2",       44100},
    {"ntsc-svcd", "mpg", "mpeg2video", 480, 480, 30000, 1001, "mp2",       44100},
    {"pal-dvd",   "mpg", "mpeg2video", 720, 576, 25, 1,       "ac3",       48000},
    {"ntsc-dv",   "dv",  "dvvideo",    720, 480, 30000, 1001, "pcm_s16le", 48000},
};
// clang-format on

void PrintTo(const Conversion& c, std::ostream* os) {
    *os << c.target;
}

class TargetConversion : public ::testing::TestWithParam<Conversion> {};

TEST_P(TargetConversion, ReadsBackAsTheDiscFormat) {
    test::RequireLibraries();
    const Conversion& p = GetParam();
    test::TempDir dir;
    const std::string output = (dir / (std::string("out.") + p.extension)).string();

    TCustomTranscoder t;
    std::string log;
    t.OnLog = [&log](int, const std::string& text) { log += text + "\n"; };
    t.ApplyOptionText("");
    ASSERT_TRUE(t.OpenInput(test::Fixture("h264_aac_640x480_25.mov").string())) << t.LastError();
    t.ApplyOptionText(std::string("target=") + p.target + "\nt=1");
    ASSERT_TRUE(t.OpenOutput(output)) << t.LastError();
    t.Start(false);
    ASSERT_TRUE(t.Finished()) << t.ExceptionMessage() << "\n" << log;
    ASSERT_FALSE(t.ExceptionRaised()) << t.ExceptionMessage();

    const test::MediaInfo info = test::ReadBack(output);
    ASSERT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    const test::StreamInfo* v = info.Video();
    const test::StreamInfo* a = info.Audio();
    ASSERT_TRUE(v && a) << test::Describe(info);
    EXPECT_EQ(v->codec, p.videoCodec);
    EXPECT_EQ(v->width, p.width);
    EXPECT_EQ(v->height, p.height);
    const double fps = static_cast<double>(p.fpsNum) / p.fpsDen;
    if (v->avgFrameRate.known()) {
        EXPECT_NEAR(v->avgFrameRate.value(), fps, 0.01) << test::Describe(info);
    }
    // One second at the preset's rate, whatever rate the input had.
    EXPECT_NEAR(static_cast<double>(v->frames), fps, 2) << test::Describe(info);
    EXPECT_EQ(a->codec, p.audioCodec);
    EXPECT_EQ(a->sampleRate, p.sampleRate);
    EXPECT_EQ(a->channels, 2);
    EXPECT_NEAR(a->decodedSeconds(), 1.0, 0.15) << test::Describe(info);
}

INSTANTIATE_TEST_SUITE_P(Presets, TargetConversion, ::testing::ValuesIn(kConversions),
                         [](const auto& info) {
                             std::string name = info.param.target;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace corvina::engine
