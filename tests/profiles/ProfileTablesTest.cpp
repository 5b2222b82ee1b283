#include "ProfilesTestSupport.h"

#include "profiles/ProfileTables.h"

#include <algorithm>

namespace corvina::profiles {
namespace {

using test::Choose;
using test::Items;
using test::StartBoxes;

std::vector<std::string> Of(const ChoiceBox& box) {
    return box.Items();
}

TEST(SharedLists, AreByteExact) {
    const std::vector<std::string> sizesGeneral(kSizesGeneral.begin(), kSizesGeneral.end());
    EXPECT_EQ(sizesGeneral,
              Items({"Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120",
                     "176 x 144 (QCIF)",    "192 x 144",        "208 x 176",        "220 x 176",
                     "240 x 180",           "320 x 200",        "320 x 240 (VGA)",  "352 x 240",
                     "352 x 288 (CIF)",     "480 x 272",        "480 x 360",        "480 x 480",
                     "480 x 576",           "624 x 352",        "640 x 352",        "640 x 480",
                     "704 x 576 (4CIF)",    "720 x 480",        "720 x 576"}));
    const std::vector<std::string> spaced(kSampleRatesSpaced.begin(), kSampleRatesSpaced.end());
    EXPECT_EQ(spaced, Items({"8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz",
                             "54000 Hz", "96000 Hz"}));
    EXPECT_EQ(kSampleRatesGeneral[0], "8000 Hz");
    const std::vector<std::string> disc(kFrameRatesDisc.begin(), kFrameRatesDisc.end());
    EXPECT_EQ(disc, Items({"23.976 fps [NTSC]", "24 fps", "25 fps [PAL]", "29.97 fps [NTSC]",
                           "30.0 fps", "50 fps", "59.94 fps"}));
    EXPECT_EQ(kFrameRatesGeneral[3], "23.975 fps");
    EXPECT_EQ(kFrameRatesFlash.size(), 12u);
    EXPECT_EQ(kAudioRatesAmr.back(), "12200 bps");
    const std::vector<std::string> player(kSizesPlayer.begin(), kSizesPlayer.end());
    EXPECT_EQ(player,
              Items({"Auto", "160 x 120", "320 x 240", "480 x 272", "720 x 480", "640 x 480"}));
    const std::vector<std::string> avi(kVideoRatesAvi.begin(), kVideoRatesAvi.end());
    EXPECT_EQ(avi, Items({"192 Kbps", "200 Kbps", "216 Kbps", "256 Kbps", "384 Kbps", "512 Kbps",
                          "640 Kbps", "768 Kbps", "800 Kbps", "1000 Kbps", "1200 Kbps", "1500 Kbps",
                          "2500 Kbps"}));
}

TEST(FillRows, EveryDefaultIsOneOfItsItems) {
    for (const ProfileFill& row : ProfileFills()) {
        for (const BoxFill* box :
             {&row.VideoCodec, &row.AudioCodec, &row.VideoBitrate, &row.VideoSize,
              &row.VideoFramerate, &row.AudioBitrate, &row.SamplingRate}) {
            if (box->Action != BoxAction::Filled)
                continue;
            auto items = box->Items();
            EXPECT_NE(std::find(items.begin(), items.end(), box->Default), items.end())
                << "kind " << row.ProfileKind << " default " << box->Default;
        }
    }
}

TEST(FillRows, SharedRoutinesGiveIdenticalBoxes) {
    const std::pair<const char*, const char*> pairs[] = {
        {"3GP - Mobile Video Format (*.3gp)", "3G2 - Mobile Video Format (*.3g2)"},
        {"MP4 - MPEG4 Video (*.mp4)", "Xbox360 MPEG4 Video (*.mp4)"},
        {"WMV - Windows Media Video (*.wmv)", "Xbox360 WMV Video (*.wmv)"},
        {"AVI - Audio Video Interleave (*.avi)", "Xbox360 AVI Video (*.avi)"},
        {"MPEG-2 Movie (*.mpg)", "Xbox360 MPEG2 Video (*.mpg)"},
    };
    auto snapshot = [](const MainWindowBoxes& b) {
        std::vector<std::pair<std::vector<std::string>, int>> s;
        for (const ChoiceBox* c :
             {&b.ComboVideoCodec, &b.ComboAudioCodec, &b.ComboVideoBitrate, &b.ComboVideoSize,
              &b.ComboVideoFramerate, &b.ComboAudioBitrate, &b.ComboSamplingRate,
              &b.ComboAudioChannels, &b.ComboAspectRatio})
            s.emplace_back(c->Items(), c->ItemIndex());
        return s;
    };
    for (const auto& [a, b] : pairs) {
        MainWindowBoxes first = StartBoxes(), second = StartBoxes();
        Choose(first, a);
        Choose(second, b);
        EXPECT_EQ(snapshot(first), snapshot(second)) << a << " / " << b;
    }
}

TEST(Fill, MobileEntrySetsItsListsAndMono) {
    MainWindowBoxes boxes = StartBoxes();
    boxes.ComboAspectRatio.Select(2);
    Choose(boxes, "3GP - Mobile Video Format (*.3gp)");
    EXPECT_EQ(Of(boxes.ComboVideoCodec), Items({"MPEG4", "H263", "H264"}));
    EXPECT_EQ(boxes.ComboVideoCodec.Text(), "MPEG4");
    EXPECT_EQ(Of(boxes.ComboAudioCodec), Items({"amr_nb", "mpeg4aac"}));
    EXPECT_EQ(boxes.ComboAudioCodec.Text(), "amr_nb");
    EXPECT_EQ(Of(boxes.ComboVideoBitrate),
              Items({"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}));
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "128 Kbps");
    EXPECT_EQ(boxes.ComboVideoSize.Count(), 7);
    EXPECT_EQ(boxes.ComboVideoSize.Text(), "176 x 144 (QCIF)");
    EXPECT_EQ(Of(boxes.ComboVideoFramerate), Items({"Auto", "11 fps", "14.985 fps", "15 fps"}));
    EXPECT_EQ(boxes.ComboVideoFramerate.Text(), "Auto");
    EXPECT_EQ(boxes.ComboAudioBitrate.Count(), 8);
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "7400 bps");
    EXPECT_EQ(Of(boxes.ComboSamplingRate), Items({"8000  bps", "16000 bps"}));
    EXPECT_EQ(boxes.ComboSamplingRate.Text(), "8000  bps");
    EXPECT_EQ(boxes.ComboAudioChannels.Text(), "Mono");
    EXPECT_EQ(Of(boxes.ComboAudioChannels), Items({"Stereo", "Mono"}));
    EXPECT_EQ(boxes.ComboAspectRatio.ItemIndex(), 2); // untouched
}

TEST(Fill, UntouchedChannelsKeepWhatThePreviousEntryLeft) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "3GP - Mobile Video Format (*.3gp)");
    Choose(boxes, "FLV - Flash Flv Video (*.flv)");
    EXPECT_EQ(boxes.ComboAudioChannels.Text(), "Mono");
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "368 Kbps");
    EXPECT_EQ(boxes.ComboVideoFramerate.Text(), "15.0 fps");
    EXPECT_EQ(boxes.ComboVideoFramerate.Count(), 12);
    EXPECT_EQ(boxes.ComboVideoSize.Count(), 10);
    EXPECT_EQ(Of(boxes.ComboSamplingRate), Items({"11025 Hz", "22050 Hz", "44100 Hz"}));
    EXPECT_EQ(boxes.ComboSamplingRate.Text(), "44100 Hz");

