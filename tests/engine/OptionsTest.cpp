#include "binding/Binding.h"
#include "engine/OptionParsing.h"
#include "engine/Transcoder.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace corvina::engine {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

#define EXPECT_REFUSED(statement, text)                                                            \
    EXPECT_THAT([&] { statement; }, ThrowsMessage<ETranscodeError>(StrEq(text)))

// --- Pure parsing ---

TEST(OptionParsing, IntegerConversionIsStrictDecimalOrDollarHex) {
    EXPECT_EQ(StrToIntStrict("12"), 12);
    EXPECT_EQ(StrToIntStrict(" -5 "), -5);
    EXPECT_EQ(StrToIntStrict("$FF"), 255);
    EXPECT_EQ(StrToIntStrict("$ffffffff"), -1);
    EXPECT_EQ(StrToIntStrict("0x10"), 16);
    EXPECT_EQ(StrToIntStrict("2147483647"), 2147483647);
    EXPECT_EQ(StrToIntStrict("-2147483648"), INT_MIN);
    EXPECT_REFUSED(StrToIntStrict("2147483648"), "'2147483648' is not a valid integer value");
    EXPECT_REFUSED(StrToIntStrict("$100000000"), "'$100000000' is not a valid integer value");
    for (const char* bad : {"", " ", "12a", "1.5", "$", "$G", "+", "0x", "1 2"})
        EXPECT_REFUSED(StrToIntStrict(bad),
                       std::string("'") + bad + "' is not a valid integer value");

    EXPECT_EQ(StrToInt64Strict("5000000000"), 5000000000LL);
    EXPECT_EQ(StrToInt64Strict("-9223372036854775808"), INT64_MIN);
    EXPECT_REFUSED(StrToInt64Strict("9223372036854775808"),
                   "'9223372036854775808' is not a valid integer value");
}

TEST(OptionParsing, FloatConversionTakesDecimalPointOnly) {
    EXPECT_FLOAT_EQ(StrToFloatStrict("1.5"), 1.5f);
    EXPECT_FLOAT_EQ(StrToFloatStrict(" -0.25 "), -0.25f);
    EXPECT_FLOAT_EQ(StrToFloatStrict("1e3"), 1000.0f);
    EXPECT_FLOAT_EQ(StrToFloatStrict(".5"), 0.5f);
    EXPECT_FLOAT_EQ(StrToFloatStrict("+7"), 7.0f);
    for (const char* bad : {"", "1,5", "abc", "inf", "nan", "0x10", "1e", "1e400", "."})
        EXPECT_REFUSED(StrToFloatStrict(bad),
                       std::string("'") + bad + "' is not a valid floating point value");
    EXPECT_FLOAT_EQ(StrToFloatDef("x", 3.0f), 3.0f);
}

TEST(OptionParsing, OptionTextLines) {
    // CR LF, CR and LF all end a line; the value keeps everything after the first "=".
    EXPECT_THAT(SplitOptionText("  \r\n vcodec=mpeg4\r\nb=800000\rs=320x240\ntitle=a=b\nsameq\n\n"),
                ElementsAre(Pair("vcodec", "mpeg4"), Pair("b", "800000"), Pair("s", "320x240"),
                            Pair("title", "a=b"), Pair("sameq", "")));
    EXPECT_THAT(SplitOptionText("a=1\r\n\r\n=x\nb= 2 "),
                ElementsAre(Pair("a", "1"), Pair("", ""), Pair("", "x"), Pair("b", " 2")));
    EXPECT_TRUE(SplitOptionText(" \r\n\t").empty());
}

TEST(OptionParsing, StreamAndMetadataMaps) {
    auto map = [](const char* text) {
        const StreamMap m = ParseStreamMap(text);
        return std::vector<int>{m.File, m.Stream, m.SyncFile, m.SyncStream};
    };
    EXPECT_THAT(map("0.1"), ElementsAre(0, 1, 0, 1));
    EXPECT_THAT(map("0.1:1.0"), ElementsAre(0, 1, 1, 0));
    EXPECT_THAT(map("0x1:010"), ElementsAre(1, 8, 1, 8)); // C-style hex and octal
    EXPECT_THAT(map("2"), ElementsAre(2, 0, 2, 0));
    EXPECT_THAT(map("1.2:3"), ElementsAre(1, 2, 3, 0));

    const MetaDataMap md = ParseMetaDataMap("1:0");
    EXPECT_EQ(md.OutFile, 1);
    EXPECT_EQ(md.InFile, 0);
}

