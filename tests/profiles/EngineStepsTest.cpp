#include "ProfilesTestSupport.h"

#include "profiles/EngineSteps.h"

namespace corvina::profiles {
namespace {

using hosting::TOutputOptions;
using test::Choose;
using test::StartBoxes;

constexpr int kNotSet = -100;  // the engine sees a value that is not positive
constexpr int kFromBox = -200; // channels follow ComboAudioChannels

// The options the job gets at an entry's defaults, frame rate included.
TOutputOptions JobOptions(const MainWindowBoxes& boxes) {
    TOutputOptions options;
    hosting::InitOutputOptions(options);
    options.FrameRate = ParseFrameRate(boxes.ComboVideoFramerate.Text());
    ApplyProfileOptions(boxes, 0, options);
    return options;
}

struct Expected {
    const char* name;
    const char* vcodec; // "" not set
    const char* acodec;
    const char* size;
    const char* rate;
    int vb, ab, sr, ch;
    bool drop;
};

const Expected kDefaults[] = {
    {"3GP - Mobile Video Format (*.3gp)", "mpeg4", "libamr_nb", "176x144", "25", 128000, 7400, 8000,
     1, false},
    {"3G2 - Mobile Video Format (*.3g2)", "mpeg4", "libamr_nb", "176x144", "25", 128000, 7400, 8000,
     1, false},
    {"ASF - Advance Streaming Format (*.asf)", "msmpeg4", "libmp3lame", "", "25", 1200000, 128000,
     48000, 2, true},
    {"AVI - Audio Video Interleave (*.avi)", "mpeg4", "pcm_s16le", "", "25", 1200000, 128000, 48000,
     2, false},
    {"AVI - DivX Video (*.avi)", "mpeg4", "libmp3lame", "", "25", 1200000, 128000, 48000, 2, false},
    {"AVI - XviD Video (*.avi)", "libxvid", "libmp3lame", "", "25", 1200000, 128000, 48000, 2,
     false},
    {"FLV - Flash Flv Video (*.flv)", "flv", "libmp3lame", "", "15.0", 368000, 96000, 44100,
     kFromBox, false},
    {"MOV - QuickTime Video (*.mov)", "mpeg4", "libfaac", "", "25", 1200000, 128000, 44100, 2,
     false},
    {"MP4 - MPEG4 Video (*.mp4)", "mpeg4", "libfaac", "", "25", 1200000, 128000, 44100, 2, false},
    {"MPEG-1 Movie (*.mpg)", "mpeg1video", "mp2", "320x240", "25.0", 1600000, 192000, 44100, 2,
     false},
    {"MPEG-2 Movie (*.mpg)", "mpeg2video", "mp2", "320x240", "25.0", 2000000, 192000, 44100, 2,
     false},
    {"RM - Real Video (*.rm)", "rv10", "ac3", "320x240", "25", 384000, 128000, 48000, 2, false},
    {"SWF - Flash Swf Video (*.swf)", "flv", "libmp3lame", "", "15.0", 200000, 96000, 44100, 2,
     false},
    {"Super Video CD (*.mpg)", "mpeg2video", "mp2", "480x480", "29.97", 2040000, 224000, 44100,
     kFromBox, false},
    {"Video CD (*.mpg)", "mpeg1video", "mp2", "352x240", "29.97", 1150000, 224000, 44100, kFromBox,
     false},
    {"WMV - Windows Media Video (*.wmv)", "wmv2", "wmav2", "320x240", "25", 1200000, 128000, 48000,
     2, false},
    {"AAC - Advance Audio Coding (*.aac)", "", "libfaac", "", "", kNotSet, 128000, 48000, 2, true},
    {"M4A - Mpeg4 Audio File (*.m4a)", "", "libfaac", "", "", kNotSet, 128000, 48000, 2, true},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "", "libmp3lame", "", "", kNotSet, 192000, 48000, 2, true},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "", "vorbis", "", "", kNotSet, 160000, 48000, 2, false},
    {"RA - Real Audio (*.ra)", "", "ac3", "", "", kNotSet, 128000, 48000, 2, true},
    {"WAV - Waveform Audio (*.wav)", "", "pcm_s16le", "", "", kNotSet, 128000, 44100, 2, true},
    {"WMA - Windows Media Audio (*.wma)", "", "wmav2", "", "", kNotSet, 128000, 48000, 2, true},
    {"iPhone (*.mp4)", "mpeg4", "libfaac", "480x320", "25", 1200000, 80000, 44100, 2, false},
    {"iPod (*.mp4)", "mpeg4", "libfaac", "320x240", "25", 512000, 64000, 44100, kNotSet, false},
    {"iPod Touch (*.mp4)", "mpeg4", "libfaac", "480x320", "25", 1200000, 80000, 44100, kNotSet,
     false},
    {"Apple TV (*.mp4)", "mpeg4", "libfaac", "640x480", "25", 1500000, 128000, 44100, kNotSet,
     false},
    {"Archos AV500/GMini402 (*.avi)", "mpeg4", "libmp3lame", "480x272", "25", 1500000, 128000,
     48000, kFromBox, false},
    {"Archos AV700 (*.avi)", "mpeg4", "libmp3lame", "720x480", "25", 2000000, 128000, 48000,
     kFromBox, false},
    {"BlackBerry MPEG-4 Video (*.mp4)", "mpeg4", "libfaac", "320x240", "24", 300000, 80000, 44100,
     kFromBox, false},
    {"BlackBerry AVI Video (*.avi)", "h263", "libmp3lame", "176x144", "24", 300000, 64000, 44100,
     kFromBox, false},
    {"BlackBerry 3GP Video (*.3gp)", "mpeg4", "libamr_nb", "176x144", "15", 128000, 4750, 8000, 1,
     false},
    {"Creative Zen Vision (*.avi)", "mpeg4", "libmp3lame", "640x480", "25", 1500000, 128000, 48000,
     kFromBox, false},
    {"iRiver PMP100 (*.avi)", "mpeg4", "libmp3lame", "640x480", "25", 1500000, 128000, 48000,
     kFromBox, false},
    {"PSP Video (*.mp4)", "mpeg4", "libfaac", "368x208", "29.97", 768000, 64000, 24000, 2, false},
    {"PS3 Video (*.mp4)", "libx264", "libfaac", "720x480", "29.97", 1200000, 96000, 44100, 2,
     false},
    {"Xbox360 MPEG4 Video (*.mp4)", "mpeg4", "libfaac", "", "25", 1200000, 128000, 44100, 2, false},
    {"Xbox360 WMV Video (*.wmv)", "wmv2", "wmav2", "320x240", "25", 1200000, 128000, 48000, 2,
     false},
    {"Xbox360 AVI Video (*.avi)", "mpeg4", "pcm_s16le", "", "25", 1200000, 128000, 48000, 2, false},
    {"Xbox360 MPEG2 Video (*.mpg)", "mpeg2video", "mp2", "320x240", "25.0", 2000000, 192000, 44100,
     2, false},
    {"Zune Mpeg4 Video (*.mp4)", "mpeg4", "libfaac", "320x240", "29.97", 1500000, 128000, 44100, 2,
     false},
    {"Zune WMV Windows Media Video (*.wmv)", "wmv2", "wmav2", "320x240", "25", 1200000, 128000,
     48000, 2, false},
};