    // The same for every entry that leaves channels and aspect alone.
    for (const char* name :
         {"iPod (*.mp4)", "iPod Touch (*.mp4)", "Super Video CD (*.mpg)", "Video CD (*.mpg)",
          "Archos AV700 (*.avi)", "BlackBerry AVI Video (*.avi)", "iRiver PMP100 (*.avi)"}) {
        MainWindowBoxes b = StartBoxes();
        Choose(b, "3GP - Mobile Video Format (*.3gp)");
        b.ComboAspectRatio.Select(1);
        Choose(b, name);
        EXPECT_EQ(b.ComboAudioChannels.Text(), "Mono") << name;
        EXPECT_EQ(b.ComboAspectRatio.ItemIndex(), 1) << name;
    }
    // Entries that set them.
    for (const char* name : {"MOV - QuickTime Video (*.mov)", "iPhone (*.mp4)", "Apple TV (*.mp4)",
                             "PSP Video (*.mp4)", "WAV - Waveform Audio (*.wav)",
                             "Zune WMV Windows Media Video (*.wmv)"}) {
        MainWindowBoxes b = StartBoxes();
        Choose(b, "3GP - Mobile Video Format (*.3gp)");
        b.ComboAspectRatio.Select(1);
        Choose(b, name);
        EXPECT_EQ(b.ComboAudioChannels.Text(), "Stereo") << name;
        EXPECT_EQ(b.ComboAspectRatio.Text(), "Original") << name;
    }
}