TEST(OptionParsing, TimestampScale) {
    EXPECT_EQ(ParseTsScale("3:2.5"), std::make_pair(3, 2.5));
    EXPECT_EQ(ParseTsScale("19:0.5"), std::make_pair(19, 0.5));
    EXPECT_REFUSED(ParseTsScale("25:2.0"), "stream index over MAX_STREAMS(20)");
    EXPECT_REFUSED(ParseTsScale("20:1"), "stream index over MAX_STREAMS(20)");
    EXPECT_REFUSED(ParseTsScale("-1:1"), "stream index over MAX_STREAMS(20)");
}

TEST(OptionParsing, MatrixNeeds64CoefficientsAndNamesTheFailingIndex) {
    std::string text;
    for (int i = 1; i <= 64; ++i)
        text += std::to_string(i) + (i < 64 ? "," : "");
    const QuantMatrix m = ParseMatrix(text);
    EXPECT_EQ(m[0], 1);
    EXPECT_EQ(m[31], 32);
    EXPECT_EQ(m[63], 64);
    EXPECT_EQ(ParseMatrix(text + ",99,100")[63], 64); // stops after coefficient 63

    EXPECT_REFUSED(ParseMatrix("1,2,3"), "Syntax error in matrix \"1,2,3\" at coeff 2");
    EXPECT_REFUSED(ParseMatrix("8"), "Syntax error in matrix \"8\" at coeff 0");
    const std::string short63 = text.substr(0, text.rfind(','));
    EXPECT_REFUSED(ParseMatrix(short63), "Syntax error in matrix \"" + short63 + "\" at coeff 62");
}

TEST(OptionParsing, PadColourFromRgb) {
    auto yuv = [](int rgb) {
        const PadColorYuv c = PadColorFromRgb(rgb);
        return std::vector<int>{c.Y, c.U, c.V};
    };
    EXPECT_THAT(yuv(0x0000FF), ElementsAre(76, 85, 255));  // red
    EXPECT_THAT(yuv(0x00FF00), ElementsAre(150, 43, 21));  // green
    EXPECT_THAT(yuv(0xFF0000), ElementsAre(29, 255, 107)); // blue
    EXPECT_THAT(yuv(0xFFFFFF), ElementsAre(255, 128, 128));
    EXPECT_THAT(yuv(0), ElementsAre(0, 128, 128));
}

TEST(OptionParsing, AspectRatioAndHookWordsAndTags) {
    EXPECT_NEAR(ParseAspectRatio("16:9"), 1.7778f, 1e-4);
    EXPECT_FLOAT_EQ(ParseAspectRatio("1.5"), 1.5f);
    EXPECT_EQ(ParseAspectRatio("4:0"), 0);
    EXPECT_EQ(ParseAspectRatio("4:-3"), 0);
    EXPECT_EQ(ParseAspectRatio("abc"), 0);

    EXPECT_THAT(SplitHookArgs("a.so  b\tc"), ElementsAre("a.so", "b", "c"));
    EXPECT_THAT(SplitHookArgs("/x y/a.so|b c||d"), ElementsAre("/x y/a.so", "b c", "d"));
    EXPECT_TRUE(SplitHookArgs("  ").empty());
    std::string many;
    for (int i = 0; i < 300; ++i)
        many += "w ";
    EXPECT_EQ(SplitHookArgs(many).size(), 255u);

    EXPECT_EQ(FourCcTag("XVID"), 0x44495658u);
}

// --- The option table on a transcoder ---

class TestTranscoder : public TCustomTranscoder {
public:
    using TCustomTranscoder::CodecOptionContext;
    using TCustomTranscoder::CopyGenericOptions;
    using TCustomTranscoder::FormatOptionContext;
    using TCustomTranscoder::ScalerOptionContext;
};

struct LogLine {
    int level;
    std::string text;
};

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        test::RequireLibraries();
        t_ = std::make_unique<TestTranscoder>();
        t_->OnLog = [this](int level, const std::string& text) { log_.push_back({level, text}); };
        savedLibLevel_ = ff::util.av_log_get_level();
        savedCachedLevel_ = binding::CachedLogLevel();
    }
    void TearDown() override {
        if (!binding::AllLoaded())
            return;
        // Verbosity is process-wide; leave it as found for the other tests.
        ff::util.av_log_set_level(savedLibLevel_);
        binding::SetCachedLogLevel(savedCachedLevel_);
    }

    void Set(const std::string& name, const std::string& value) { t_->SetOption(name, value); }
    const EngineSettings& S() const { return t_->Settings(); }
    bool Logged(int level, const std::string& text) const {
        for (const LogLine& l : log_)
            if (l.level == level && l.text == text)
                return true;
        return false;
    }
    int64_t VideoInt(const char* option) const { return OptionInt(kMediaVideo, option); }
    int64_t OptionInt(int type, const char* option) const {
        int64_t v = 0;
        EXPECT_GE(ff::util.av_opt_get_int(t_->CodecOptionContext(type), option, 0, &v), 0)
            << option;
        return v;
    }
    bool HasGenericName(const std::string& name) const {
        const auto& names = t_->GenericOptionNames();
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    std::unique_ptr<TestTranscoder> t_;
    std::vector<LogLine> log_;
    int savedLibLevel_ = 0, savedCachedLevel_ = 0;
};