void CheckDefaults(const char* before, int channelsFromBox) {
    for (const Expected& e : kDefaults) {
        SCOPED_TRACE(std::string(e.name) + " after " + before);
        MainWindowBoxes boxes = StartBoxes();
        if (*before)
            Choose(boxes, before);
        Choose(boxes, e.name);
        const TOutputOptions o = JobOptions(boxes);
        EXPECT_EQ(o.VideoCodec, e.vcodec);
        EXPECT_EQ(o.AudioCodec, e.acodec);
        EXPECT_EQ(o.FrameSize, e.size);
        EXPECT_EQ(o.FrameRate, e.rate);
        if (e.vb == kNotSet)
            EXPECT_LE(o.VideoBitrate, 0);
        else
            EXPECT_EQ(o.VideoBitrate, e.vb);
        EXPECT_EQ(o.AudioBitrate, e.ab);
        EXPECT_EQ(o.AudioSampleRate, e.sr);
        if (e.ch == kNotSet)
            EXPECT_EQ(o.AudioChannels, -1);
        else
            EXPECT_EQ(o.AudioChannels, e.ch == kFromBox ? channelsFromBox : e.ch);
        EXPECT_EQ(o.DisableVideo, e.drop);
    }
}

TEST(EngineSteps, EveryEntryAtItsDefaultsFromAFreshWindow) {
    ASSERT_EQ(std::size(kDefaults), 42u);
    CheckDefaults("", 2);
}

TEST(EngineSteps, EveryEntryAtItsDefaultsAfterTheMobileEntryLeftMono) {
    CheckDefaults("3GP - Mobile Video Format (*.3gp)", 1);
}

TEST(EngineSteps, MobileStepAlwaysUsesAmrInMono) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "3GP - Mobile Video Format (*.3gp)");
    boxes.ComboAudioCodec.SelectText("mpeg4aac");
    boxes.ComboAudioChannels.SelectText("Stereo");
    boxes.ComboVideoCodec.SelectText("H264");
    boxes.ComboSamplingRate.SelectText("16000 bps");
    boxes.ComboAudioBitrate.SelectText("12200 bps");
    const TOutputOptions o = JobOptions(boxes);
    EXPECT_EQ(o.AudioCodec, "libamr_nb");
    EXPECT_EQ(o.AudioChannels, 1);
    EXPECT_EQ(o.VideoCodec, "libx264");
    EXPECT_EQ(o.AudioSampleRate, 16000);
    EXPECT_EQ(o.AudioBitrate, 12200);
    EXPECT_FALSE(o.DisableVideo);
}