TEST(Fill, AudioEntriesEmptyTheVideoBoxes) {
    const char* audio[] = {"AAC - Advance Audio Coding (*.aac)",
                           "M4A - Mpeg4 Audio File (*.m4a)",
                           "MP3 - Mpeg Layer3 Audio (*.mp3)",
                           "OGG - Ogg Vorbis Audio (*.ogg)",
                           "RA - Real Audio (*.ra)",
                           "WAV - Waveform Audio (*.wav)",
                           "WMA - Windows Media Audio (*.wma)"};
    for (const char* name : audio) {
        MainWindowBoxes boxes = StartBoxes();
        Choose(boxes, "3GP - Mobile Video Format (*.3gp)");
        Choose(boxes, name);
        SCOPED_TRACE(name);
        for (const ChoiceBox* c : {&boxes.ComboVideoCodec, &boxes.ComboVideoBitrate,
                                   &boxes.ComboVideoSize, &boxes.ComboVideoFramerate}) {
            EXPECT_EQ(c->Count(), 0);
            EXPECT_EQ(c->Text(), "");
        }
        EXPECT_EQ(boxes.ComboAudioCodec.Count(), 1);
        EXPECT_EQ(boxes.ComboAudioBitrate.Count(), 13); // not the AMR list
        EXPECT_EQ(boxes.ComboSamplingRate.Count(), 8);
    }
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "3GP - Mobile Video Format (*.3gp)");
    Choose(boxes, "AAC - Advance Audio Coding (*.aac)");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "128 Kbps");
    EXPECT_EQ(boxes.ComboSamplingRate.Text(), "48000 Hz");
    EXPECT_EQ(boxes.ComboSamplingRate.Items()[0], "8000 Hz");
    Choose(boxes, "WAV - Waveform Audio (*.wav)");
    EXPECT_EQ(boxes.ComboSamplingRate.Items()[0], "8000  Hz");
    EXPECT_EQ(boxes.ComboSamplingRate.Text(), "44100 Hz");
    EXPECT_EQ(boxes.ComboAudioCodec.Text(), "pcm_s16le");
}