struct CodecContextHolder {
    explicit CodecContextHolder(AVMediaType type) : ctx(ff::codec.avcodec_alloc_context3(nullptr)) {
        ctx->codec_type = type;
    }
    ff::CodecContextPtr ctx;
};

TEST_F(Options, FrameSizeAndCrop) {
    EXPECT_REFUSED(Set("croptop", "10"),
                   "Vertical crop dimensions are outside the range of the original image.\n"
                   "Remember to crop first and scale second.");
    Set("s", "320x240");
    Set("croptop", "8");
    EXPECT_EQ(S().FrameHeight, 232);
    EXPECT_EQ(S().CropTop, 8);
    Set("croptop", "-2");
    EXPECT_EQ(S().FrameHeight, 232);
    EXPECT_EQ(S().CropTop, 8);
    EXPECT_REFUSED(Set("croptop", "3"), "Top crop size must be a multiple of 2");
    EXPECT_REFUSED(Set("cropbottom", "5"), "Bottom crop size must be a multiple of 2");
    EXPECT_REFUSED(Set("cropleft", "7"), "Left crop size must be a multiple of 2");
    EXPECT_REFUSED(Set("cropright", "1"), "Right crop size must be a multiple of 2");
    Set("cropbottom", "2");
    EXPECT_EQ(S().FrameHeight, 230);
    EXPECT_REFUSED(Set("cropbottom", "230"),
                   "Vertical crop dimensions are outside the range of the original image.\n"
                   "Remember to crop first and scale second.");
    EXPECT_REFUSED(Set("cropleft", "320"),
                   "Horizontal crop dimensions are outside the range of the original image.\n"
                   "Remember to crop first and scale second.");
    Set("cropleft", "10");
    Set("cropright", "4");
    EXPECT_EQ(S().FrameWidth, 306);
    EXPECT_EQ(S().CropLeft, 10);
    EXPECT_EQ(S().CropRight, 4);

    Set("s", "vga");
    EXPECT_EQ(S().FrameWidth, 640);
    EXPECT_EQ(S().FrameHeight, 480);
    EXPECT_REFUSED(Set("s", "big"), "Incorrect frame size");
    EXPECT_REFUSED(Set("s", "321x240"), "Frame size must be a multiple of 2");
    EXPECT_EQ(S().FrameWidth, 640);
}

TEST_F(Options, PaddingAndPadColour) {
    Set("padleft", "8");
    Set("padright", "-4");
    EXPECT_EQ(S().PadLeft, 8);
    EXPECT_EQ(S().PadRight, 0);
    EXPECT_REFUSED(Set("padtop", "3"), "Top pad size must be a multiple of 2");
    EXPECT_REFUSED(Set("padbottom", "1"), "Bottom pad size must be a multiple of 2");
    EXPECT_REFUSED(Set("padleft", "5"), "Left pad size must be a multiple of 2");
    EXPECT_REFUSED(Set("padright", "9"), "Right pad size must be a multiple of 2");
    EXPECT_EQ(S().PadLeft, 8);

    EXPECT_EQ(S().PadColorY, 16); // defaults before any padcolor
    Set("padcolor", "255");
    EXPECT_EQ(S().PadColorY, 76);
    EXPECT_EQ(S().PadColorU, 85);
    EXPECT_EQ(S().PadColorV, 255);
    Set("padcolor", "$FFFFFF");
    EXPECT_EQ(S().PadColorY, 255);
    EXPECT_EQ(S().PadColorU, 128);
}