TEST(EngineSteps, CommonStepOnA3gpEntryMapsTheCodecAndForcesMono) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "BlackBerry 3GP Video (*.3gp)");
    boxes.ComboAudioCodec.SelectText("mpeg4aac");
    boxes.ComboAudioChannels.SelectText("Stereo");
    const TOutputOptions o = JobOptions(boxes);
    EXPECT_EQ(o.AudioCodec, "libfaac");
    EXPECT_EQ(o.AudioChannels, 1);
    EXPECT_EQ(o.AudioBitrate, 4750); // "bps" items are taken as they are
}

TEST(EngineSteps, ChannelBoxCountsForTheCommonStepOnly) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "MP4 - MPEG4 Video (*.mp4)");
    boxes.ComboAudioChannels.SelectText("Mono");
    EXPECT_EQ(JobOptions(boxes).AudioChannels, 1);
    boxes.ComboAudioChannels.SelectText("Stereo");
    EXPECT_EQ(JobOptions(boxes).AudioChannels, 2);

    Choose(boxes, "Apple TV (*.mp4)");
    boxes.ComboAudioChannels.SelectText("Mono");
    EXPECT_EQ(JobOptions(boxes).AudioChannels, -1);
    // The Apple step ignores the audio codec box as well.
    boxes.ComboAudioCodec.Clear();
    boxes.ComboAudioCodec.Add("mp3");
    boxes.ComboAudioCodec.Select(0);
    EXPECT_EQ(JobOptions(boxes).AudioCodec, "libfaac");
}

TEST(EngineSteps, PlayerSizeAutoKeepsTheSourceSize) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "Creative Zen Vision (*.avi)");
    boxes.ComboVideoSize.SelectText("Auto");
    TOutputOptions o = JobOptions(boxes);
    EXPECT_EQ(o.FrameSize, "");
    boxes.ComboVideoSize.SelectText("320 x 240");
    EXPECT_EQ(JobOptions(boxes).FrameSize, "320x240");
}

TEST(EngineSteps, VideoAndAudioCodecMaps) {
    EXPECT_EQ(CommonVideoEncoder("H264"), "libx264");
    EXPECT_EQ(CommonVideoEncoder("XVid"), "libxvid");
    EXPECT_EQ(CommonVideoEncoder("XVID"), "libxvid");
    EXPECT_EQ(CommonVideoEncoder("WMV2x"), "wmv2");
    EXPECT_EQ(CommonVideoEncoder("MPEG4_QT"), "mpeg4");
    EXPECT_EQ(CommonVideoEncoder("MSMPEG4"), "msmpeg4");
    EXPECT_EQ(CommonVideoEncoder("RV10"), "rv10");
    EXPECT_EQ(CommonVideoEncoder(""), "");
    EXPECT_EQ(DeviceVideoEncoder("H264"), "libx264");
    EXPECT_EQ(DeviceVideoEncoder("XVID"), "libxvid");
    EXPECT_EQ(DeviceVideoEncoder("WMV2X"), "wmv2x");
    EXPECT_EQ(DeviceVideoEncoder("mpeg4_qt"), "mpeg4_qt");

    const std::pair<const char*, const char*> audio[] = {{"aac", "libfaac"},
                                                         {"AC3", "ac3"},
                                                         {"flac", "flac"},
                                                         {"asf", "mp3"},
                                                         {"MP3", "libmp3lame"},
                                                         {"m4a", "mpeg4aac"},
                                                         {"mpeg4aac", "libfaac"},
                                                         {"ra", "ac3"},
                                                         {"wma7x", "wmav2"},
                                                         {"wav", "pcm_s16le"},
                                                         {"mpeg4aac_qt", "libfaac"},
                                                         {"amr_nb", "libamr_nb"},
                                                         {"mp2", "mp2"},
                                                         {"WMAv2", "wmav2"},
                                                         {"pcm_s16le", "pcm_s16le"},
                                                         {"Vorbis", "vorbis"},
                                                         {"", ""}};
    for (const auto& [item, encoder] : audio)
        EXPECT_EQ(CommonAudioEncoder(item), encoder) << item;
}

TEST(EngineSteps, VideoDroppingExtensions) {
    for (const char* ext :
         {"aac", "AC3", "au", "mp2", "MP3", "wav", "WMA", "ra", "m4a", "ASF", "amr"})
        EXPECT_TRUE(ExtensionDropsVideo(ext)) << ext;
    for (const char* ext : {"OGG", "MP4", "3GP", "AVI", "", "mp"})
        EXPECT_FALSE(ExtensionDropsVideo(ext)) << ext;
}

