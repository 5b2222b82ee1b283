#include "engine/PictureOps.h"

#include "binding/Binding.h"

#include <cstring>

namespace corvina::engine {

namespace {

bool IsChromaPlane(const AVPixFmtDescriptor* d, int plane) {
    return !(d->flags & AV_PIX_FMT_FLAG_RGB) && (plane == 1 || plane == 2);
}

} // namespace

bool CropPicture(uint8_t* data[4], const int linesize[4], AVPixelFormat format, int top, int left) {
    const AVPixFmtDescriptor* d = ff::util.av_pix_fmt_desc_get(format);
    if (!d ||
        (d->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)))
        return false;
    if (top < 0 || left < 0)
        return false;
    // Each plane moves by the step of its first component.
    bool moved[4] = {};
    for (int c = 0; c < d->nb_components; c++) {
        const AVComponentDescriptor& comp = d->comp[c];
        const int plane = comp.plane;
        if (moved[plane] || !data[plane])
            continue;
        const bool chroma = IsChromaPlane(d, plane);
        const int rows = chroma ? top >> d->log2_chroma_h : top;
        const int cols = chroma ? left >> d->log2_chroma_w : left;
        data[plane] += static_cast<ptrdiff_t>(rows) * linesize[plane] +
                       static_cast<ptrdiff_t>(cols) * comp.step;
        moved[plane] = true;
    }
    return true;
}

bool PadPicture(uint8_t* const dst[4], const int dstLinesize[4], const uint8_t* const src[4],
                const int srcLinesize[4], int height, int width, AVPixelFormat format, int top,
                int bottom, int left, int right, PadColor color) {
    const AVPixFmtDescriptor* d = ff::util.av_pix_fmt_desc_get(format);
    if (!d || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_ALPHA |
                           AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)))
        return false;
    const int planes = d->nb_components;
    if (planes != 1 && !(planes == 3 && (d->flags & AV_PIX_FMT_FLAG_PLANAR)))
        return false;
    for (int c = 0; c < planes; c++)
        if (d->comp[c].depth != 8 || d->comp[c].step != 1 || d->comp[c].plane != c)
            return false;
    if (top < 0 || bottom < 0 || left < 0 || right < 0 || top + bottom > height ||
        left + right > width)
        return false;

    const int colors[3] = {color.Y, color.U, color.V};
    for (int p = 0; p < planes; p++) {
        const int hs = p ? d->log2_chroma_w : 0;
        const int vs = p ? d->log2_chroma_h : 0;
        const int h = -((-height) >> vs); // rounded up, as the planes are allocated
        const int w = -((-width) >> hs);
        const int t = top >> vs, b = bottom >> vs, l = left >> hs, r = right >> hs;
        const int inner = w - l - r;
        const uint8_t fill = static_cast<uint8_t>(colors[p]);
        for (int y = 0; y < h; y++) {
            uint8_t* row = dst[p] + static_cast<ptrdiff_t>(y) * dstLinesize[p];
            if (y < t || y >= h - b) {
                std::memset(row, fill, static_cast<size_t>(w));
                continue;
            }
            std::memset(row, fill, static_cast<size_t>(l));
            std::memset(row + w - r, fill, static_cast<size_t>(r));
            if (src && inner > 0)
                std::memcpy(row + l, src[p] + static_cast<ptrdiff_t>(y - t) * srcLinesize[p],
                            static_cast<size_t>(inner));
        }
    }
    return true;
}

AVFrame* FreshPicture(ff::FramePtr& frame, AVPixelFormat format, int width, int height) {
    if (frame && frame->format == format && frame->width == width && frame->height == height &&
        ff::util.av_frame_is_writable(frame.get()))
        return frame.get();
    if (!frame) {
        frame = ff::MakeFrame();
        if (!frame)
            return nullptr;
    }
    ff::util.av_frame_unref(frame.get());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (ff::util.av_frame_get_buffer(frame.get(), 0) < 0) {
        frame.reset();
        return nullptr;
    }
    return frame.get();
}

char PictTypeChar(int pictType) {
    switch (pictType) {
    case AV_PICTURE_TYPE_I:
        return 'I';
    case AV_PICTURE_TYPE_P:
        return 'P';
    case AV_PICTURE_TYPE_B:
        return 'B';
    case AV_PICTURE_TYPE_S:
        return 'S';
    case AV_PICTURE_TYPE_SI:
        return 'i';
    case AV_PICTURE_TYPE_SP:
        return 'p';
    case AV_PICTURE_TYPE_BI:
        return 'b';
    default:
        return '?';
    }
}

} // namespace corvina::engine