TEST_F(Options, AspectQscaleRatesChannelsAndPass) {
    Set("aspect", "16:9");
    EXPECT_NEAR(S().FrameAspectRatio, 1.7778f, 1e-4);
    EXPECT_REFUSED(Set("aspect", "4:0"), "Incorrect aspect ratio specification.");
    EXPECT_REFUSED(Set("aspect", "abc"), "Incorrect aspect ratio specification.");
    Set("aspect", "1.5");
    EXPECT_FLOAT_EQ(S().FrameAspectRatio, 1.5f);

    EXPECT_REFUSED(Set("qscale", "0"), "qscale must be > 0.0 and <= 255");
    EXPECT_REFUSED(Set("qscale", "256"), "qscale must be > 0.0 and <= 255");
    Set("qscale", "255");
    EXPECT_FLOAT_EQ(S().VideoQScale, 255.0f);

    Set("ar", "22050");
    Set("ac", "1");
    Set("ar", "0");
    Set("ac", "-1");
    EXPECT_EQ(S().AudioSampleRate, 22050);
    EXPECT_EQ(S().AudioChannels, 1);

    EXPECT_REFUSED(Set("pass", "3"), "pass number can be only 1 or 2");
    Set("pass", "2");
    EXPECT_EQ(S().DoPass, 2);

    Set("r", "ntsc");
    EXPECT_EQ(S().FrameRate.num, 30000);
    EXPECT_EQ(S().FrameRate.den, 1001);
    EXPECT_REFUSED(Set("r", "fast"), "Incorrect frame rate");
    EXPECT_EQ(S().FrameRate.num, 30000);
}

TEST_F(Options, AcceptedWithoutEffectAndRefusedNames) {
    for (const char* name :
         {"L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre"}) {
        Set(name, "x");
        EXPECT_TRUE(Logged(kLevelInfo, std::string("Do nothing: option - ") + name)) << name;
    }
    for (const char* name : {"threads", "absf", "vbsf", "sbsf"})
        EXPECT_REFUSED(Set(name, "1"), std::string("TODO: option - ") + name);
}

TEST_F(Options, BitrateWarningForValuesInKilobits) {
    Set("b", "800");
    EXPECT_TRUE(Logged(kLevelInfo, "WARNING: The bitrate parameter is set too low. It takes "
                                   "bits/s as argument, not kbits/s"));
    log_.clear();
    Set("ab", "128000");
    EXPECT_TRUE(log_.empty());
    // "vb" reads back the video context, "ab" the audio one.
    Set("vb", "64");
    EXPECT_EQ(log_.size(), 1u);
    Set("ab", "64");
    EXPECT_EQ(log_.size(), 2u);
    // No warning from a value the libraries refused.
    log_.clear();
    Set("b", "fast");
    EXPECT_TRUE(log_.empty());
}

TEST_F(Options, CodecNameRule) {
    Set("vcodec", "copy");
    EXPECT_EQ(S().VideoStreamCopy, 1);
    EXPECT_TRUE(S().VideoCodecName.empty());
    Set("acodec", "mp2");
    Set("acodec", "");
    EXPECT_EQ(S().AudioCodecName, "mp2");
    EXPECT_EQ(S().AudioStreamCopy, 0);
    Set("acodec", "copy");
    EXPECT_TRUE(S().AudioCodecName.empty());
    EXPECT_EQ(S().AudioStreamCopy, 1);
    Set("scodec", "mov_text");
    EXPECT_EQ(S().SubtitleCodecName, "mov_text");
}

TEST_F(Options, MapsAndTheirLimit) {
    Set("map", "0.1");
    Set("map", "0.1:1.0");
    ASSERT_EQ(S().StreamMaps.size(), 2u);
    EXPECT_EQ(S().StreamMaps[0].SyncFile, 0);
    EXPECT_EQ(S().StreamMaps[0].SyncStream, 1);
    EXPECT_EQ(S().StreamMaps[1].SyncFile, 1);
    EXPECT_EQ(S().StreamMaps[1].SyncStream, 0);
    for (int i = 2; i < kMaxMaps; ++i)
        Set("map", "0.0");
    EXPECT_REFUSED(Set("map", "0.0"), "Too many stream maps (at most 20)");
    EXPECT_EQ(S().StreamMaps.size(), 20u);

    Set("map_meta_data", "0:1");
    EXPECT_EQ(S().MetaDataMaps[0].InFile, 1);
    for (int i = 1; i < kMaxMaps; ++i)
        Set("map_meta_data", "0:0");
    EXPECT_REFUSED(Set("map_meta_data", "0:0"), "Too many metadata maps (at most 20)");
    EXPECT_EQ(S().MetaDataMaps.size(), 20u);
}

