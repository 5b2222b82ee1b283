// The text form of a job's records (what --print-job shows).
#include "app/core/JobText.h"

#include <gtest/gtest.h>

namespace corvina::app {
namespace {

TEST(JobText, OnlyChangedFieldsInRecordOrder) {
    hosting::TOutputOptions out;
    hosting::InitOutputOptions(out);
    EXPECT_TRUE(ChangedOutputFields(out).empty());
    out.FrameRate = "25";
    out.VideoCodec = "mpeg4";
    out.AudioBitrate = 128000;
    out.DisableVideo = true;
    out.MuxDelay = 0.7f;
    out.Timestamp = 0.0;
    const std::vector<std::string> lines = ChangedOutputFields(out);
    const std::vector<std::string> expected = {
        "output.MuxDelay=0.7",      "output.AudioBitrate=128000", "output.VideoCodec=mpeg4",
        "output.DisableVideo=true", "output.FrameRate=25",        "output.Timestamp=0",
    };
    EXPECT_EQ(lines, expected);

    hosting::TInputOptions in;
    hosting::InitInputOptions(in);
    in.FileName = "/a/b.mov";
    in.StartTime = 0;
    EXPECT_EQ(ChangedInputFields(in),
              (std::vector<std::string>{"input.FileName=/a/b.mov", "input.StartTime=0"}));
}

TEST(JobText, ShortestFloatText) {
    EXPECT_EQ(ShortestFloatText(0.44f, true), "0.44");
    EXPECT_EQ(ShortestFloatText(1.0 / 3.0, false), "0.3333333333333333");
    EXPECT_EQ(ShortestFloatText(-1.0, false), "-1");
    EXPECT_EQ(ShortestFloatText(29.97f, true), "29.97");
}

} // namespace
} // namespace corvina::app