TEST(Fill, ItemsWithDoubleAndTrailingBlanksStayExact) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "RM - Real Video (*.rm)");
    EXPECT_EQ(Of(boxes.ComboVideoBitrate),
              Items({"384  Kbps", "400  Kbps", "600  Kbps", "1200 Kbps", "1800 Kbps", "2200 Kbps",
                     "2600 Kbps", "3000 Kbps"}));
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "384  Kbps");
    EXPECT_EQ(boxes.ComboVideoSize.Text(), "320 x 240 (VGA)");
    EXPECT_EQ(boxes.ComboSamplingRate.Items()[0], "8000  Hz");

    Choose(boxes, "Zune Mpeg4 Video (*.mp4)");
    EXPECT_EQ(Of(boxes.ComboVideoSize), Items({"320 x 240 ", "640 x 480"}));
    EXPECT_EQ(boxes.ComboVideoSize.Text(), "320 x 240 ");
    EXPECT_EQ(Of(boxes.ComboVideoFramerate), Items({"29.97 fps"}));
    EXPECT_EQ(boxes.ComboVideoFramerate.Text(), "29.97 fps");
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "1500 Kbps");

    Choose(boxes, "BlackBerry 3GP Video (*.3gp)");
    EXPECT_EQ(Of(boxes.ComboSamplingRate), Items({"8000  Hz", "16000 Hz"}));
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "4750 bps");
    EXPECT_EQ(Of(boxes.ComboVideoFramerate),
              Items({"Auto", "11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}));
    EXPECT_EQ(boxes.ComboVideoFramerate.Text(), "15 fps");
}

TEST(Fill, DiscEntriesOfferOneBitrateAndOneSamplingRate) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "Video CD (*.mpg)");
    EXPECT_EQ(Of(boxes.ComboVideoBitrate), Items({"1150 Kbps"}));
    EXPECT_EQ(Of(boxes.ComboSamplingRate), Items({"44100 Hz"}));
    EXPECT_EQ(boxes.ComboVideoSize.Text(), "352 x 240");
    EXPECT_EQ(boxes.ComboVideoFramerate.Text(), "29.97 fps [NTSC]");
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "224 Kbps");
    Choose(boxes, "Super Video CD (*.mpg)");
    EXPECT_EQ(Of(boxes.ComboVideoBitrate), Items({"2040 Kbps"}));
    EXPECT_EQ(boxes.ComboVideoCodec.Text(), "MPEG2VIDEO");
    EXPECT_EQ(boxes.ComboVideoSize.Text(), "480 x 480");
    EXPECT_EQ(boxes.ComboVideoSize.Count(), 8);
}

TEST(Fill, DevicesTakeTheirOwnDefaults) {
    MainWindowBoxes boxes = StartBoxes();
    Choose(boxes, "iPod (*.mp4)");
    EXPECT_EQ(Of(boxes.ComboVideoCodec), Items({"MPEG4", "H264"}));
    EXPECT_EQ(Of(boxes.ComboVideoBitrate),
              Items({"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"}));
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "512 Kbps");
    EXPECT_EQ(Of(boxes.ComboVideoSize), Items({"320 x 240"}));
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "64 Kbps");

    Choose(boxes, "PSP Video (*.mp4)");
    EXPECT_EQ(Of(boxes.ComboVideoCodec), Items({"MPEG4", "H264", "XVID"}));
    EXPECT_EQ(Of(boxes.ComboVideoSize),
              Items({"160 x 112", "320 x 240", "368 x 208", "480 x 272"}));
    EXPECT_EQ(boxes.ComboVideoSize.Text(), "368 x 208");
    EXPECT_EQ(Of(boxes.ComboSamplingRate), Items({"24000 Hz"}));
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "64 Kbps");

    Choose(boxes, "Archos AV700 (*.avi)");
    EXPECT_EQ(boxes.ComboVideoSize.Text(), "720 x 480");
    EXPECT_EQ(boxes.ComboVideoBitrate.Text(), "2000 Kbps");
    EXPECT_EQ(Of(boxes.ComboAudioCodec), Items({"mp3", "mp2"}));

    Choose(boxes, "BlackBerry AVI Video (*.avi)");
    EXPECT_EQ(Of(boxes.ComboVideoBitrate),
              Items({"80 Kbps", "120 Kbps", "200 Kbps", "256 Kbps", "300 Kbps", "512 Kbps"}));
    EXPECT_EQ(Of(boxes.ComboAudioCodec), Items({"mp3", "pcm_s16le"}));
    EXPECT_EQ(boxes.ComboAudioBitrate.Text(), "64 Kbps");
}

TEST(ChoiceBoxModel, SelectionRules) {
    ChoiceBox box;
    EXPECT_EQ(box.Text(), "");
    box.Add("a");
    box.Add("b");
    box.Add("a");
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_TRUE(box.SelectText("a"));
    EXPECT_EQ(box.ItemIndex(), 2); // every equal item is selected in turn; the last stays
    EXPECT_FALSE(box.SelectText("A"));
    EXPECT_EQ(box.ItemIndex(), 2);
    box.Select(5);
    EXPECT_EQ(box.ItemIndex(), -1);
    EXPECT_EQ(box.Text(), "");
    box.Select(1);
    box.Clear();
    EXPECT_EQ(box.Count(), 0);
    EXPECT_EQ(box.Text(), "");
}

} // namespace
} // namespace corvina::profiles