TEST_F(Options, TimesAndTimestampScale) {
    Set("t", "01:00:00");
    EXPECT_EQ(S().RecordingTime, 3600000000LL);
    EXPECT_EQ(S().DurationMs, 3600000);
    Set("t", "0");
    Set("t", "0.0004"); // below a millisecond: no limit either
    EXPECT_EQ(S().RecordingTime, 3600000000LL);
    EXPECT_EQ(S().DurationMs, 3600000);
    EXPECT_REFUSED(Set("t", "soon"), "Invalid duration specification for t: soon");

    Set("ss", "1.5");
    EXPECT_EQ(S().StartTime, 1500000);
    Set("itsoffset", "-2");
    EXPECT_EQ(S().InputTsOffset, -2000000);
    EXPECT_REFUSED(Set("ss", "x1"), "Invalid duration specification for ss: x1");
    EXPECT_REFUSED(Set("itsoffset", "?"), "Invalid duration specification for itsoffset: ?");

    Set("timestamp", "2020-01-01T00:00:00.6Z");
    EXPECT_EQ(S().RecordingTimestamp, 1577836801); // rounded to the nearest second
    EXPECT_REFUSED(Set("timestamp", "yesterday"),
                   "Invalid date specification for timestamp: yesterday");

    Set("fs", "5000000000");
    EXPECT_EQ(S().FileSizeLimit, 5000000000LL);

    Set("itsscale", "1:2.5");
    EXPECT_DOUBLE_EQ(S().InputTsScale[0][1], 2.5); // for the input opened next
    EXPECT_REFUSED(Set("itsscale", "25:2.0"), "stream index over MAX_STREAMS(20)");
}

TEST_F(Options, ConversionErrorsAndSimpleFields) {
    EXPECT_REFUSED(Set("vframes", "ten"), "'ten' is not a valid integer value");
    EXPECT_REFUSED(Set("aq", "1,5"), "'1,5' is not a valid floating point value");
    Set("vframes", "$10");
    Set("aframes", "7");
    Set("dframes", "3");
    EXPECT_EQ(S().MaxFrames[kMediaVideo], 16);
    EXPECT_EQ(S().MaxFrames[kMediaAudio], 7);
    EXPECT_EQ(S().MaxFrames[kMediaData], 3);
    EXPECT_EQ(S().MaxFrames[kMediaSubtitle], INT_MAX);

    Set("pix_fmt", "yuv422p");
    EXPECT_EQ(S().FramePixFmt, AV_PIX_FMT_YUV422P);
    Set("pix_fmt", "nosuch");
    EXPECT_EQ(S().FramePixFmt, -1);

    Set("vtag", "XVID");
    EXPECT_EQ(S().VideoCodecTag, 0x44495658u);
    EXPECT_REFUSED(Set("vtag", "XVI"), "video tag parameter must be 4 chars");
    EXPECT_REFUSED(Set("atag", "mp4a "), "audio tag parameter must be 4 chars");
    Set("atag", "mp4a");
    EXPECT_EQ(S().AudioCodecTag, 0x6134706Du);

    std::string matrix;
    for (int i = 0; i < 64; ++i)
        matrix += std::to_string(8 + i) + ",";
    Set("intra_matrix", matrix);
    ASSERT_TRUE(S().IntraMatrix.has_value());
    EXPECT_EQ((*S().IntraMatrix)[63], 71);
    EXPECT_REFUSED(Set("intra_matrix", "1,2"), "Syntax error in matrix \"1,2\" at coeff 1");
    EXPECT_EQ((*S().IntraMatrix)[63], 71); // a refused matrix leaves the previous one
    EXPECT_FALSE(S().InterMatrix.has_value());

    Set("vstats", "");
    const std::string stats = S().VstatsFileName;
    const std::string prefix = binding::ProgramFolder() + "vstats_";
    ASSERT_EQ(stats.size(), prefix.size() + 6 + 4);
    EXPECT_EQ(stats.substr(0, prefix.size()), prefix);
    EXPECT_EQ(stats.substr(stats.size() - 4), ".log");
    Set("vstats_file", "/tmp/x.log");
    EXPECT_EQ(S().VstatsFileName, "/tmp/x.log");
}

TEST_F(Options, PixelFormatListIsLogged) {
    Set("pix_fmt", "list");
    ASSERT_GT(log_.size(), 40u);
    EXPECT_EQ(log_[0].text, "name nb_components nb_bits");
    EXPECT_THAT(log_[1].text, HasSubstr("yuv420p"));
    EXPECT_EQ(S().FramePixFmt, -1);
    t_->OnLog = nullptr;
    EXPECT_NO_THROW(Set("pix_fmt", "list"));
}

