// Reading display matrices, and turning pictures upright plane by plane.
#include "engine/Orientation.h"

#include "binding/Binding.h"
#include "binding/Handles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace corvina::engine {
namespace {

constexpr int32_t kOne = 1 << 16;

std::array<int32_t, 9> Matrix(int a, int b, int c, int d) {
    return {a * kOne, b * kOne, 0, c * kOne, d * kOne, 0, 0, 0, 1 << 30};
}

TEST(Orientation, ReadFromDisplayMatrices) {
    test::RequireLibraries();
    // What a phone writes for a portrait recording: players turn it 90 degrees clockwise.
    const Orientation portrait = OrientationOfMatrix(Matrix(0, 1, -1, 0).data());
    EXPECT_EQ(ClockwiseDegrees(portrait), 90);
    EXPECT_EQ(ClockwiseDegrees(OrientationOfMatrix(Matrix(0, -1, 1, 0).data())), 270);
    EXPECT_EQ(ClockwiseDegrees(OrientationOfMatrix(Matrix(-1, 0, 0, -1).data())), 180);
    EXPECT_TRUE(OrientationOfMatrix(Matrix(1, 0, 0, 1).data()).IsIdentity());
    // Mirrors are kept, not rounded to a turn.
    EXPECT_EQ(OrientationOfMatrix(Matrix(-1, 0, 0, 1).data()), (Orientation{false, true, false}));
    EXPECT_EQ(OrientationOfMatrix(Matrix(0, 1, 1, 0).data()), (Orientation{true, false, false}));
    EXPECT_EQ(ClockwiseDegrees(Orientation{true, false, false}), -1);
    // An odd angle goes to the nearest quarter turn; a singular matrix turns nothing.
    std::array<int32_t, 9> tilted = {55000, 35000, 0, -35000, 55000, 0, 0, 0, 1 << 30};
    EXPECT_EQ(ClockwiseDegrees(OrientationOfMatrix(tilted.data())), 0);
    std::array<int32_t, 9> steep = {20000, 60000, 0, -60000, 20000, 0, 0, 0, 1 << 30};
    EXPECT_EQ(ClockwiseDegrees(OrientationOfMatrix(steep.data())), 90);
    std::array<int32_t, 9> singular{};
    EXPECT_TRUE(OrientationOfMatrix(singular.data()).IsIdentity());

    int w = 0, h = 0;
    DisplayedSize(portrait, 1920, 1080, w, h);
    EXPECT_EQ(w, 1080);
    EXPECT_EQ(h, 1920);
    DisplayedSize(OrientationOfClockwiseDegrees(180), 1920, 1080, w, h);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
}

// A picture whose every sample tells its plane, row and column; 16-bit samples where the
// format has them.
ff::FramePtr LabelledPicture(AVPixelFormat format, int width, int height) {
    ff::FramePtr f = ff::MakeFrame();
    f->format = format;
    f->width = width;
    f->height = height;
    EXPECT_GE(ff::util.av_frame_get_buffer(f.get(), 0), 0);
    const AVPixFmtDescriptor* d = ff::util.av_pix_fmt_desc_get(format);
    for (int p = 0; p < 4 && f->data[p]; p++) {
        const int rows = p == 0 || p == 3 ? height : AV_CEIL_RSHIFT(height, d->log2_chroma_h);
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < f->linesize[p]; x++)
                f->data[p][y * f->linesize[p] + x] = static_cast<uint8_t>(p * 64 + y * 7 + x);
    }
    return f;
}

// The sample the displayed (X, Y) must hold, from the documented mapping.
struct Reference {
    const AVFrame* src;
    int bytes; // per element
    const uint8_t* At(int plane, int X, int Y, int w, int h, Orientation o) const {
        const int x = o.Transpose ? (o.FlipX ? w - 1 - Y : Y) : (o.FlipX ? w - 1 - X : X);
        const int y = o.Transpose ? (o.FlipY ? h - 1 - X : X) : (o.FlipY ? h - 1 - Y : Y);
        return src->data[plane] + y * src->linesize[plane] + x * bytes;
    }
};

struct PlaneShape {
    int bytes;   // per element
    bool chroma; // subsampled
};

