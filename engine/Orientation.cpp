#include "engine/Orientation.h"

#include "binding/Binding.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvina::engine {

namespace {

// The sign of a 16.16 matrix entry, 0 for anything nearer 0 than +-1.
int Sign(int32_t v) {
    constexpr int32_t kHalf = 1 << 15;
    return v > kHalf ? 1 : v < -kHalf ? -1 : 0;
}

// Bytes between neighbouring pixels of one plane, 0 when its components disagree (pixels
// packed across several sizes) or the plane holds none.
int PlaneStep(const AVPixFmtDescriptor* d, int plane) {
    int step = 0;
    for (int c = 0; c < d->nb_components; c++) {
        if (d->comp[c].plane != plane)
            continue;
        if (step != 0 && step != d->comp[c].step)
            return 0;
        step = d->comp[c].step;
    }
    return step;
}

int PlaneCount(const AVPixFmtDescriptor* d) {
    int planes = 0;
    for (int c = 0; c < d->nb_components; c++)
        planes = std::max(planes, d->comp[c].plane + 1);
    return planes;
}

// Chroma planes of YUV formats are subsampled; RGB planes and alpha never are.
bool IsSubsampled(const AVPixFmtDescriptor* d, int plane) {
    if (d->flags & AV_PIX_FMT_FLAG_RGB)
        return false;
    for (int c = 1; c < std::min<int>(d->nb_components, 3); c++)
        if (d->comp[c].plane == plane)
            return true;
    return false;
}

// One plane of w x h stored pixels of N bytes each.
template <size_t N>
void OrientPlane(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride, int w,
                 int h, Orientation o) {
    constexpr ptrdiff_t n = N;
    if (!o.Transpose) {
        for (int y = 0; y < h; y++) {
            const uint8_t* s = src + (o.FlipY ? h - 1 - y : y) * srcStride;
            uint8_t* d = dst + y * dstStride;
            if (!o.FlipX) {
                std::memcpy(d, s, static_cast<size_t>(w) * N);
                continue;
            }
            const uint8_t* from = s + (w - 1) * n;
            for (int x = 0; x < w; x++, d += n, from -= n)
                std::memcpy(d, from, N);
        }
        return;
    }
    // The displayed picture is h wide and w tall. Tiles keep both the rows written and the
    // columns read within the cache.
    constexpr int kTile = 32;
    const ptrdiff_t down = o.FlipY ? -srcStride : srcStride; // next displayed column
    for (int y0 = 0; y0 < w; y0 += kTile) {
        const int y1 = std::min(y0 + kTile, w);
        for (int x0 = 0; x0 < h; x0 += kTile) {
            const int x1 = std::min(x0 + kTile, h);
            const int firstRow = o.FlipY ? h - 1 - x0 : x0;
            for (int y = y0; y < y1; y++) {
                const int column = o.FlipX ? w - 1 - y : y;
                const uint8_t* s = src + firstRow * srcStride + column * n;
                uint8_t* d = dst + y * dstStride + x0 * n;
                for (int x = x0; x < x1; x++, d += n, s += down)
                    std::memcpy(d, s, N);
            }
        }
    }
}

using PlaneMover = void (*)(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, int, int, Orientation);

PlaneMover MoverFor(int step) {
    switch (step) {
    case 1:
        return OrientPlane<1>;
    case 2:
        return OrientPlane<2>;
    case 3:
        return OrientPlane<3>;
    case 4:
        return OrientPlane<4>;
    case 6:
        return OrientPlane<6>;
    case 8:
        return OrientPlane<8>;
    default:
        return nullptr;
    }
}

} // namespace

Orientation OrientationOfMatrix(const int32_t m[9]) {
    // A point (x, y) of the stored picture is shown at (a*x + c*y, b*x + d*y), plus a shift.
    const int a = Sign(m[0]), b = Sign(m[1]), c = Sign(m[3]), d = Sign(m[4]);
    if (b == 0 && c == 0 && a != 0 && d != 0)
        return {false, a < 0, d < 0};
    if (a == 0 && d == 0 && b != 0 && c != 0)
        return {true, b < 0, c < 0};
    const double ccw = ff::util.av_display_rotation_get(m);
    if (std::isnan(ccw))
        return {};
    const int quarter = static_cast<int>(std::lround(-ccw / 90.0));
    return OrientationOfClockwiseDegrees(((quarter % 4) + 4) % 4 * 90);
}

Orientation OrientationOfClockwiseDegrees(int degrees) {
    switch (((degrees % 360) + 360) % 360) {
    case 90:
        return {true, false, true};
    case 180:
        return {false, true, true};
    case 270:
        return {true, true, false};
    default:
        return {};
    }
}

int ClockwiseDegrees(Orientation o) {
    for (int degrees : {0, 90, 180, 270})
        if (OrientationOfClockwiseDegrees(degrees) == o)
            return degrees;
    return -1;
}

Orientation OrientationOfStream(const AVStream* st) {
    size_t size = 0;
    const uint8_t* data = ff::format.av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(int32_t))
        return {};
    int32_t matrix[9];
    std::memcpy(matrix, data, sizeof matrix);
    return OrientationOfMatrix(matrix);
}

void DisplayedSize(Orientation o, int width, int height, int& shownWidth, int& shownHeight) {
    shownWidth = o.Transpose ? height : width;
    shownHeight = o.Transpose ? width : height;
}

bool CanOrient(AVPixelFormat format, Orientation o) {
    const AVPixFmtDescriptor* d = ff::util.av_pix_fmt_desc_get(format);
    if (!d ||
        (d->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)))
        return false;
    if (o.Transpose && d->log2_chroma_w != d->log2_chroma_h)
        return false;
    const int planes = PlaneCount(d);
    for (int p = 0; p < planes; p++) {
        const int step = PlaneStep(d, p);
        if (!MoverFor(step))
            return false;
        // Luma and subsampled chroma sharing one plane (packed 4:2:2) have no single step.
        const bool mixed =
            (d->log2_chroma_w || d->log2_chroma_h) && IsSubsampled(d, p) && d->comp[0].plane == p;
        if (mixed)
            return false;
    }
    return true;
}

bool OrientPicture(const AVFrame* src, AVFrame* dst, Orientation o) {
    const auto format = static_cast<AVPixelFormat>(src->format);
    if (dst->format != src->format || !CanOrient(format, o))
        return false;
    int shownWidth = 0, shownHeight = 0;
    DisplayedSize(o, src->width, src->height, shownWidth, shownHeight);
    if (dst->width != shownWidth || dst->height != shownHeight)
        return false;
    const AVPixFmtDescriptor* d = ff::util.av_pix_fmt_desc_get(format);
    const int planes = PlaneCount(d);
    for (int p = 0; p < planes; p++) {
        const bool sub = IsSubsampled(d, p);
        const int w = sub ? AV_CEIL_RSHIFT(src->width, d->log2_chroma_w) : src->width;
        const int h = sub ? AV_CEIL_RSHIFT(src->height, d->log2_chroma_h) : src->height;
        MoverFor(PlaneStep(d, p))(src->data[p], src->linesize[p], dst->data[p], dst->linesize[p], w,
                                  h, o);
    }
    return true;
}

} // namespace corvina::engine