TEST_F(Options, FormatsAndPgmyuv) {
    Set("f", "mp4");
    ASSERT_NE(S().OutputFormat, nullptr);
    EXPECT_STREQ(S().OutputFormat->name, "mp4");
    EXPECT_REFUSED(Set("f", "nosuch"), "Unknown input or output format: nosuch");
    EXPECT_REFUSED(t_->SetInputFormat("nosuch"), "Unknown input format: nosuch");
    EXPECT_REFUSED(t_->SetOutputFormat("nosuch"), "Unknown output format: nosuch");

    t_->SetInputFormat("pgmyuv");
    EXPECT_STREQ(S().InputFormat->name, "image2");
    EXPECT_TRUE(S().PgmyuvCompatibility);
    EXPECT_TRUE(Logged(kLevelInfo, "pgmyuv format is deprecated, use image2"));
    t_->SetOutputFormat("pgmyuv");
    EXPECT_STREQ(S().OutputFormat->name, "image2");
    t_->ResetSettings();
    log_.clear();
    Set("f", "pgmyuv");
    EXPECT_STREQ(S().InputFormat->name, "image2");
    EXPECT_STREQ(S().OutputFormat->name, "image2");
    EXPECT_TRUE(S().PgmyuvCompatibility);
    EXPECT_EQ(log_.size(), 1u);
}

TEST_F(Options, DirectSettersIgnoreUnsetValues) {
    t_->SetStartTime(0);
    t_->SetProgramId(-1);
    t_->SetVolume(-1);
    t_->SetMuxMaxDelay(0);
    t_->SetMuxPreload(-1);
    t_->SetTitle("");
    t_->SetYear(0);
    t_->SetTrack(-1);
    EXPECT_EQ(S().StartTime, 0);
    EXPECT_EQ(S().ProgramId, 0);
    EXPECT_EQ(S().AudioVolume, 256);
    EXPECT_FLOAT_EQ(S().MuxMaxDelay, 0.7f);
    EXPECT_FLOAT_EQ(S().MuxPreload, 0.5f);
    EXPECT_EQ(S().Year, 0);

    t_->SetTitle("T");
    t_->SetTitle("");
    t_->SetStartTime(2500000);
    t_->SetProgramId(0);
    t_->SetVolume(0);
    t_->SetMuxMaxDelay(0.2f);
    t_->SetMuxPreload(0.44f);
    t_->SetYear(2008);
    t_->SetTrack(3);
    t_->SetAudioSyncMethod(-5);
    t_->SetVideoSyncMethod(2);
    EXPECT_EQ(S().Title, "T");
    EXPECT_EQ(S().StartTime, 2500000);
    EXPECT_EQ(S().AudioVolume, 0);
    EXPECT_FLOAT_EQ(S().MuxMaxDelay, 0.2f);
    EXPECT_FLOAT_EQ(S().MuxPreload, 0.44f);
    EXPECT_EQ(S().Year, 2008);
    EXPECT_EQ(S().Track, 3);
    EXPECT_EQ(S().AudioSyncMethod, -5);
    EXPECT_EQ(S().VideoSyncMethod, 2);

    // The option takes an empty title as given; only the setter skips it.
    Set("title", "");
    EXPECT_EQ(S().Title, "");
}