TEST(Parsing, FrameSize) {
    EXPECT_EQ(ParseFrameSize("320 x 240 (VGA)"), "320x240");
    EXPECT_EQ(ParseFrameSize("704 x 576 (4CIF)"), "704x576");
    EXPECT_EQ(ParseFrameSize("320 x 240 "), "320x240");
    EXPECT_EQ(ParseFrameSize("176 x 144"), "176x144");
    EXPECT_EQ(ParseFrameSize(""), "");
    EXPECT_EQ(ParseFrameSize("1 x 2 (a) (b)"), "1x2");
}

TEST(Parsing, FrameRate) {
    EXPECT_EQ(ParseFrameRate("Auto"), "25");
    EXPECT_EQ(ParseFrameRate(" Auto"), "25");
    EXPECT_EQ(ParseFrameRate("AUTO "), "25");
    EXPECT_EQ(ParseFrameRate("29.97 fps [NTSC]"), "29.97");
    EXPECT_EQ(ParseFrameRate("25 fps [PAL]"), "25");
    EXPECT_EQ(ParseFrameRate("15.0 fps"), "15.0");
    EXPECT_EQ(ParseFrameRate("23.976 fps [NTSC]"), "23.976");
    EXPECT_EQ(ParseFrameRate(""), "");
    EXPECT_EQ(ParseFrameRate("30"), ""); // no blank, no first token
}

TEST(Parsing, FirstTokenAndIntegers) {
    EXPECT_EQ(FirstToken("384  Kbps"), "384");
    EXPECT_EQ(FirstToken("8000  Hz"), "8000");
    EXPECT_EQ(FirstToken("Kbps"), "");
    EXPECT_EQ(FirstToken(""), "");
    EXPECT_EQ(FirstToken(" 12"), "");
    EXPECT_EQ(StrToInt("000"), 0);
    EXPECT_EQ(StrToInt("384000"), 384000);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483648LL);
    for (const char* bad :
         {"", "12a", "1.5", " 5", "5 ", "+", "-", "2147483648", "99999999999999999999"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EInvalidInteger& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

TEST(Parsing, UnitsOfTheBitrateAndRateItems) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "RM - Real Video (*.rm)");
    boxes.ComboSamplingRate.SelectText("8000  Hz");
    TOutputOptions o = JobOptions(boxes);
    EXPECT_EQ(o.VideoBitrate, 384000);
    EXPECT_EQ(o.AudioSampleRate, 8000);

    // An AMR item in the common step is taken in bits per second.
    boxes.ComboAudioBitrate.Clear();
    boxes.ComboAudioBitrate.Add("4750 bps");
    boxes.ComboAudioBitrate.Select(0);
    EXPECT_EQ(JobOptions(boxes).AudioBitrate, 4750);

    Choose(boxes, "3GP - Mobile Video Format (*.3gp)");
    boxes.ComboAudioBitrate.SelectText("4750 bps");
    EXPECT_EQ(JobOptions(boxes).AudioBitrate, 4750);
}

TEST(Parsing, AnEmptyAudioBitrateFailsAfterTheVideoBitrateWasWritten) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "MP4 - MPEG4 Video (*.mp4)");
    boxes.ComboAudioBitrate.Clear();
    TOutputOptions o;
    try {
        ApplyProfileOptions(boxes, 0, o);
        ADD_FAILURE() << "no error";
    } catch (const EInvalidInteger& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    EXPECT_EQ(o.VideoBitrate, 1200000);
    EXPECT_EQ(o.AudioBitrate, -1);
    EXPECT_EQ(o.AudioSampleRate, -1);
    EXPECT_EQ(o.VideoCodec, "mpeg4"); // written before the numbers
    EXPECT_EQ(o.AudioChannels, 2);
}

TEST(Parsing, AnEmptySamplingRateFailsTheMobileStepBeforeTheChannels) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "3G2 - Mobile Video Format (*.3g2)");
    boxes.ComboSamplingRate.Clear();
    TOutputOptions o;
    EXPECT_THROW(ApplyProfileOptions(boxes, 0, o), EInvalidInteger);
    EXPECT_EQ(o.VideoBitrate, 128000);
    EXPECT_EQ(o.AudioBitrate, 7400);
    EXPECT_EQ(o.AudioSampleRate, -1);
    EXPECT_EQ(o.AudioChannels, -1);
}

TEST(Parsing, AnEmptyVideoBitrateGivesZero) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "AVI - DivX Video (*.avi)");
    boxes.ComboVideoBitrate.Clear();
    EXPECT_EQ(JobOptions(boxes).VideoBitrate, 0);
}

} // namespace
} // namespace corvina::profiles
