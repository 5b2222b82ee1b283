#include "engine/Deinterlace.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace corvina::engine {

namespace {

struct PlaneLayout {
    AVPixelFormat format;
    int planes;
    int chromaShiftW, chromaShiftH;
};

// clang-format off
constexpr PlaneLayout kLayouts[] = {
    // format               planes  chroma w  chroma h
    {AV_PIX_FMT_YUV420P,    3,      1,        1},
    {AV_PIX_FMT_YUVJ420P,   3,      1,        1},
    {AV_PIX_FMT_YUV422P,    3,      1,        0},
    {AV_PIX_FMT_YUVJ422P,   3,      1,        0},
    {AV_PIX_FMT_YUV444P,    3,      0,        0},
    {AV_PIX_FMT_YUVJ444P,   3,      0,        0},
    {AV_PIX_FMT_YUV411P,    3,      2,        0},
    {AV_PIX_FMT_GRAY8,      1,      0,        0},
};
// clang-format on

void DeinterlacePlane(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width,
                      int height) {
    auto line = [&](int y) {
        return src + static_cast<ptrdiff_t>(std::clamp(y, 0, height - 1)) * srcStride;
    };
    for (int y = 0; y < height; y++) {
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstStride;
        if (y % 2 == 0) {
            std::memcpy(out, line(y), static_cast<size_t>(width));
            continue;
        }
        const uint8_t* m2 = line(y - 2);
        const uint8_t* m1 = line(y - 1);
        const uint8_t* c = line(y);
        const uint8_t* p1 = line(y + 1);
        const uint8_t* p2 = line(y + 2);
        for (int x = 0; x < width; x++) {
            const int sum = -m2[x] + 4 * m1[x] + 2 * c[x] + 4 * p1[x] - p2[x];
            out[x] = static_cast<uint8_t>(std::clamp((sum + 4) >> 3, 0, 255));
        }
    }
}

} // namespace

bool DeinterlacePicture(uint8_t* const dst[4], const int dstLinesize[4],
                        const uint8_t* const src[4], const int srcLinesize[4], AVPixelFormat format,
                        int width, int height) {
    const PlaneLayout* layout = nullptr;
    for (const PlaneLayout& l : kLayouts)
        if (l.format == format)
            layout = &l;
    if (!layout || width <= 0 || height <= 0 || (width & 3) || (height & 3))
        return false;
    for (int p = 0; p < layout->planes; p++) {
        const int w = p ? width >> layout->chromaShiftW : width;
        const int h = p ? height >> layout->chromaShiftH : height;
        DeinterlacePlane(dst[p], dstLinesize[p], src[p], srcLinesize[p], w, h);
    }
    return true;
}

} // namespace corvina::engine
