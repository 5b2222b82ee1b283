// Picture memory for the video decoders. The library's own pool zeroes every new buffer page by
// page; a job's first pictures (a 3840x2160 decoder holds over a hundred megabytes of them)
// then spend much of their time in page faults. This pool maps large buffers on 2 MiB
// boundaries and asks the kernel for huge pages there, so a picture costs a handful of
// faults instead of thousands. The memory comes zeroed from the kernel and is reused like
// the library's.
#pragma once

#include "binding/Handles.h"

#include <cstddef>
#include <cstdint>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace corvina::engine {

class FramePool {
public:
    FramePool() = default;
    FramePool(const FramePool&) = delete;
    FramePool& operator=(const FramePool&) = delete;

    // Makes `ctx` take its video pictures from this pool; the pool must outlive the context.
    // Call before the codec is opened. Other media types keep the library's buffers.
    void Serve(AVCodecContext* ctx);

    // The codec context's get_buffer2.
    static int GetBuffer(AVCodecContext* ctx, AVFrame* frame, int flags);

    // Pictures handed out by this pool (for the tests).
    int64_t Served() const;

private:
    struct Layout {
        AVPixelFormat Format = AV_PIX_FMT_NONE;
        int Width = 0, Height = 0; // as requested, before alignment
        int Linesize[4] = {};
        size_t Offset[4] = {};
        size_t Size = 0; // of one buffer holding every plane
    };
    bool MakeLayout(AVCodecContext* ctx, const AVFrame* frame, Layout& layout) const;
    int Fill(AVCodecContext* ctx, AVFrame* frame);

    mutable std::mutex lock_; // guards layout_, pool_ and served_ (frame threads ask in turn,
                              // but not always from the same thread)
    Layout layout_;
    // Pictures still held elsewhere keep their memory; the pool goes with the last of them.
    ff::BufferPoolPtr pool_;
    int64_t served_ = 0;
};

// A buffer of `size` bytes whose whole 2 MiB stretches may be backed by huge pages; smaller
// sizes get an ordinary buffer. nullptr when the memory cannot be had.
AVBufferRef* AllocLargeBuffer(size_t size);

} // namespace corvina::engine
