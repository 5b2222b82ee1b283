// Picture crop and pad as the video path needs them: crop moves the plane pointers, pad
// fills the borders of a picture with one colour (optionally copying the inside from a
// source).
#pragma once

#include "binding/Handles.h"

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
}

namespace corvina::engine {

// Moves data[] to the picture's row `top`, column `left`. false for formats whose pixels
// cannot be addressed so (bitstream, palette, hardware).
bool CropPicture(uint8_t* data[4], const int linesize[4], AVPixelFormat format, int top, int left);

struct PadColor {
    int Y = 16, U = 128, V = 128;
};

// dst is height x width; the borders top/bottom/left/right get the colour. With src, its
// picture of (height - top - bottom) x (width - left - right) is copied inside; without, the
// inside is left alone. 8-bit planar YUV and grey only, else false.
bool PadPicture(uint8_t* const dst[4], const int dstLinesize[4], const uint8_t* const src[4],
                const int srcLinesize[4], int height, int width, AVPixelFormat format, int top,
                int bottom, int left, int right, PadColor color);

// A picture of this format and size that nobody else holds, to be written whole: the one
// `frame` has when it fits and is not shared (an encoder may still hold the last one), else
// a new buffer. Never copies the old pixels. nullptr when allocation fails.
AVFrame* FreshPicture(ff::FramePtr& frame, AVPixelFormat format, int width, int height);

// The letter of a picture type (I, P, B, S, i, p, b), '?' for others.
char PictTypeChar(int pictType);

} // namespace corvina::engine