void ExpectTurned(AVPixelFormat format, std::initializer_list<PlaneShape> planes, int width,
                  int height) {
    const AVPixFmtDescriptor* d = ff::util.av_pix_fmt_desc_get(format);
    for (int i = 0; i < 8; i++) {
        const Orientation o{(i & 4) != 0, (i & 2) != 0, (i & 1) != 0};
        SCOPED_TRACE(std::string(d->name) + " transpose " + std::to_string(o.Transpose) +
                     " flipX " + std::to_string(o.FlipX) + " flipY " + std::to_string(o.FlipY));
        ff::FramePtr src = LabelledPicture(format, width, height);
        int w = 0, h = 0;
        DisplayedSize(o, width, height, w, h);
        ff::FramePtr dst = ff::MakeFrame();
        dst->format = format;
        dst->width = w;
        dst->height = h;
        ASSERT_GE(ff::util.av_frame_get_buffer(dst.get(), 0), 0);
        ASSERT_TRUE(CanOrient(format, o));
        ASSERT_TRUE(OrientPicture(src.get(), dst.get(), o));
        int p = 0;
        for (const PlaneShape& shape : planes) {
            const int sw = shape.chroma ? AV_CEIL_RSHIFT(width, d->log2_chroma_w) : width;
            const int sh = shape.chroma ? AV_CEIL_RSHIFT(height, d->log2_chroma_h) : height;
            const int dw = o.Transpose ? sh : sw, dh = o.Transpose ? sw : sh;
            const Reference ref{src.get(), shape.bytes};
            int wrong = 0;
            for (int Y = 0; Y < dh; Y++)
                for (int X = 0; X < dw; X++)
                    wrong += std::memcmp(dst->data[p] + Y * dst->linesize[p] + X * shape.bytes,
                                         ref.At(p, X, Y, sw, sh, o), shape.bytes) != 0;
            EXPECT_EQ(wrong, 0) << "plane " << p;
            p++;
        }
    }
}

TEST(Orientation, EveryTurnAndMirrorOfEachPlaneLayout) {
    test::RequireLibraries();
    // Odd sizes, larger than one tile, so that edges and tile borders are both crossed.
    ExpectTurned(AV_PIX_FMT_YUV420P, {{1, false}, {1, true}, {1, true}}, 71, 37);
    ExpectTurned(AV_PIX_FMT_NV12, {{1, false}, {2, true}}, 70, 38);
    ExpectTurned(AV_PIX_FMT_YUV420P10LE, {{2, false}, {2, true}, {2, true}}, 66, 34);
    ExpectTurned(AV_PIX_FMT_RGB24, {{3, false}}, 33, 35);
    ExpectTurned(AV_PIX_FMT_YUVA444P, {{1, false}, {1, false}, {1, false}, {1, false}}, 9, 40);
}

TEST(Orientation, RefusesWhatItCannotMoveAsIs) {
    test::RequireLibraries();
    const Orientation quarter = OrientationOfClockwiseDegrees(90);
    const Orientation half = OrientationOfClockwiseDegrees(180);
    // 4:2:2 turned a quarter would become 4:4:0; half a turn keeps it.
    EXPECT_FALSE(CanOrient(AV_PIX_FMT_YUV422P, quarter));
    EXPECT_TRUE(CanOrient(AV_PIX_FMT_YUV422P, half));
    // Luma and chroma packed together, palettes, bits.
    EXPECT_FALSE(CanOrient(AV_PIX_FMT_YUYV422, half));
    EXPECT_FALSE(CanOrient(AV_PIX_FMT_PAL8, half));
    EXPECT_FALSE(CanOrient(AV_PIX_FMT_MONOWHITE, half));

    ff::FramePtr src = LabelledPicture(AV_PIX_FMT_YUV420P, 8, 6);
    ff::FramePtr wrongSize = LabelledPicture(AV_PIX_FMT_YUV420P, 8, 6);
    EXPECT_FALSE(OrientPicture(src.get(), wrongSize.get(), quarter));
    ff::FramePtr wrongFormat = LabelledPicture(AV_PIX_FMT_YUV444P, 6, 8);
    EXPECT_FALSE(OrientPicture(src.get(), wrongFormat.get(), quarter));
}

} // namespace
} // namespace corvina::engine
