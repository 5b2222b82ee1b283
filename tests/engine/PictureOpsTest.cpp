// Crop by pointer offsets and pad by border fill on small pictures.
#include "engine/PictureOps.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvina::engine {
namespace {

// An 8x6 4:2:0 picture whose every byte tells its plane, row and column.
struct Yuv420 {
    static constexpr int W = 8, H = 6;
    std::vector<uint8_t> y = std::vector<uint8_t>(W * H), u = std::vector<uint8_t>(W / 2 * H / 2),
                         v = std::vector<uint8_t>(W / 2 * H / 2);
    uint8_t* data[4] = {y.data(), u.data(), v.data(), nullptr};
    int linesize[4] = {W, W / 2, W / 2, 0};
    Yuv420() {
        for (int r = 0; r < H; r++)
            for (int c = 0; c < W; c++)
                y[r * W + c] = static_cast<uint8_t>(r * 16 + c);
        for (int r = 0; r < H / 2; r++)
            for (int c = 0; c < W / 2; c++) {
                u[r * W / 2 + c] = static_cast<uint8_t>(100 + r * 10 + c);
                v[r * W / 2 + c] = static_cast<uint8_t>(200 + r * 10 + c);
            }
    }
};

TEST(PictureOps, CropMovesPlanesBySubsampledOffsets) {
    test::RequireLibraries();
    Yuv420 pic;
    ASSERT_TRUE(CropPicture(pic.data, pic.linesize, AV_PIX_FMT_YUV420P, 2, 4));
    EXPECT_EQ(pic.data[0][0], 2 * 16 + 4);
    EXPECT_EQ(pic.data[0][pic.linesize[0] + 1], 3 * 16 + 5);
    EXPECT_EQ(pic.data[1][0], 100 + 1 * 10 + 2);
    EXPECT_EQ(pic.data[2][0], 200 + 1 * 10 + 2);
}

TEST(PictureOps, CropPackedUsesThePixelStep) {
    test::RequireLibraries();
    std::vector<uint8_t> rgb(4 * 3 * 3);
    uint8_t* data[4] = {rgb.data(), nullptr, nullptr, nullptr};
    const int linesize[4] = {12, 0, 0, 0};
    ASSERT_TRUE(CropPicture(data, linesize, AV_PIX_FMT_RGB24, 1, 2));
    EXPECT_EQ(data[0], rgb.data() + 12 + 6);
    // Palette and bitstream formats cannot be cropped so.
    uint8_t* pal[4] = {rgb.data(), rgb.data(), nullptr, nullptr};
    EXPECT_FALSE(CropPicture(pal, linesize, AV_PIX_FMT_PAL8, 1, 1));
    EXPECT_FALSE(CropPicture(pal, linesize, AV_PIX_FMT_MONOBLACK, 1, 8));
}

TEST(PictureOps, PadCopiesTheInsideAndFillsTheBorders) {
    test::RequireLibraries();
    Yuv420 src;
    // 8x6 inside a 12x10 picture: 2 rows above and below, 2 columns left and right.
    constexpr int W = 12, H = 10;
    std::vector<uint8_t> y(W * H, 0xEE), u(W / 2 * H / 2, 0xEE), v(W / 2 * H / 2, 0xEE);
    uint8_t* dst[4] = {y.data(), u.data(), v.data(), nullptr};
    const int dstLinesize[4] = {W, W / 2, W / 2, 0};
    ASSERT_TRUE(PadPicture(dst, dstLinesize, src.data, src.linesize, H, W, AV_PIX_FMT_YUV420P, 2, 2,
                           2, 2, PadColor{16, 128, 129}));
    for (int r = 0; r < H; r++)
        for (int c = 0; c < W; c++) {
            const bool inside = r >= 2 && r < 8 && c >= 2 && c < 10;
            const int expected = inside ? (r - 2) * 16 + (c - 2) : 16;
            ASSERT_EQ(y[r * W + c], expected) << "luma row " << r << " column " << c;
        }
    for (int r = 0; r < H / 2; r++)
        for (int c = 0; c < W / 2; c++) {
            const bool inside = r >= 1 && r < 4 && c >= 1 && c < 5;
            ASSERT_EQ(u[r * W / 2 + c], inside ? 100 + (r - 1) * 10 + (c - 1) : 128);
            ASSERT_EQ(v[r * W / 2 + c], inside ? 200 + (r - 1) * 10 + (c - 1) : 129);
        }
}

TEST(PictureOps, PadWithoutSourceLeavesTheInside) {
    test::RequireLibraries();
    constexpr int W = 8, H = 8;
    std::vector<uint8_t> y(W * H, 0x55), u(16, 0x55), v(16, 0x55);
    uint8_t* dst[4] = {y.data(), u.data(), v.data(), nullptr};
    const int linesize[4] = {W, 4, 4, 0};
    ASSERT_TRUE(PadPicture(dst, linesize, nullptr, linesize, H, W, AV_PIX_FMT_YUV420P, 2, 0, 0, 0,
                           PadColor{}));
    EXPECT_EQ(y[0], 16);
    EXPECT_EQ(y[W + 7], 16);
    EXPECT_EQ(y[2 * W], 0x55);
    EXPECT_EQ(u[0], 128);
    EXPECT_EQ(u[4], 0x55);
    // Packed RGB is refused, as are borders larger than the picture.
    EXPECT_FALSE(PadPicture(dst, linesize, nullptr, linesize, H, W, AV_PIX_FMT_RGB24, 2, 0, 0, 0,
                            PadColor{}));
    EXPECT_FALSE(PadPicture(dst, linesize, nullptr, linesize, H, W, AV_PIX_FMT_YUV420P, 6, 6, 0, 0,
                            PadColor{}));
}

TEST(PictureOps, PictureTypeLetters) {
    EXPECT_EQ(PictTypeChar(AV_PICTURE_TYPE_I), 'I');
    EXPECT_EQ(PictTypeChar(AV_PICTURE_TYPE_P), 'P');
    EXPECT_EQ(PictTypeChar(AV_PICTURE_TYPE_B), 'B');
    EXPECT_EQ(PictTypeChar(AV_PICTURE_TYPE_NONE), '?');
}

} // namespace
} // namespace corvina::engine
