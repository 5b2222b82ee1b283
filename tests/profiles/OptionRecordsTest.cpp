#include "hosting/TranscodeOptions.h"

#include <gtest/gtest.h>

namespace corvina::hosting {
namespace {

TEST(OptionRecords, InputResetValues) {
    TInputOptions in;
    in.FileName = "x";
    in.FileFormat = "mov";
    in.StartTime = 5;
    in.ProgramID = 3;
    in.ExtOptions = "a=b";
    InitInputOptions(in);
    EXPECT_EQ(in.FileName, "");
    EXPECT_EQ(in.FileFormat, "");
    EXPECT_EQ(in.StartTime, -1);
    EXPECT_EQ(in.ProgramID, -1);
    EXPECT_EQ(in.ExtOptions, "");
}

TEST(OptionRecords, OutputResetValues) {
    TOutputOptions out;
    out.VideoCodec = "mpeg4";
    out.AudioChannels = 2;
    out.DisableVideo = true;
    out.Timestamp = 5.0;
    out.PadColor = 0xFF;
    out.DefaultNorm = 2;
    out.Title = "t";
    out.MuxDelay = 3.0f;
    InitOutputOptions(out);
    EXPECT_EQ(out.VideoCodec, "");
    EXPECT_EQ(out.AudioCodec, "");
    EXPECT_EQ(out.FrameSize, "");
    EXPECT_EQ(out.FrameRate, "");
    EXPECT_EQ(out.AudioChannels, -1);
    EXPECT_EQ(out.AudioSampleRate, -1);
    EXPECT_EQ(out.AudioBitrate, -1);
    EXPECT_EQ(out.VideoBitrate, -1);
    EXPECT_FALSE(out.DisableVideo);
    EXPECT_EQ(out.AudioVolume, -1);
    EXPECT_EQ(out.AudioSyncMethod, 0);
    EXPECT_EQ(out.VideoSyncMethod, -1);
    EXPECT_EQ(out.MuxDelay, -1.0f);
    EXPECT_EQ(out.MuxPreload, -1.0f);
    EXPECT_EQ(out.PadColor, 0u);
    EXPECT_EQ(out.Timestamp, -1.0);
    EXPECT_EQ(out.Title, "");
    EXPECT_EQ(out.Target, 0);
    EXPECT_EQ(out.TargetNorm, 0);
    EXPECT_EQ(out.DefaultNorm, 1);
    EXPECT_EQ(out.CropTop, -1);
    EXPECT_EQ(out.PadRight, -1);
    EXPECT_EQ(out.RecordingTime, -1);
}

TEST(OptionRecords, FixedFieldTextStopsAtZeroAndCapacity) {
    EXPECT_EQ(FixedFieldText("", kMetadataTextCapacity), "");
    EXPECT_EQ(FixedFieldText(std::string("ab\0cd", 5), kMetadataTextCapacity), "ab");
    EXPECT_EQ(FixedFieldText(std::string(40, 'g'), kGenreCapacity), std::string(31, 'g'));
    EXPECT_EQ(FixedFieldText(std::string(31, 'g'), kGenreCapacity), std::string(31, 'g'));
    // "é" is two bytes; a cut inside it drops the whole character.
    std::string text = std::string(30, 'a') + "\xC3\xA9";
    EXPECT_EQ(FixedFieldText(text, kGenreCapacity), std::string(30, 'a'));
}

} // namespace
} // namespace corvina::hosting
