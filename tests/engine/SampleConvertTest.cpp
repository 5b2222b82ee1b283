// The audio path's conversions between interleaved 16-bit and the codecs' sample formats.
#include "engine/SampleConvert.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvina::engine {
namespace {

const std::vector<int16_t> kStereo = {0, 100, -32768, 32767, 16384, -16384}; // 3 samples x 2

TEST(SampleConvert, RoundTripsEveryFormatExactly) {
    const AVSampleFormat formats[] = {AV_SAMPLE_FMT_S16,  AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32,
                                      AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_FLT,  AV_SAMPLE_FMT_FLTP,
                                      AV_SAMPLE_FMT_DBL,  AV_SAMPLE_FMT_DBLP, AV_SAMPLE_FMT_S64,
                                      AV_SAMPLE_FMT_S64P};
    for (AVSampleFormat f : formats) {
        std::vector<uint8_t> left(64), right(64);
        uint8_t* planes[2] = {left.data(), right.data()};
        ASSERT_TRUE(ConvertFromS16(kStereo.data(), 3, 2, f, planes)) << f;
        std::vector<int16_t> back(6);
        ASSERT_TRUE(ConvertToS16(planes, f, 3, 2, back.data())) << f;
        EXPECT_EQ(back, kStereo) << "format " << f;
    }
}

TEST(SampleConvert, PlanarKeepsChannelsApartAndFloatsScale) {
    std::vector<float> l(3), r(3);
    uint8_t* planes[2] = {reinterpret_cast<uint8_t*>(l.data()),
                          reinterpret_cast<uint8_t*>(r.data())};
    ASSERT_TRUE(ConvertFromS16(kStereo.data(), 3, 2, AV_SAMPLE_FMT_FLTP, planes));
    EXPECT_FLOAT_EQ(l[0], 0.0f);
    EXPECT_FLOAT_EQ(r[0], 100 / 32768.0f);
    EXPECT_FLOAT_EQ(l[1], -1.0f);
    EXPECT_FLOAT_EQ(l[2], 0.5f);
    EXPECT_FLOAT_EQ(r[2], -0.5f);

    // Decoded floats beyond full scale clip instead of wrapping.
    std::vector<float> loud = {1.5f, -2.0f};
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(loud.data())};
    std::vector<int16_t> out(2);
    ASSERT_TRUE(ConvertToS16(in, AV_SAMPLE_FMT_FLT, 2, 1, out.data()));
    EXPECT_EQ(out, (std::vector<int16_t>{32767, -32768}));
}

TEST(SampleConvert, UnsignedEightBitCentresOn128) {
    std::vector<uint8_t> u8 = {128, 255, 0};
    const uint8_t* in[1] = {u8.data()};
    std::vector<int16_t> out(3);
    ASSERT_TRUE(ConvertToS16(in, AV_SAMPLE_FMT_U8, 3, 1, out.data()));
    EXPECT_EQ(out, (std::vector<int16_t>{0, 127 << 8, -32768}));
    EXPECT_FALSE(ConvertToS16(in, AV_SAMPLE_FMT_NONE, 3, 1, out.data()));
}

} // namespace
} // namespace corvina::engine
