// The picture the custom frame hook draws on: 24-bit BGR (blue, green, red bytes per pixel,
// the library's BGR24 layout), rows top to bottom. The engine holds Lock() while it fills
// the raster, runs the handler and reads the raster back, so a handler draws without taking
// it; any other thread (a window showing the picture) takes it to read or draw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace corvina::engine {

struct HookBitmap {
public:
    HookBitmap(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Bytes from one row to the next: at least Width() * 3.
    int Stride() const { return stride_; }
    uint8_t* Row(int y) { return pixels_.get() + static_cast<ptrdiff_t>(y) * stride_; }
    const uint8_t* Row(int y) const { return pixels_.get() + static_cast<ptrdiff_t>(y) * stride_; }
    // Fills the rectangle (clipped to the raster) with one colour.
    void FillRect(int x, int y, int width, int height, uint8_t red, uint8_t green, uint8_t blue);

    std::mutex& Lock() { return lock_; }

    // Gives the raster another size; the content is then undefined. Call with Lock() held.
    void Resize(int width, int height);

private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    int width_ = 0, height_ = 0, stride_ = 0;
    std::unique_ptr<uint8_t, Free> pixels_; // aligned for the scaler's vector code
    std::mutex lock_;                       // guards the pixels and the size
};

} // namespace corvina::engine
