#include "engine/HookBitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace corvina::engine {

namespace {

// Rows and the raster start on this boundary, as the scaler's vector code prefers.
constexpr int kAlign = 64;

} // namespace

HookBitmap::HookBitmap(int width, int height) {
    Resize(width, height);
}

void HookBitmap::Resize(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    const int stride = (width * 3 + kAlign - 1) / kAlign * kAlign;
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    uint8_t* p = static_cast<uint8_t*>(std::aligned_alloc(kAlign, bytes));
    if (!p)
        throw std::bad_alloc();
    std::memset(p, 0, bytes);
    pixels_.reset(p);
    width_ = width;
    height_ = height;
    stride_ = stride;
}

void HookBitmap::FillRect(int x, int y, int width, int height, uint8_t red, uint8_t green,
                          uint8_t blue) {
    const int x0 = std::clamp(x, 0, width_), x1 = std::clamp(x + width, 0, width_);
    const int y0 = std::clamp(y, 0, height_), y1 = std::clamp(y + height, 0, height_);
    for (int row = y0; row < y1; row++) {
        uint8_t* p = Row(row) + x0 * 3;
        for (int col = x0; col < x1; col++, p += 3) {
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}

} // namespace corvina::engine
