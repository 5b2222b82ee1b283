// The line deinterlacer: the even (top-field) lines stay, each odd line is rebuilt from its
// neighbours with the vertical filter (-1 4 2 4 -1) / 8, lines past the picture's edges
// repeating the edge line.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace corvina::engine {

// src and dst may not overlap. 8-bit planar YUV 4:2:0, 4:2:2, 4:4:4, 4:1:1 (also the
// full-range forms) and grey, with width and height multiples of 4; false for anything else.
bool DeinterlacePicture(uint8_t* const dst[4], const int dstLinesize[4],
                        const uint8_t* const src[4], const int srcLinesize[4], AVPixelFormat format,
                        int width, int height);

} // namespace corvina::engine