TEST_F(Options, GenericOptionSetAndCopy) {
    Set("gop", "18"); // the old name of "g"
    EXPECT_EQ(VideoInt("g"), 18);
    EXPECT_TRUE(HasGenericName("g"));
    Set("bufsize", "1835008");
    Set("maxrate", "2516000");

    CodecContextHolder video(AVMEDIA_TYPE_VIDEO), audio(AVMEDIA_TYPE_AUDIO);
    const int defaultGop = video.ctx->gop_size;
    t_->CopyGenericOptions(t_->CodecOptionContext(kMediaVideo), video.ctx.get(),
                           AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(video.ctx->gop_size, 18);
    EXPECT_EQ(video.ctx->rc_buffer_size, 1835008);
    EXPECT_EQ(video.ctx->rc_max_rate, 2516000);
    // "g" is a video option: an audio copy leaves it alone but takes the buffer size.
    t_->CopyGenericOptions(t_->CodecOptionContext(kMediaAudio), audio.ctx.get(),
                           AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(audio.ctx->gop_size, defaultGop);
    EXPECT_EQ(audio.ctx->rc_buffer_size, 1835008);

    // Flags travel as text and come back equal.
    Set("flags", "+qscale+ildct");
    CodecContextHolder second(AVMEDIA_TYPE_VIDEO);
    t_->CopyGenericOptions(t_->CodecOptionContext(kMediaVideo), second.ctx.get(),
                           AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(second.ctx->flags, AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_INTERLACED_DCT);
    EXPECT_FLOAT_EQ(second.ctx->i_quant_factor, video.ctx->i_quant_factor); // not set: default
}

TEST_F(Options, GenericNamesUsedByProfilesAndTargets) {
    // Each of these must land on the video option context under its current name.
    struct Row {
        const char* option;
        const char* current;
        int value;
    };
    const Row rows[] = {
        {"maxrate", "maxrate", 2516000},
        {"minrate", "minrate", 1150000},
        {"bt", "bt", 4000000},
        {"mbd", "mbd", 2},
        {"trellis", "trellis", 1},
        {"qmin", "qmin", 3},
        {"qmax", "qmax", 30},
        {"cmp", "cmp", 2},
        {"subq", "subq", 6},
        {"me_range", "me_range", 16},
        {"keyint_min", "keyint_min", 5},
        {"gop", "g", 15},
    };
    for (const Row& row : rows) {
        Set(row.option, std::to_string(row.value));
        EXPECT_EQ(VideoInt(row.current), row.value) << row.option;
        EXPECT_TRUE(HasGenericName(row.current)) << row.option;
    }
    Set("i_qfactor", "-0.8");
    EXPECT_FLOAT_EQ(
        static_cast<AVCodecContext*>(t_->CodecOptionContext(kMediaVideo))->i_quant_factor, -0.8f);

    // "b" is both a video and an audio option; "vb" and "ab" reach one side only.
    Set("b", "1150000");
    EXPECT_EQ(OptionInt(kMediaVideo, "b"), 1150000);
    EXPECT_EQ(OptionInt(kMediaAudio, "b"), 1150000);
    Set("ab", "224000");
    Set("vb", "2040000");
    EXPECT_EQ(OptionInt(kMediaVideo, "b"), 2040000);
    EXPECT_EQ(OptionInt(kMediaAudio, "b"), 224000);
    CodecContextHolder audio(AVMEDIA_TYPE_AUDIO);
    t_->CopyGenericOptions(t_->CodecOptionContext(kMediaAudio), audio.ctx.get(),
                           AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(audio.ctx->bit_rate, 224000);

    // Muxer options: the packet size is generic, the mux rate private to the MPEG muxers.
    Set("packetsize", "2324");
    Set("muxrate", "1411200");
    ff::FormatContextPtr format(ff::format.avformat_alloc_context());
    t_->CopyGenericOptions(t_->FormatOptionContext(), format.get(), AV_OPT_FLAG_ENCODING_PARAM);
    EXPECT_EQ(format->packet_size, 2324u);
    ASSERT_NE(t_->MuxerPrivateOptions().Get("muxrate"), nullptr);
    EXPECT_STREQ(t_->MuxerPrivateOptions().Get("muxrate"), "1411200");

    Set("sws_flags", "bilinear");
    int64_t sws = 0;
    ff::util.av_opt_get_int(t_->ScalerOptionContext(), "sws_flags", 0, &sws);
    EXPECT_EQ(sws, SWS_BILINEAR);
}

TEST_F(Options, ScanOffsetFlagBecomesTheEncodersPrivateOption) {
    Set("flags", "+SCAN_OFFSET");
    ASSERT_NE(t_->EncoderPrivateOptions(kMediaVideo).Get("scan_offset"), nullptr);
    EXPECT_STREQ(t_->EncoderPrivateOptions(kMediaVideo).Get("scan_offset"), "1");
    EXPECT_EQ(VideoInt("flags"), 0);

    Set("flags", "+qscale+scan_offset");
    EXPECT_EQ(VideoInt("flags"), AV_CODEC_FLAG_QSCALE);
    EXPECT_EQ(t_->EncoderPrivateOptions(kMediaAudio).Count(), 0);

    Set("sc_threshold", "40");
    EXPECT_STREQ(t_->EncoderPrivateOptions(kMediaVideo).Get("sc_threshold"), "40");
}

TEST_F(Options, UnknownNamesAndRefusedValuesChangeNothing) {
    ASSERT_TRUE(t_->GenericOptionNames().empty());
    t_->ApplyOptionText("nosuchoption=5\nVCODEC=mpeg4\nzz");
    EXPECT_TRUE(log_.empty());
    EXPECT_TRUE(t_->GenericOptionNames().empty());
    EXPECT_TRUE(S().VideoCodecName.empty());

    EXPECT_FALSE(t_->SetGenericOption("g", "abc"));
    EXPECT_FALSE(t_->SetGenericOption("g", "  "));
    EXPECT_FALSE(t_->SetGenericOption(" ", "5"));
    EXPECT_TRUE(t_->GenericOptionNames().empty());
    EXPECT_TRUE(t_->SetGenericOption(" g ", " 7 "));
    EXPECT_EQ(VideoInt("g"), 7);
}

TEST_F(Options, VerbosityIsProcessWide) {
    Set("v", "3");
    EXPECT_EQ(S().Verbosity, 3);
    EXPECT_EQ(ff::util.av_log_get_level(), 3);
    EXPECT_EQ(binding::CachedLogLevel(), 3);

    // A debug value on the video option context switches to debug verbosity.
    Set("debug", "1");
    EXPECT_EQ(S().Verbosity, 2);
    EXPECT_EQ(ff::util.av_log_get_level(), 2);
    EXPECT_EQ(binding::CachedLogLevel(), 2);
}

TEST_F(Options, OptionTextAppliesLinesInOrder) {
    t_->ApplyOptionText("vcodec=mpeg4\r\nb=800000\rs=320x240\ntitle=a=b\nsameq\r\n");
    EXPECT_EQ(S().VideoCodecName, "mpeg4");
    EXPECT_EQ(VideoInt("b"), 800000);
    EXPECT_EQ(S().FrameWidth, 320);
    EXPECT_EQ(S().Title, "a=b");
    EXPECT_EQ(S().SameQuality, 1);

    // A refusal stops the text; what came before it stays applied.
    EXPECT_REFUSED(t_->ApplyOptionText("acodec=mp2\npass=3\nalang=eng"),
                   "pass number can be only 1 or 2");
    EXPECT_EQ(S().AudioCodecName, "mp2");
    EXPECT_TRUE(S().AudioLanguage.empty());
}

TEST_F(Options, ResetRestoresDefaultsAndFreshOptionContexts) {
    t_->ApplyOptionText("g=99\nvcodec=mpeg4\nmap=0.0\nmuxrate=1\nflags=+scan_offset");
    t_->ResetSettings();
    EXPECT_TRUE(S().VideoCodecName.empty());
    EXPECT_TRUE(S().StreamMaps.empty());
    EXPECT_TRUE(t_->GenericOptionNames().empty());
    EXPECT_EQ(t_->MuxerPrivateOptions().Count(), 0);
    EXPECT_EQ(t_->EncoderPrivateOptions(kMediaVideo).Count(), 0);
    EXPECT_NE(VideoInt("g"), 99);
    EXPECT_EQ(S().DurationMs, -1);
    EXPECT_EQ(static_cast<AVCodecContext*>(t_->CodecOptionContext(kMediaSubtitle))->codec_type,
              AVMEDIA_TYPE_SUBTITLE);

    // Released settings refuse generic options quietly and can be reset again.
    t_->ReleaseSettings();
    EXPECT_EQ(t_->CodecOptionContext(kMediaVideo), nullptr);
    EXPECT_FALSE(t_->SetGenericOption("g", "5"));
    t_->ResetSettings();
    EXPECT_TRUE(t_->SetGenericOption("g", "5"));
}

TEST_F(Options, NewStreamsNeedAnOutputFile) {
    for (const char* name : {"newvideo", "newaudio", "newsubtitle"})
        EXPECT_REFUSED(Set(name, ""), "At least one output file must be specified");
}

// --- Video-hook plug-ins ---

std::string SampleHook() {
    return (test::LibDir() / "corvina-sample-hook.so").string();
}

TEST_F(Options, VideoHookLoadsThePlugInOncePerProcess) {
    ASSERT_TRUE(std::filesystem::exists(SampleHook())) << "build corvina-sample-hook";
    const size_t before = binding::LoadedPluginCount();
    Set("vhook", SampleHook() + " 8");
    EXPECT_TRUE(S().UsingVideoHook);
    const size_t afterFirst = binding::LoadedPluginCount();
    EXPECT_LE(afterFirst, before + 1);

    TestTranscoder other;
    other.SetOption("vhook", SampleHook() + "|24");
    EXPECT_TRUE(other.Settings().UsingVideoHook);
    EXPECT_EQ(binding::LoadedPluginCount(), afterFirst);

    t_->ReleaseSettings();
    EXPECT_FALSE(S().UsingVideoHook);
}

TEST_F(Options, VideoHookFailures) {
    const std::string missing = "/nonexistent/corvina-no-hook.so";
    EXPECT_REFUSED(Set("vhook", missing), "Failed to add video hook function: " + missing);
    // The sample refuses a size that is not a number in its Configure.
    const std::string badArgs = SampleHook() + "|big";
    EXPECT_REFUSED(Set("vhook", badArgs), "Failed to add video hook function: " + badArgs);
    EXPECT_REFUSED(Set("vhook", "   "), "Failed to add video hook function:    ");
    EXPECT_FALSE(S().UsingVideoHook);
}

} // namespace
} // namespace corvina::engine
